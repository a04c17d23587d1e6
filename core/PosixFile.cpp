#include "core/PosixFile.h"

#include "core/FileName.h"
#include "core/FileRewrite.h"
#include "core/IoError.h"
#include "core/JournalHooks.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

PosixFile::~PosixFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

PosixFile::PosixFile(PosixFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), identity_(other.identity_), noLink_(other.noLink_) {}

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        identity_ = other.identity_;
        noLink_ = other.noLink_;
    }
    return *this;
}

namespace {

int openRetrying(const char* path, int flags, mode_t mode) {
    int fd = -1;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

bool MayWriteThrough(const QByteArray& path, int fd) {
    struct stat link {
    }, target{};
    if (::lstat(path, &link) != 0 || ::fstat(fd, &target) != 0)
        return false;
    if (!S_ISLNK(link.st_mode)) // replaced by a file meanwhile: it must be the one opened
        return link.st_dev == target.st_dev && link.st_ino == target.st_ino;
    return link.st_uid == ::geteuid() || link.st_uid == 0 || link.st_uid == target.st_uid;
}

bool PosixFile::open(const QString& path, int flags, mode_t mode) {
    const QByteArray bytes = EncodeFileName(path);
    noLink_ = false;
    if ((flags & O_ACCMODE) == O_RDONLY) {
        fd_ = openRetrying(bytes.constData(), flags, mode);
        return fd_ >= 0;
    }
    // Most names are not links: those open at once, with nothing more to check.
    fd_ = openRetrying(bytes.constData(), flags | O_NOFOLLOW, mode);
    noLink_ = fd_ >= 0;
    if (fd_ >= 0 || errno != ELOOP)
        return fd_ >= 0;
    fd_ = openRetrying(bytes.constData(), flags, mode);
    if (fd_ >= 0 && !MayWriteThrough(bytes, fd_)) {
        ::close(std::exchange(fd_, -1));
        errno = EPERM;
    }
    return fd_ >= 0;
}

bool PosixFile::openRegular(const QString& path, int flags, struct stat& st) {
    if (!open(path, flags | O_NONBLOCK | O_NOCTTY))
        return false;
    // The stat that says what the file is also gives its identity: no call more.
    int64_t birthNs = 0;
    if (!StatWithBirth(fd_, st, birthNs))
        ThrowIoError(errno);
    identity_ = {uint64_t(st.st_dev), uint64_t(st.st_ino), birthNs};
    if (S_ISREG(st.st_mode))
        return true;
    ::close(std::exchange(fd_, -1));
    return false;
}

FileIdentity PosixFile::identity() const {
    if (identity_.birthNs != 0)
        return identity_;
    struct stat st {};
    st.st_dev = dev_t(identity_.dev);
    st.st_ino = ino_t(identity_.ino);
    st.st_mode = S_IFREG;
    return IdentityOf(fd_, st); // the generation, where the file system keeps no birth time
}

int64_t PosixFile::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        ThrowIoError(errno);
    return st.st_size;
}

int64_t PosixFile::readAt(void* buf, int64_t n, int64_t pos) const {
    int64_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd_, static_cast<char*>(buf) + done, size_t(n - done), off_t(pos + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            ThrowIoError(errno);
        }
        if (r == 0)
            break;
        done += r;
    }
    return done;
}

void PosixFile::readExactly(void* buf, int64_t n, int64_t pos) const {
    if (pos < 0 || readAt(buf, n, pos) != n)
        ThrowError(QString::fromLatin1(kReadBeyondEnd));
}

void PosixFile::writeAll(const void* buf, int64_t n, int64_t pos) const {
    WriteAllAt(fd_, buf, n, pos);
}

void PosixFile::close() {
    if (fd_ < 0)
        return;
    const int rc = ::close(std::exchange(fd_, -1));
    if (rc != 0 && errno != EINTR)
        ThrowIoError(errno);
}

FileStatus StatFile(const QString& path) {
    FileStatus status;
    struct stat st {};
    if (::stat(EncodeFileName(path).constData(), &st) == 0) {
        status.exists = true;
        status.regular = S_ISREG(st.st_mode);
        status.mode = st.st_mode;
        status.size = st.st_size;
    }
    return status;
}

bool FileExists(const QString& path) {
    return StatFile(path).regular;
}
