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

// An entry as the *at calls take it: the folder it stands in (a held descriptor, or AT_FDCWD for
// the working directory) and its name there.
struct Entry {
    int dir;
    const char* name;
};

Entry entryOf(const HeldFolder& folder) {
    return {folder.fd(), folder.name().constData()};
}

#ifndef RENAME_NOREPLACE
constexpr unsigned kRenameNoReplace = 1u << 0; // from linux/fs.h
int renameNoReplace(Entry from, Entry to) {
    return int(::syscall(SYS_renameat2, from.dir, from.name, to.dir, to.name, kRenameNoReplace));
}
#else
int renameNoReplace(Entry from, Entry to) {
    return ::renameat2(from.dir, from.name, to.dir, to.name, RENAME_NOREPLACE);
}
#endif

bool statAt(Entry entry, struct stat& st) {
    return ::fstatat(entry.dir, entry.name, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// The check-then-rename: the new name can only be taken in the instant between the two calls.
bool renameIfFree(Entry from, Entry to) {
    struct stat st {};
    return !statAt(to, st) && errno == ENOENT && ::renameat(from.dir, from.name, to.dir, to.name) == 0;
}

// The no-replace rename by other means, within the held folders.
bool renameFallback(Entry from, Entry to) {
    struct stat st {};
    if (!statAt(from, st))
        return false;
    if (S_ISDIR(st.st_mode))
        return renameIfFree(from, to);
    // linkat(2) fails with EEXIST on a taken name, so nothing can be replaced.
    if (::linkat(from.dir, from.name, to.dir, to.name, 0) != 0) {
        if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS)
            return renameIfFree(from, to); // no hard links here (FAT, some FUSE)
        return false;
    }
    // Both names lead to the file now: the old one goes only while it is still that file.
    struct stat named {};
    if (!statAt(from, named) || named.st_ino != st.st_ino || named.st_dev != st.st_dev ||
        ::unlinkat(from.dir, from.name, 0) != 0) {
        struct stat made {};
        if (statAt(to, made) && made.st_ino == st.st_ino && made.st_dev == st.st_dev)
            ::unlinkat(to.dir, to.name, 0); // keep the file under its old name only
        return false;
    }
    return true;
}

bool validNames(const QByteArray& oldPath, const QByteArray& newPath) {
    // A zero byte would cut the name short and rename to some other name.
    return !oldPath.isEmpty() && !newPath.isEmpty() && !oldPath.contains('\0') && !newPath.contains('\0') &&
           oldPath != newPath;
}

// The rename itself, both entries reached. `st` is what lstat said of the entry renamed.
bool renameEntry(Entry from, Entry to, const FileIdentity& identity, const struct stat& st,
                 const QByteArray& oldPath, const QByteArray& newPath) {
    // A taken name fails below anyway. Seen here, the failure begins no journal (a command that
    // renames nothing keeps the last command's undo); once the command has begun its journal,
    // a failure costs it only a record, and the look is spared. The same file under another
    // letter case is not taken.
    struct stat taken {};
    if (!journal::JournalBegun() && statAt(to, taken) &&
        (taken.st_ino != st.st_ino || taken.st_dev != st.st_dev))
        return false;
    const journal::ChangeScope scope;
    const uint32_t id = journal::AnnounceRename(identity, oldPath, newPath);
    bool renamed = renameNoReplace(from, to) == 0;
    if (!renamed && (errno == EINVAL || errno == ENOSYS)) {
        renamed = renameFallback(from, to);
    } else if (!renamed) {
        journal::NotMade(id); // the kernel refused it whole: nothing changed
        return false;
    }
    if (renamed) {
        const qsizetype slash = newPath.lastIndexOf('/');
        journal::TouchedFolder(st.st_dev, slash < 0    ? QByteArray()
                                          : slash == 0 ? QByteArray("/")
                                                       : newPath.left(slash));
        journal::RenameDone(id, st);
    }
    return renamed;
}

} // namespace

bool RenameNoReplaceFallback(const char* oldPath, const char* newPath) {
    const HeldFolder from{QByteArray(oldPath)}, to{QByteArray(newPath)};
    return from.isOpen() && to.isOpen() && renameFallback(entryOf(from), entryOf(to));
}

bool RenameFile(const QString& oldName, const QString& newName, const EntrySnapshot* seen) {
    const QByteArray oldPath = EncodeFileName(oldName);
    const QByteArray newPath = EncodeFileName(newName);
    if (!validNames(oldPath, newPath))
        return false;
    // The entry's identity for the journal. Until the journal is begun the entry is looked at
    // here even when the caller saw it: one that has gone must begin no journal.
    struct stat st {};
    const auto identify = [&](Entry from) -> std::optional<FileIdentity> {
        if (seen && journal::JournalBegun()) {
            st = seen->st;
            return seen->identity;
        }
        return IdentityAt(from.dir, from.name, &st);
    };
    if (!oldPath.contains('/') && !newPath.contains('/')) {
        // Both in the working directory: the process holds that folder already, and every *at
        // call relative to it acts on the folder itself, not on a name looked up again.
        const Entry from{AT_FDCWD, oldPath.constData()}, to{AT_FDCWD, newPath.constData()};
        const std::optional<FileIdentity> identity = identify(from);
        return identity && renameEntry(from, to, *identity, st, oldPath, newPath);
    }
    // Both folders held: the rename and its checks act on the folders these names led to once.
    const HeldFolder from(oldPath);
    if (!from.isOpen())
        return false;
    const qsizetype slash = newPath.lastIndexOf('/');
    const bool sameFolder = !oldPath.endsWith('/') && !newPath.endsWith('/') &&
                            from.folderPath() == QByteArrayView(newPath).first(slash + 1);
    // A rename within its folder (the usual one) needs that folder held only once.
    const HeldFolder to = sameFolder ? HeldFolder() : HeldFolder(newPath);
    if (!sameFolder && !to.isOpen())
        return false;
    const Entry target = sameFolder ? Entry{from.fd(), newPath.constData() + slash + 1} : entryOf(to);
    const std::optional<FileIdentity> identity = identify(entryOf(from));
    return identity && renameEntry(entryOf(from), target, *identity, st, oldPath, newPath);
}

std::optional<EntrySnapshot> LookAtEntry(const QString& name) {
    const QByteArray path = EncodeFileName(name);
    if (path.isEmpty() || path.contains('\0'))
        return std::nullopt;
    EntrySnapshot seen{};
    const std::optional<FileIdentity> identity = IdentityAt(AT_FDCWD, path.constData(), &seen.st);
    if (!identity)
        return std::nullopt;
    seen.identity = *identity;
    return seen;
}
