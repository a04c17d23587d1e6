#include "core/RenameFile.h"

#include "core/FileName.h"
#include "core/JournalHooks.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

#ifndef RENAME_NOREPLACE
constexpr unsigned kRenameNoReplace = 1u << 0; // from linux/fs.h
int renameNoReplace(const char* oldPath, const char* newPath) {
    return int(::syscall(SYS_renameat2, AT_FDCWD, oldPath, AT_FDCWD, newPath, kRenameNoReplace));
}
#else
int renameNoReplace(const char* oldPath, const char* newPath) {
    return ::renameat2(AT_FDCWD, oldPath, AT_FDCWD, newPath, RENAME_NOREPLACE);
}
#endif

bool nameIsFree(const char* path) {
    struct stat st;
    return ::lstat(path, &st) != 0 && errno == ENOENT;
}

// The check-then-rename: the new name can only be taken in the instant between the two calls.
bool renameIfFree(const char* oldPath, const char* newPath) {
    return nameIsFree(newPath) && ::rename(oldPath, newPath) == 0;
}

} // namespace

bool RenameNoReplaceFallback(const char* oldPath, const char* newPath) {
    struct stat st;
    if (::lstat(oldPath, &st) != 0)
        return false;
    if (S_ISDIR(st.st_mode))
        return renameIfFree(oldPath, newPath);
    // link(2) fails with EEXIST on a taken name, so nothing can be replaced.
    if (::link(oldPath, newPath) != 0) {
        if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS)
            return renameIfFree(oldPath, newPath); // no hard links here (FAT, some FUSE)
        return false;
    }
    if (::unlink(oldPath) != 0) {
        ::unlink(newPath); // keep the file under its old name only
        return false;
    }
    return true;
}

bool RenameFile(const QString& oldName, const QString& newName) {
    const QByteArray oldPath = EncodeFileName(oldName);
    const QByteArray newPath = EncodeFileName(newName);
    // A zero byte would cut the name short and rename to some other name.
    if (oldPath.isEmpty() || newPath.isEmpty() || oldPath.contains('\0') || newPath.contains('\0'))
        return false;
    if (oldPath == newPath)
        return false;
    struct stat st {
    }, taken{};
    const std::optional<FileIdentity> identity = IdentityAt(AT_FDCWD, oldPath.constData(), &st);
    if (!identity)
        return false;
    // A taken name fails below anyway; seen here, the failure begins no journal (a command that
    // renames nothing keeps the last command's undo). The same file under another letter case
    // is not taken.
    if (::lstat(newPath.constData(), &taken) == 0 && (taken.st_ino != st.st_ino || taken.st_dev != st.st_dev))
        return false;
    const journal::ChangeScope scope;
    const uint32_t id = journal::AnnounceRename(*identity, oldPath, newPath);
    bool renamed = renameNoReplace(oldPath.constData(), newPath.constData()) == 0;
    if (!renamed && (errno == EINVAL || errno == ENOSYS))
        renamed = RenameNoReplaceFallback(oldPath.constData(), newPath.constData());
    if (renamed) {
        const qsizetype slash = newPath.lastIndexOf('/');
        journal::TouchedFolder(st.st_dev, slash < 0    ? QByteArray(".")
                                          : slash == 0 ? QByteArray("/")
                                                       : newPath.left(slash));
        journal::RenameDone(id, st);
    }
    return renamed;
}
