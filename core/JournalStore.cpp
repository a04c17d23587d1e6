#include "core/JournalStore.h"

#include "core/Journal.h"

#include <QRandomGenerator>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace journal {

namespace {

constexpr char kJournalPrefix[] = "journal-";
constexpr char kJournalTempPrefix[] = "journal.new-";
constexpr char kEarlierJournal[] = "journal"; // an earlier Morwick's one journal

bool makeFolders(const QByteArray& path) {
    if (::mkdir(path.constData(), 0700) == 0 || errno == EEXIST)
        return true;
    if (errno != ENOENT)
        return false;
    const QByteArray parent = FolderOf(path);
    return parent != path && makeFolders(parent) && (::mkdir(path.constData(), 0700) == 0 || errno == EEXIST);
}

QByteArray randomPart() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray part;
    for (int i = 0; i < 8; ++i)
        part += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
    return part;
}

// Whether `name` in the folder still leads to the file open as `fd`.
bool stillNamed(int dirFd, const QByteArray& name, int fd) {
    struct stat held {
    }, named{};
    return ::fstat(fd, &held) == 0 && ::fstatat(dirFd, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

} // namespace

QByteArray FolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

bool WriteAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        done += w;
    }
    return true;
}

QByteArray StateFolderPath() {
    QByteArray base = qgetenv("XDG_STATE_HOME");
    if (!base.startsWith('/')) {
        const QByteArray home = qgetenv("HOME");
        if (!home.startsWith('/'))
            return {};
        base = home + "/.local/state";
    }
    return base + "/morwick";
}

