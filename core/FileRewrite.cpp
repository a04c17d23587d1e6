#include "core/FileRewrite.h"

#include "core/FileIdentity.h"
#include "core/FileName.h"
#include "core/HeldFolder.h"
#include "core/IoError.h"
#include "core/JournalHooks.h"

#include <QList>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <set>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr int64_t kPlainCopyChunk = 1 << 20;
// A group ends once it holds this many changes or this many bytes of new content: enough for one
// journal commit to serve many files, little enough that the page cache is not flooded.
constexpr size_t kGroupFiles = 16;
constexpr int64_t kGroupBytes = 128 << 20;
constexpr char kTempInfix[] = ".morwick-";
constexpr qsizetype kTempInfixSize = sizeof kTempInfix - 1;
constexpr qsizetype kTempSuffixSize = 6;

std::function<void(const QString&)>& changeGivenHook() {
    static std::function<void(const QString&)> hook;
    return hook;
}

std::function<void(const QString&)>& beforePlaceHook() {
    static std::function<void(const QString&)> hook;
    return hook;
}

// A temporary's name for the file `name`: ".<name>.morwick-XXXXXX", the name cut so that the
// whole stays within NAME_MAX whatever the original's length, the suffix random.
QByteArray temporaryName(const QByteArray& name) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray temp = '.' + name.left(200) + kTempInfix;
    for (qsizetype i = 0; i < kTempSuffixSize; ++i)
        temp += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
    return temp;
}

bool namedFileIs(int dirFd, const QByteArray& name, const FileIdentity& id) {
    const std::optional<FileIdentity> named = IdentityAt(dirFd, name.constData());
    return named && named->sameFile(id);
}

} // namespace

// A new temporary file in a held folder, private (0600) and held with flock from its creation until
// it is gone, so that no other Morwick takes it for a leftover. Removed again unless it was renamed
// into place; only ever through a name that still leads to it.
class TempFile {
public:
    TempFile(int dirFd, const QByteArray& target) : dirFd_(dirFd) {
        for (int attempt = 0; fd_ < 0; ++attempt) {
            name_ = temporaryName(target);
            fd_ =
                ::openat(dirFd_, name_.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd_ < 0 && errno == EEXIST && attempt < 8)
                continue;
            if (fd_ < 0)
                ThrowIoError(errno);
            // Another Morwick's sweep may have taken the file in the instant before the lock.
            struct stat st {};
            if (::flock(fd_, LOCK_EX) == 0 && ::fstat(fd_, &st) == 0) {
                id_ = IdentityOf(fd_, st);
                if (namedFileIs(dirFd_, name_, id_))
                    break;
            }
            const int err = errno;
            ::close(std::exchange(fd_, -1));
            if (attempt >= 3)
                ThrowIoError(err != 0 ? err : EEXIST);
        }
    }
    ~TempFile() {
        if (!placed_ && namedFileIs(dirFd_, name_, id_))
            ::unlinkat(dirFd_, name_.constData(), 0);
        if (fd_ >= 0)
            ::close(fd_); // the lock goes last
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return fd_; }
    const QByteArray& name() const { return name_; }
    // Whether its name still leads to the file made here: in a folder others may change, another
    // file may have been put under it.
    bool stillNamed() const { return namedFileIs(dirFd_, name_, id_); }
    // Puts this file in the place of `target` in the same folder. Only here may a name be replaced:
    // the file there was just checked to be the very file whose content this is. The two names are
    // exchanged, so that what stood there can be looked at once more: unless `isFileRead` says it is
    // still that file, as it was (a program may have saved a new version in the meantime), it goes
    // back, untouched, and the answer is false. Where the file system cannot exchange names, a rename
    // replaces `target`.
    bool placeAs(const QByteArray& target, const std::function<bool(const QByteArray& name)>& isFileRead) {
        if (::renameat2(dirFd_, name_.constData(), dirFd_, target.constData(), RENAME_EXCHANGE) != 0) {
            if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
                ThrowIoError(errno);
            if (::renameat(dirFd_, name_.constData(), dirFd_, target.constData()) != 0)
                ThrowIoError(errno);
            placed_ = true;
            return true;
        }
        // What now stands at `target` must be this very file: in a folder others may change, another
        // file may have been put under this file's name just before the exchange.
        if (!namedFileIs(dirFd_, target, id_) || !isFileRead(name_)) {
            if (::renameat2(dirFd_, name_.constData(), dirFd_, target.constData(), RENAME_EXCHANGE) != 0)
                ThrowIoError(errno);
            return false;
        }
        placed_ = true;
        // The file read, now under this file's old name: a kill before it goes leaves a temporary that
        // the next start sweeps.
        ::unlinkat(dirFd_, name_.constData(), 0);
        return true;
    }
    void keep() { placed_ = true; }
    void remove() {
        if (::unlinkat(dirFd_, name_.constData(), 0) != 0)
            ThrowIoError(errno);
        placed_ = true;
    }

private:
    int dirFd_;
    QByteArray name_;
    int fd_ = -1;
    FileIdentity id_;
    bool placed_ = false;
};

