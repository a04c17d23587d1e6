#include "core/FileRewrite.h"

#include "core/FileName.h"
#include "core/IoError.h"
#include "core/JournalHooks.h"

#include <QList>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
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
constexpr char kTempInfix[] = ".morwick-";
constexpr qsizetype kTempInfixSize = sizeof kTempInfix - 1;
constexpr qsizetype kTempSuffixSize = 6; // mkstemp's XXXXXX

// A temporary file beside the original, held with flock from its creation until it is gone, so
// that no other Morwick takes it for a leftover. Removed again unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(const QByteArray& target) {
        const qsizetype slash = target.lastIndexOf('/');
        const QByteArray dir = slash >= 0 ? target.left(slash + 1) : QByteArray();
        // Keep the name within NAME_MAX whatever the original's length.
        const QByteArray base = target.mid(slash + 1).left(200);
        for (int attempt = 0; fd_ < 0; ++attempt) {
            path_ = dir + '.' + base + kTempInfix + "XXXXXX";
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

void RewriteFile(const QString& path, const PosixFile& original, const struct stat& st, uint32_t id,
                 RewriteMode mode, const std::function<int64_t(int fd)>& fill) {
    const QByteArray target = rewriteTarget(path);
    TempFile temp(target);
    const int64_t length = fill(temp.fd());
    if (mode == RewriteMode::Auto && takesPlaceOf(temp.fd(), st, original.fd())) {
        if (::fsync(temp.fd()) != 0)
            ThrowIoError(errno);
        temp.placeAs(target);
        journal::Touched(st.st_dev, temp.fd());
        journal::Done(id, temp.fd());
        return;
    }
    // Through the file's own descriptor: the content changes, the file stays the same file. The
    // temporary is complete and synced before the first byte of the original changes, and the
    // journal names it, so a copy cut short is finished from it.
    if (::fsync(temp.fd()) != 0)
        ThrowIoError(errno);
    if (!journal::AnnounceCopyBack(id, temp.path(), st, target, length))
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
}
