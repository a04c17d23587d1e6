#include "core/FileRewrite.h"

#include "core/FileName.h"
#include "core/IoError.h"
#include "core/JournalHooks.h"

#include <QList>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <map>
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
constexpr qsizetype kTempSuffixSize = 6; // mkstemp's XXXXXX

// The folder part of a path, up to and with its last slash; empty for a bare name.
QByteArray folderPart(const QByteArray& path) {
    return path.left(path.lastIndexOf('/') + 1);
}

// A temporary's name beside `target` up to its random suffix: ".<name>.morwick-", the name cut
// so that the whole stays within NAME_MAX whatever the original's length.
QByteArray temporaryStem(const QByteArray& target) {
    const QByteArray folder = folderPart(target);
    return folder + '.' + target.mid(folder.size()).left(200) + kTempInfix;
}

} // namespace

// A temporary file beside the original, held with flock from its creation until it is gone, so
// that no other Morwick takes it for a leftover. Removed again unless it was renamed into place.
class TempFile {
public:
    // Takes over a file already named as a temporary, open as `fd` and held with flock.
    TempFile(QByteArray path, int fd) : path_(std::move(path)), fd_(fd) {}
    explicit TempFile(const QByteArray& target) {
        for (int attempt = 0; fd_ < 0; ++attempt) {
            path_ = temporaryStem(target) + "XXXXXX";
            fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
            if (fd_ < 0)
                ThrowIoError(errno);
            // Another Morwick's sweep may have taken the file in the instant before the lock.
            struct stat held {
            }, named{};
            if (::flock(fd_, LOCK_EX) != 0 || ::fstat(fd_, &held) != 0 ||
                ::lstat(path_.constData(), &named) != 0 || held.st_ino != named.st_ino) {
                const int err = errno;
                ::close(std::exchange(fd_, -1));
                if (attempt == 3)
                    ThrowIoError(err != 0 ? err : EEXIST);
            }
        }
    }
    ~TempFile() {
        if (!placed_)
            ::unlink(path_.constData());
        if (fd_ >= 0)
            ::close(fd_); // the lock goes last
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return fd_; }
    const QByteArray& path() const { return path_; }
    // Replaces target with this file's content. Only here may a rename replace: the file it
    // replaces is the very file whose content this is.
    void placeAs(const QByteArray& target) {
        if (::rename(path_.constData(), target.constData()) != 0)
            ThrowIoError(errno);
        placed_ = true;
    }
    void keep() { placed_ = true; }
    // Makes a kept file ready to take new content: private to its owner again, as a new
    // temporary is. False when it cannot be.
    bool makePrivate() { return ::fchmod(fd_, 0600) == 0; }
    void remove() {
        if (::unlink(path_.constData()) != 0)
            ThrowIoError(errno);
        placed_ = true;
    }

private:
    QByteArray path_;
    int fd_ = -1;
    bool placed_ = false;
};

namespace {

// The file a rewrite must replace: a symbolic link is followed, so that the link stays a link
// and its target loses the tags.
QByteArray rewriteTarget(const QString& path) {
    QByteArray target = EncodeFileName(path);
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* real = ::realpath(target.constData(), nullptr);
        if (real == nullptr)
            ThrowIoError(errno);
        target = QByteArray(real);
        std::free(real);
    }
    return target;
}

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

// Gives the file open as `fd` a second name, a temporary's name beside `target`; the name, or an
// empty one with errno set.
QByteArray linkAsTemporary(int fd, const QByteArray& target) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const QByteArray stem = temporaryStem(target);
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 4; ++attempt) {
        QByteArray name = stem;
        for (qsizetype i = 0; i < kTempSuffixSize; ++i)
            name += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return name;
        if (errno != EEXIST)
            break;
    }
    return {};
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
    QString path;   // as the caller named the file
    PosixFile file; // the file changed (for a rewrite, the original)
    dev_t dev = 0;
    ino_t ino = 0;
    uint32_t id = 0;
    int64_t length = 0;             // a cut: the length the file is cut to
    QByteArray last128;             // a cut: what the file then ends in
    std::unique_ptr<TempFile> temp; // a rewrite: its new content
    QByteArray target;              // a rewrite: the name its temporary takes
    bool ended = false;             // made whole when it was given

    Held(const QString& path, const struct stat& st, uint32_t id)
        : path(path), dev(st.st_dev), ino(st.st_ino), id(id) {}
};

ChangeGroup::ChangeGroup(RewriteMode mode, bool reuseReplaced) : mode_(mode), reuse_(reuseReplaced) {}

ChangeGroup::~ChangeGroup() = default;

bool ChangeGroup::holds(const struct stat& st) const {
    return std::any_of(held_.begin(), held_.end(), [&](const auto& h) {
        return !h->ended && h->dev == st.st_dev && h->ino == st.st_ino;
    });
}

bool ChangeGroup::full() const {
    return held_.size() >= kGroupFiles || heldBytes_ >= kGroupBytes;
}

// A kept file in the target's folder, on its file system, else a new temporary.
std::unique_ptr<TempFile> ChangeGroup::temporaryFor(const QByteArray& target, dev_t dev) {
    while (!spares_.empty()) {
        std::unique_ptr<TempFile> spare = std::move(spares_.back());
        spares_.pop_back();
        struct stat st {};
        if (folderPart(spare->path()) == folderPart(target) && ::fstat(spare->fd(), &st) == 0 &&
            st.st_dev == dev && spare->makePrivate())
            return spare;
    }
    return std::make_unique<TempFile>(target);
}