namespace {

std::vector<QByteArray> attributeNames(int fd, bool& ok) {
    std::vector<QByteArray> names;
    ok = true;
    ssize_t n = ::flistxattr(fd, nullptr, 0);
    if (n < 0) {
        ok = errno == ENOTSUP;
        return names;
    }
    QByteArray list(n, '\0');
    n = ::flistxattr(fd, list.data(), size_t(list.size()));
    if (n < 0) {
        ok = false;
        return names;
    }
    list.truncate(n);
    for (const QByteArray& name : list.split('\0')) {
        if (!name.isEmpty())
            names.push_back(name);
    }
    return names;
}

// Gives `to` exactly the extended attributes of `from` (ACLs among them); false when one cannot
// be given.
bool copyAttributes(int from, int to) {
    bool ok = true;
    const std::vector<QByteArray> names = attributeNames(from, ok);
    if (!ok)
        return false;
    const std::set<QByteArray> wanted(names.begin(), names.end());
    // A default ACL of the folder gives a new file an ACL the original may not have.
    bool toOk = true;
    for (const QByteArray& name : attributeNames(to, toOk)) {
        if (!wanted.count(name) && ::fremovexattr(to, name.constData()) != 0)
            return false;
    }
    if (!toOk)
        return names.empty();
    for (const QByteArray& name : names) {
        ssize_t n = ::fgetxattr(from, name.constData(), nullptr, 0);
        if (n < 0)
            return false;
        QByteArray value(n, '\0');
        n = ::fgetxattr(from, name.constData(), value.data(), size_t(value.size()));
        if (n < 0 || ::fsetxattr(to, name.constData(), value.constData(), size_t(n), 0) != 0)
            return false;
    }
    return true;
}

// Whether the temporary now carries everything the original had, so that renaming it over the
// original loses nothing: one name only, the same owner and group, mode and attributes.
bool takesPlaceOf(int temp, const struct stat& st, int original) {
    if (st.st_nlink != 1)
        return false;
    // Owner first: a change of owner clears the set-id bits that fchmod then puts back.
    if (::fchown(temp, st.st_uid, st.st_gid) != 0 || ::fchmod(temp, st.st_mode & 07777) != 0)
        return false;
    if (!copyAttributes(original, temp))
        return false;
    struct stat now {};
    return ::fstat(temp, &now) == 0 && now.st_uid == st.st_uid && now.st_gid == st.st_gid &&
           (now.st_mode & 07777) == (st.st_mode & 07777);
}

// Whether someone other than this process's user may add, rename or remove entries of the folder.
bool othersMayChange(int dirFd) {
    struct stat st {};
    if (::fstat(dirFd, &st) != 0)
        return true;
    return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 ||
           (st.st_uid != ::geteuid() && (st.st_mode & S_IWUSR) != 0);
}

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

bool IsTemporaryName(const QByteArray& name) {
    const qsizetype infix = name.size() - kTempSuffixSize - kTempInfixSize;
    return name.startsWith('.') && infix > 1 && name.mid(infix, kTempInfixSize) == kTempInfix;
}

void WriteAllAt(int fd, const void* buf, int64_t n, int64_t pos) {
    int64_t done = 0;
    while (done < n) {
        const int64_t now = journal::WritableBytes(n - done);
        const ssize_t w = ::pwrite(fd, static_cast<const char*>(buf) + done, size_t(now), off_t(pos + done));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            ThrowIoError(errno);
        }
        if (w == 0)
            ThrowError(QString::fromLatin1(kDiskFull));
        done += w;
    }
}

