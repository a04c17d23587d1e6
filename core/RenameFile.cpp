#include "core/RenameFile.h"

#include "core/FileName.h"
#include "core/HeldFolder.h"
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
int renameNoReplace(const HeldFolder& from, const HeldFolder& to) {
    return int(::syscall(SYS_renameat2, from.fd(), from.name().constData(), to.fd(), to.name().constData(),
                         kRenameNoReplace));
}
#else
int renameNoReplace(const HeldFolder& from, const HeldFolder& to) {
    return ::renameat2(from.fd(), from.name().constData(), to.fd(), to.name().constData(), RENAME_NOREPLACE);
}
#endif

bool statAt(const HeldFolder& entry, struct stat& st) {
    return ::fstatat(entry.fd(), entry.name().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// The check-then-rename: the new name can only be taken in the instant between the two calls.
bool renameIfFree(const HeldFolder& from, const HeldFolder& to) {
    struct stat st {};
    return !statAt(to, st) && errno == ENOENT &&
           ::renameat(from.fd(), from.name().constData(), to.fd(), to.name().constData()) == 0;
}

// The no-replace rename by other means, within the held folders.
bool renameFallback(const HeldFolder& from, const HeldFolder& to) {
    struct stat st {};
    if (!statAt(from, st))
        return false;
    if (S_ISDIR(st.st_mode))
        return renameIfFree(from, to);
    // linkat(2) fails with EEXIST on a taken name, so nothing can be replaced.
    if (::linkat(from.fd(), from.name().constData(), to.fd(), to.name().constData(), 0) != 0) {
        if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS)
            return renameIfFree(from, to); // no hard links here (FAT, some FUSE)
        return false;
    }
    // Both names lead to the file now: the old one goes only while it is still that file.
    struct stat named {};
    if (!statAt(from, named) || named.st_ino != st.st_ino || named.st_dev != st.st_dev ||
        ::unlinkat(from.fd(), from.name().constData(), 0) != 0) {
        struct stat made {};
        if (statAt(to, made) && made.st_ino == st.st_ino && made.st_dev == st.st_dev)
            ::unlinkat(to.fd(), to.name().constData(), 0); // keep the file under its old name only
        return false;
    }
    return true;
}

bool validNames(const QByteArray& oldPath, const QByteArray& newPath) {
    // A zero byte would cut the name short and rename to some other name.
    return !oldPath.isEmpty() && !newPath.isEmpty() && !oldPath.contains('\0') && !newPath.contains('\0') &&
           oldPath != newPath;
}

} // namespace

bool RenameNoReplaceFallback(const char* oldPath, const char* newPath) {
    const HeldFolder from{QByteArray(oldPath)}, to{QByteArray(newPath)};
    return from.isOpen() && to.isOpen() && renameFallback(from, to);
}

bool RenameFile(const QString& oldName, const QString& newName) {
    const QByteArray oldPath = EncodeFileName(oldName);
    const QByteArray newPath = EncodeFileName(newName);
    if (!validNames(oldPath, newPath))
        return false;
    // Both folders held: the rename and its checks act on the folders these names led to once.
    const HeldFolder from(oldPath), to(newPath);
    if (!from.isOpen() || !to.isOpen())
        return false;
    struct stat st {
    }, taken{};
    const std::optional<FileIdentity> identity = IdentityAt(from.fd(), from.name().constData(), &st);
    if (!identity)
        return false;
    // A taken name fails below anyway; seen here, the failure begins no journal (a command that
    // renames nothing keeps the last command's undo). The same file under another letter case
    // is not taken.
    if (statAt(to, taken) && (taken.st_ino != st.st_ino || taken.st_dev != st.st_dev))
        return false;
    const journal::ChangeScope scope;
    const uint32_t id = journal::AnnounceRename(*identity, oldPath, newPath);
    bool renamed = renameNoReplace(from, to) == 0;
    if (!renamed && (errno == EINVAL || errno == ENOSYS))
        renamed = renameFallback(from, to);
    if (renamed) {
        const qsizetype slash = newPath.lastIndexOf('/');
        journal::TouchedFolder(st.st_dev, slash < 0    ? QByteArray(".")
                                          : slash == 0 ? QByteArray("/")
                                                       : newPath.left(slash));
        journal::RenameDone(id, st);
    }
    return renamed;
}