void ChangeGroup::rewrite(const QString& path, PosixFile original, const struct stat& st, uint32_t id,
                          const std::function<int64_t(int fd)>& fill) {
    auto held = std::make_unique<Held>(path, st, id);
    held->target = rewriteTarget(path);
    held->temp = temporaryFor(held->target, st.st_dev);
    TempFile& temp = *held->temp;
    const int64_t length = fill(temp.fd());
    // A kept file may be longer than the new content (a new temporary is exactly as long).
    if (::ftruncate(temp.fd(), off_t(length)) != 0)
        ThrowIoError(errno);
    if (mode_ == RewriteMode::Auto && takesPlaceOf(temp.fd(), st, original.fd())) {
        // Written out while the next file is read; finish() then only waits for it.
        ::sync_file_range(temp.fd(), 0, 0, SYNC_FILE_RANGE_WRITE);
        held->file = std::move(original);
        heldBytes_ += length;
        held_.push_back(std::move(held));
        return;
    }
    // Through the file's own descriptor: the content changes, the file stays the same file. What
    // was held before ends first, as it was given first. The temporary is complete and synced
    // before the first byte of the original changes, and the journal names it, so a copy cut
    // short is finished from it.
    finish();
    if (::fsync(temp.fd()) != 0)
        ThrowIoError(errno);
    // Space first, without lengthening the file: a full disk fails here, before its first byte
    // changes. A file system without the call copies unreserved, as before.
    if (::fallocate(original.fd(), FALLOC_FL_KEEP_SIZE, 0, off_t(length)) != 0 && errno != EOPNOTSUPP)
        ThrowIoError(errno);
    if (!journal::AnnounceCopyBack(id, temp.fd(), temp.path(), IdentityOf(original.fd(), st), held->target,
                                   length))
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
    journal::CopyBackDone(temp.path());
    journal::Touched(st.st_dev, original.fd());
    journal::Done(id, original.fd());
    held->temp.reset();
    held->ended = true;
    held_.push_back(std::move(held));
}

void ChangeGroup::truncate(const QString& path, PosixFile file, const struct stat& st, int64_t length,
                           uint32_t id, QByteArray last128) {
    auto held = std::make_unique<Held>(path, st, id);
    held->file = std::move(file);
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
    settleReplaced();
}

// A replaced file is written over only once the rename that replaced it is on disk: were the
// power to fail before, the old name could come back pointing at it, holding another song.
// Syncing each folder makes its renames durable, whatever the file system orders on its own.
void ChangeGroup::settleReplaced() {
    std::map<QByteArray, bool> synced; // each folder once
    for (auto& file : replaced_) {
        const auto [folder, first] = synced.try_emplace(folderPart(file->path()), false);
        if (first) {
            const int fd = ::open(folder->first.isEmpty() ? "." : folder->first.constData(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            folder->second = fd >= 0 && ::fsync(fd) == 0;
            if (fd >= 0)
                ::close(fd);
        }
        if (folder->second)
            spares_.push_back(std::move(file));
    }
    replaced_.clear(); // what could not be settled goes
}

void ChangeGroup::end(Held& h) {
    if (h.ended)
        return;
    if (h.temp) {
        if (!placeKeepingReplaced(h))
            h.temp->placeAs(h.target);
        journal::Touched(h.dev, h.temp->fd());
        journal::Done(h.id, h.temp->fd());
        return;
    }
    // Dropping only trailing bytes cannot leave a torn file. The descriptor that was read and
    // checked is the one cut, so the cut cannot reach another file that took the name since.
    if (::ftruncate(h.file.fd(), off_t(h.length)) != 0)
        ThrowIoError(errno);
    journal::Touched(h.dev, h.file.fd());
    journal::Done(h.id, h.file.fd(), h.last128.isEmpty() ? nullptr : h.last128.constData());
    h.file.close(); // a delayed write error is reported, not dropped
}

// Puts the temporary in its file's place and keeps the file it replaces, under a temporary's name
// of its own, for a later rewrite. Only a file that no other program has open may be kept: what it
// held must never change under a reader, nor may a writer's later writes land in another song. A
// write lease is granted only when no other open descriptor exists, and an open by anyone else
// while it is held breaks it, which F_GETLEASE then shows; the break's signal is SIGURG, which is
// ignored unless asked for. The second name is made through the descriptor read, so it is that
// very file whatever took its name since. False when nothing was done: the caller places the
// temporary as usual.
bool ChangeGroup::placeKeepingReplaced(Held& h) {
    if (!reuse_ || spares_.size() + replaced_.size() >= kGroupFiles)
        return false;
    const int fd = h.file.fd();
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return false;
    if (::fcntl(fd, F_SETSIG, SIGURG) != 0 || ::fcntl(fd, F_SETLEASE, F_WRLCK) != 0) {
        ::flock(fd, LOCK_UN);
        return false;
    }
    const auto letGo = [fd] {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        ::flock(fd, LOCK_UN);
    };
    const QByteArray name = linkAsTemporary(fd, h.target);
    if (name.isEmpty()) {
        letGo();
        reuse_ = errno == EEXIST; // a file system without links, or no /proc: not again
        return false;
    }
    try {
        h.temp->placeAs(h.target);
    } catch (const CommandError&) {
        ::unlink(name.constData());
        letGo();
        throw;
    }
    const bool alone = ::fcntl(fd, F_GETLEASE) == F_WRLCK;
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
    // The replaced file, held and named as a temporary: removed at once unless it is kept.
    auto replaced = std::make_unique<TempFile>(name, h.file.release());
    if (alone)
        replaced_.push_back(std::move(replaced));
    return true;
}

void RewriteFile(const QString& path, PosixFile original, const struct stat& st, uint32_t id,
                 RewriteMode mode, const std::function<int64_t(int fd)>& fill) {
    ChangeGroup group(mode);
    group.rewrite(path, std::move(original), st, id, fill);
    group.finish();
}