// Lets the kernel move the data where it can, falling back to a plain buffered copy where it
// cannot.
void CopyRange(int in, int64_t inPos, int out, int64_t outPos, int64_t len) {
    enum class Way { CopyFileRange, SendFile, ReadWrite } way = Way::CopyFileRange;
    if (journal::KillArmed())
        way = Way::ReadWrite; // every byte written is counted
    std::vector<char> buffer;
    int64_t done = 0;
    while (done < len) {
        const size_t chunk = size_t(std::min<int64_t>(len - done, INT_MAX / 2));
        ssize_t n = 0;
        if (way == Way::CopyFileRange) {
            loff_t from = inPos + done, to = outPos + done;
            n = ::copy_file_range(in, &from, out, &to, chunk, 0);
            if (n < 0 && (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP)) {
                way = Way::SendFile;
                continue;
            }
        } else if (way == Way::SendFile) {
            if (::lseek(out, off_t(outPos + done), SEEK_SET) < 0)
                ThrowIoError(errno);
            off_t from = off_t(inPos + done);
            n = ::sendfile(out, in, &from, chunk);
            if (n < 0 && (errno == ENOSYS || errno == EINVAL)) {
                way = Way::ReadWrite;
                continue;
            }
        } else {
            buffer.resize(size_t(kPlainCopyChunk));
            n = ::pread(in, buffer.data(), std::min<size_t>(chunk, buffer.size()), off_t(inPos + done));
            if (n > 0)
                WriteAllAt(out, buffer.data(), n, outPos + done);
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowIoError(errno);
        }
        if (n == 0) // the source shrank under us
            ThrowError(QString::fromLatin1(kReadBeyondEnd));
        done += n;
    }
}

// One change held by a ChangeGroup.
struct ChangeGroup::Held {
    QString path;          // as the caller named the file
    PosixFile file;        // the file changed, as it was read (for a rewrite, the original)
    struct stat st {};     // what fstat said of it when it was read
    FileIdentity identity; // of the file read
    std::shared_ptr<const HeldFolder> folder; // the folder holding the file's name
    QByteArray name;                          // the file's name in it
    uint32_t id = 0;
    int64_t length = 0;             // a cut: the length the file is cut to
    QByteArray last128;             // a cut: what the file then ends in
    std::unique_ptr<TempFile> temp; // a rewrite: its new content; gone before its folder is let go
    bool ended = false;             // made whole when it was given, or left alone

    Held(const QString& path, PosixFile file, const struct stat& st, const FileIdentity& identity,
         uint32_t id)
        : path(path), file(std::move(file)), st(st), identity(identity), id(id) {}

    int dirFd() const { return folder->fd(); }

    // Whether `entry` in the folder leads to the file read and that file is as it was read: no
    // other program wrote, cut, appended to or linked it meanwhile; its change time counts only
    // when `ctimeToo` (a rename sets it). One look through the name: when it leads to the file
    // read, what it says is that file's own.
    bool stillAsRead(const QByteArray& entry, bool ctimeToo = false) const {
        struct stat now {};
        const std::optional<FileIdentity> named = IdentityAt(dirFd(), entry.constData(), &now);
        return named && named->sameFile(identity) && now.st_size == st.st_size &&
               now.st_nlink == st.st_nlink && sameTime(now.st_mtim, st.st_mtim) &&
               (!ctimeToo || sameTime(now.st_ctim, st.st_ctim));
    }
    // The file as the journal names it.
    QByteArray placePath() const { return folder->folderPath() + name; }

    // Whether the file's name still leads to the file read, and that file is as it was read: no
    // other program replaced, moved, wrote, cut, appended to or linked it meanwhile.
    bool unchanged() const { return stillAsRead(name, true); }
};

ChangeGroup::ChangeGroup(RewriteMode mode) : mode_(mode) {}

ChangeGroup::~ChangeGroup() = default;

void SetChangeGivenHook(std::function<void(const QString& path)> hook) {
    changeGivenHook() = std::move(hook);
}

void SetBeforePlaceHook(std::function<void(const QString& path)> hook) {
    beforePlaceHook() = std::move(hook);
}