bool PrivateFolder(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

bool PrivateFile(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0 && st.st_nlink == 1;
}

StateFolder::StateFolder(bool create) : path_(StateFolderPath()) {
    if (path_.isEmpty())
        return;
    if (create)
        makeFolders(path_);
    fd_ = ::open(path_.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) {
        // A symbolic link (or something else) where the folder should be.
        status_ = errno == ENOENT ? Status::Missing : Status::Untrusted;
        return;
    }
    struct stat st {};
    status_ = ::fstat(fd_, &st) == 0 && PrivateFolder(st) ? Status::Usable : Status::Untrusted;
}

StateFolder::~StateFolder() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::vector<QByteArray> StateFolder::journalNames() const {
    std::vector<QByteArray> names;
    const int fd = fd_ >= 0 ? ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    DIR* d = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (d == nullptr) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    bool earlier = false;
    while (const dirent* e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (name == kEarlierJournal)
            earlier = true;
        else if (name.startsWith(kJournalPrefix))
            names.push_back(name);
    }
    ::closedir(d);
    // The names begin with the start time in fixed-width hexadecimal: by name is by age.
    std::sort(names.begin(), names.end());
    if (earlier)
        names.insert(names.begin(), kEarlierJournal);
    return names;
}

JournalFile::JournalFile(const StateFolder& folder, const QByteArray& name, bool lock)
    : dirFd_(folder.fd()), name_(name), folderPath_(folder.path()) {
    if (!folder.usable())
        return;
    fd_ = ::openat(dirFd_, name.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) {
        status_ = errno == ENOENT ? Status::Missing : Status::Untrusted;
        return;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !PrivateFile(st)) {
        ::close(std::exchange(fd_, -1));
        status_ = Status::Untrusted;
        return;
    }
    if (lock && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        status_ = Status::Busy;
        version_ = VersionOf(fd_);
        return;
    }
    // Pruned or removed by an undo between the open and the lock.
    if (!stillNamed(dirFd_, name, fd_)) {
        ::close(std::exchange(fd_, -1));
        return;
    }
    status_ = lock ? Status::Held : Status::Open;
    version_ = VersionOf(fd_);
}

JournalFile::~JournalFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool JournalFile::append(const QByteArray& bytes) {
    return fd_ >= 0 && ::lseek(fd_, 0, SEEK_END) >= 0 && WriteAll(fd_, bytes);
}

bool JournalFile::cutAfter(qint64 end) {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return false;
    return st.st_size == end || ::ftruncate(fd_, off_t(end)) == 0;
}

namespace {

// The one file waiting for the closing thread, and whether that thread runs. The thread only
// waits on this word and closes: it never holds a lock, so a fork at any moment leaves the child
// nothing it could wait for. In a child the thread is gone; a file handed over there stays open
// until the child ends, and every later one is closed at once.
std::atomic<int> toClose{-1};
std::atomic<bool> closing{false};

void closeLate(int fd) {
    int none = -1;
    if (!closing.load(std::memory_order_acquire) ||
        !toClose.compare_exchange_strong(none, fd, std::memory_order_release)) {
        ::close(fd);
        return;
    }
    toClose.notify_one();
}

} // namespace

void JournalFile::remove() {
    if (fd_ < 0 || !stillNamed(dirFd_, name_, fd_) || ::unlinkat(dirFd_, name_.constData(), 0) != 0)
        return;
    // Nobody can reach the file by its name any more; its last close frees its blocks.
    closeLate(std::exchange(fd_, -1));
}

NewJournal CreateJournal(const StateFolder& folder, const QString& command) {
    NewJournal made;
    if (!folder.usable())
        return made;
    Record begin;
    begin.kind = Kind::Begin;
    begin.name = command;
    const QByteArray content = QByteArray(kMagic, kMagicSize) + Encode(begin);
    for (int attempt = 0; attempt < 4 && made.fd < 0; ++attempt) {
        const QByteArray temp = kJournalTempPrefix + randomPart();
        const int fd =
            ::openat(folder.fd(), temp.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return made;
        }
        // Another Morwick's sweep may have taken the new file in the instant before the lock.
        if (::flock(fd, LOCK_EX) != 0 || !stillNamed(folder.fd(), temp, fd)) {
            ::close(fd);
            continue;
        }
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%016llx-",
                      (unsigned long long)(now.tv_sec) * 1000000000ull + (unsigned long long)(now.tv_nsec));
        const QByteArray name = kJournalPrefix + QByteArray(stamp) + randomPart();
        // Renamed without replacing: another Morwick's journal is never taken over.
        if (::fchmod(fd, 0600) != 0 || !WriteAll(fd, content) ||
            ::renameat2(folder.fd(), temp.constData(), folder.fd(), name.constData(), RENAME_NOREPLACE) !=
                0) {
            ::unlinkat(folder.fd(), temp.constData(), 0);
            ::close(fd);
            return made;
        }
        made.fd = fd;
        made.name = name;
    }
    return made;
}

void PruneJournals(const StateFolder& folder, const QByteArray& newest) {
    for (const QByteArray& name : folder.journalNames()) {
        if (name >= newest && name != kEarlierJournal)
            continue;
        JournalFile journal(folder, name, true);
        if (journal.held() && journal.version() != 0 && journal.endsWhole())
            journal.remove();
    }
}

void SweepJournalTemporaries(const StateFolder& folder) {
    if (!folder.usable())
        return;
    const int fd = ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (d == nullptr) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    std::vector<QByteArray> names;
    while (const dirent* e = ::readdir(d)) {
        if (QByteArray(e->d_name).startsWith(kJournalTempPrefix))
            names.emplace_back(e->d_name);
    }
    ::closedir(d);
    for (const QByteArray& name : names) {
        JournalFile temp(folder, name, true);
        if (temp.held())
            temp.remove();
    }
}

bool MappingIsSafe(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC: // ext2 and ext3 share it
    case XFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
        return true;
    default:
        return false;
    }
}

} // namespace journal

void StartLateCloses() {
    using namespace journal;
    static const bool started = [] {
        try {
            std::thread([] {
                closing.store(true, std::memory_order_release);
                for (;;) {
                    toClose.wait(-1, std::memory_order_acquire);
                    ::close(toClose.exchange(-1, std::memory_order_acq_rel));
                }
            }).detach();
            return true;
        } catch (const std::system_error&) {
            return false; // every close is made where the journal is removed
        }
    }();
    (void)started;
}
