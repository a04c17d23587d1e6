#pragma once

#include "core/FileIdentity.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>

// A file descriptor owned for one operation: opened, used with absolute positions, closed on
// every path. Sizes and positions are 64-bit. Failures after the open throw CommandError
// with the runtime's message; the open itself reports failure by its result, since most
// callers fail silently there.
class PosixFile {
public:
    PosixFile() = default;
    ~PosixFile();
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;
    PosixFile(PosixFile&& other) noexcept;
    PosixFile& operator=(PosixFile&& other) noexcept;

    // Opens `path` (a Morwick name, see FileName.h) with open(2) flags; false when it fails,
    // with errno left as open(2) set it. For writing, a symbolic link is followed only when it is
    // the user's, root's or the owner's of the file it leads to; otherwise false with EPERM.
    bool open(const QString& path, int flags, mode_t mode = 0);
    // Opens `path` only when it names a regular file (a symbolic link is followed), with one path
    // lookup: the type is checked on the opened descriptor, and the open cannot block on a pipe
    // of that name. False when the open fails or the file is of another kind (closed again);
    // `st` receives what fstat(2) says of it.
    bool openRegular(const QString& path, int flags, struct stat& st);
    // The identity of a file opened with openRegular (FileIdentity.h), known from its stat.
    FileIdentity identity() const;
    // The birth time openRegular's stat gave (ns since the epoch; 0 when the file system keeps none).
    int64_t birthNs() const { return identity_.birthNs; }
    bool isOpen() const { return fd_ >= 0; }
    // Whether open() for writing found the name to be no symbolic link (it opened without
    // following one); false when it does not know.
    bool openedNoLink() const { return noLink_; }
    int fd() const { return fd_; }

    int64_t size() const;
    // Reads up to n bytes at pos; returns how many were read (short only at the end).
    int64_t readAt(void* buf, int64_t n, int64_t pos) const;
    // Reads exactly n bytes at pos, else "Read beyond end of file".
    void readExactly(void* buf, int64_t n, int64_t pos) const;
    // Writes all n bytes at pos, else "Disk full" (or the error's message).
    void writeAll(const void* buf, int64_t n, int64_t pos) const;
    // Gives the descriptor up to the caller, who closes it.
    int release() { return std::exchange(fd_, -1); }
    // Closes, reporting a failed close (a delayed write error) as a CommandError.
    void close();

private:
    int fd_ = -1;
    FileIdentity identity_; // from openRegular's stat
    bool noLink_ = false;
};

// Whether the file open as `fd` may be written through `path`. A symbolic link qualifies only when
// it is the user's own, root's, or the owner's of the file it leads to: anyone who may write a
// folder can put a link there that leads to any file at all, the user's own (or, for root,
// everyone's) included, and writing a tag or cutting bytes through it would harm a file the user
// never chose. The name is looked at after the open, so a link changed in between is judged as it
// now is; a name that is no link must lead to the file opened. Only the last part of the path is
// judged.
bool MayWriteThrough(const QByteArray& path, int fd);

// What stat(2) says of a path: whether a regular file stands there, and its mode bits.
struct FileStatus {
    bool regular = false;
    bool exists = false;
    mode_t mode = 0;
    int64_t size = 0;
};
FileStatus StatFile(const QString& path);
// True when a regular file of that name exists (a directory does not count).
bool FileExists(const QString& path);