bool ChangeGroup::holds(const struct stat& st) const {
    return std::any_of(held_.begin(), held_.end(), [&](const auto& h) {
        return !h->ended && h->st.st_dev == st.st_dev && h->st.st_ino == st.st_ino;
    });
}

bool ChangeGroup::full() const {
    return held_.size() >= kGroupFiles || heldBytes_ >= kGroupBytes;
}

std::unique_ptr<ChangeGroup::Held> ChangeGroup::give(const QString& path, PosixFile file,
                                                     const struct stat& st, uint32_t id,
                                                     const FileIdentity* identity, bool check) {
    if (changeGivenHook())
        changeGivenHook()(path);
    const FileIdentity known = identity ? *identity : IdentityOf(file.fd(), st);
    auto held = std::make_unique<Held>(path, std::move(file), st, known, id);
    // The folder holding the name of the file read, through `path` looked up once: for a symbolic
    // link, the folder of the file it leads to. The name found there must lead to the file read,
    // else the file was moved or replaced since it was read.
    QByteArray target = EncodeFileName(path);
    struct stat lst {};
    // A name the file was opened through without following a link needs no look: should a link
    // have taken its place since, the check below finds the link, not the file read.
    if (!held->file.openedNoLink() && ::lstat(target.constData(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char* real = ::realpath(target.constData(), nullptr);
        target = real != nullptr ? QByteArray(real) : QByteArray();
        std::free(real);
    }
    const qsizetype slash = target.lastIndexOf('/');
    held->name = target.mid(slash + 1);
    held->folder = folderOf(target.left(slash + 1));
    // A cut needs no look here: the one it makes just before cutting is enough.
    if (!target.isEmpty() && held->folder &&
        (!check || namedFileIs(held->dirFd(), held->name, held->identity)))
        return held;
    leaveAlone(id);
    return nullptr;
}

// The folder is held once for the many files a batch changes in it. One held earlier under the same
// path serves as well as one opened now: every change checks its file's name in the folder held.
std::shared_ptr<const HeldFolder> ChangeGroup::folderOf(const QByteArray& folder) {
    if (!lastFolder_ || lastFolderPath_ != folder) {
        auto held = std::make_shared<HeldFolder>(HeldFolder::Folder(folder));
        if (!held->isOpen())
            return nullptr;
        lastFolder_ = std::move(held);
        lastFolderPath_ = folder;
    }
    return lastFolder_;
}

void ChangeGroup::leaveAlone(uint32_t id) {
    ++leftAlone_;
    journal::NotMade(id);
}

void ChangeGroup::rewrite(const QString& path, PosixFile original, const struct stat& st, uint32_t id,
                          const std::function<int64_t(int fd)>& fill) {
    std::unique_ptr<Held> held = give(path, std::move(original), st, id);
    if (!held)
        return;
    held->temp = std::make_unique<TempFile>(held->dirFd(), held->name);
    TempFile& temp = *held->temp;
    const int64_t length = fill(temp.fd());
    // A rename may replace a file of another owner only where no one else may change the folder:
    // there, a name could be made to lead elsewhere between the last check and the rename.
    const bool rename = mode_ == RewriteMode::Auto &&
                        (st.st_uid == ::geteuid() || !othersMayChange(held->dirFd())) &&
                        takesPlaceOf(temp.fd(), st, held->file.fd());
    if (!rename) {
        copyBack(std::move(held), length);
        return;
    }
    // Written out while the next file is read; finish() then only waits for it.
    ::sync_file_range(temp.fd(), 0, 0, SYNC_FILE_RANGE_WRITE);
    heldBytes_ += length;
    held_.push_back(std::move(held));
}

// Through the file's own descriptor: the content changes, the file stays the same file. What was
// held before ends first, as it was given first. The temporary is complete and synced, and its name
// durable, before the first byte of the original changes, and the journal names it, so a copy cut
// short is finished from it.
void ChangeGroup::copyBack(std::unique_ptr<Held> held, int64_t length) {
    finish();
    TempFile& temp = *held->temp;
    const int folderFd = held->dirFd();
    if (::fsync(temp.fd()) != 0)
        ThrowIoError(errno);
    if (::fsync(folderFd) != 0 && ::syncfs(temp.fd()) != 0) // a folder held without read access
        ThrowIoError(errno);
    if (!held->unchanged() || !temp.stillNamed()) {
        leaveAlone(held->id);
        return; // the temporary goes with it
    }
    PosixFile& original = held->file;
    // Space first, without lengthening the file: a full disk fails here, before its first byte
    // changes. A file system without the call copies unreserved, as before.
    if (::fallocate(original.fd(), FALLOC_FL_KEEP_SIZE, 0, off_t(length)) != 0 && errno != EOPNOTSUPP)
        ThrowIoError(errno);
    const QByteArray folderPath = held->folder->folderPath();
    if (!journal::AnnounceCopyBack(held->id, temp.fd(), folderPath + temp.name(), held->identity,
                                   held->placePath(), length))
        ThrowIoError(EIO); // without its record a copy cut short could not be finished
    try {
        CopyRange(temp.fd(), 0, original.fd(), 0, length);
        if (::ftruncate(original.fd(), off_t(length)) != 0 || ::fsync(original.fd()) != 0)
            ThrowIoError(errno);
    } catch (const CommandError&) {
        // The original is part copied: the temporary is what recovery finishes it from.
        temp.keep();
        throw;
    }
    temp.remove();
    journal::CopyBackDone(folderPath + temp.name());
    journal::Touched(held->st.st_dev, original.fd());
    journal::Done(held->id, original.fd());
    held->temp.reset();
    held->ended = true;
    held_.push_back(std::move(held));
}

void ChangeGroup::truncate(const QString& path, PosixFile file, const struct stat& st,
                           const FileIdentity& identity, int64_t length, uint32_t id, QByteArray last128) {
    std::unique_ptr<Held> held = give(path, std::move(file), st, id, &identity, false);
    if (!held)
        return;
    held->length = length;
    held->last128 = std::move(last128);
    held_.push_back(std::move(held));
}

void ChangeGroup::finish() {
    std::vector<std::unique_ptr<Held>> held = std::exchange(held_, {});
    heldBytes_ = 0;
    // Every copy on disk before any takes its file's place. The first fsync commits the file
    // system's journal with all the copies' metadata in it, so the others only wait for their
    // data, whose writeback began as each was written.
    size_t synced = 0;
    std::optional<CommandError> syncError;
    for (; synced < held.size(); ++synced) {
        const Held& h = *held[synced];
        if (h.temp && ::fsync(h.temp->fd()) != 0) {
            syncError = CommandError(IoErrorMessage(errno));
            break;
        }
    }
    for (size_t i = 0; i < synced; ++i) {
        try {
            end(*held[i]);
        } catch (const CommandError& e) {
            throw GroupFailure(held[i]->path, e);
        }
    }
    if (syncError)
        throw GroupFailure(held[synced]->path, *syncError);
}

void ChangeGroup::end(Held& h) {
    if (h.ended)
        return;
    // Another file put under the temporary's name (in a folder others may change) must never take
    // the song's place; a name simply gone is a failure, which the rename reports.
    const bool tempTaken =
        h.temp && !h.temp->stillNamed() && IdentityAt(h.dirFd(), h.temp->name().constData()).has_value();
    if (tempTaken || !h.unchanged()) {
        leaveAlone(h.id);
        return;
    }
    if (h.temp) {
        if (beforePlaceHook())
            beforePlaceHook()(h.path);
        if (!h.temp->placeAs(h.name, [&](const QByteArray& name) { return h.stillAsRead(name); })) {
            leaveAlone(h.id);
            return;
        }
        journal::Touched(h.st.st_dev, h.temp->fd());
        journal::Done(h.id, h.temp->fd());
        return;
    }
    // Dropping only trailing bytes cannot leave a torn file. The descriptor that was read and
    // checked is the one cut, so the cut cannot reach another file that took the name since.
    if (::ftruncate(h.file.fd(), off_t(h.length)) != 0)
        ThrowIoError(errno);
    journal::Touched(h.st.st_dev, h.file.fd());
    journal::Done(h.id, h.file.fd(), h.last128.isEmpty() ? nullptr : h.last128.constData());
    h.file.close(); // a delayed write error is reported, not dropped
}

bool RewriteFile(const QString& path, PosixFile original, const struct stat& st, uint32_t id,
                 RewriteMode mode, const std::function<int64_t(int fd)>& fill) {
    ChangeGroup group(mode);
    group.rewrite(path, std::move(original), st, id, fill);
    group.finish();
    return group.leftAlone() == 0;
}
