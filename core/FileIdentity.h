#pragma once

#include <cstdint>
#include <optional>
#include <sys/stat.h>

// What tells one file from another for as long as Morwick may come back to it, after a restart
// included: device and inode number, and the inode's birth time (else its generation number).
// An inode number alone is not enough: a file system hands a freed number to the next new file,
// but that file is born later and carries a new generation.
struct FileIdentity {
    uint64_t dev = 0;
    uint64_t ino = 0;
    int64_t birthNs = 0;     // birth time in ns since the epoch; 0 when the file system has none
    uint64_t generation = 0; // the inode's generation + 1; 0 when unknown

    // The same file: the same device and inode, and no birth time or generation that both know
    // and that differ.
    bool sameFile(const FileIdentity& other) const;
    bool operator==(const FileIdentity&) const = default;
};

// An entry as it was seen through a descriptor opened without following a symbolic link: its
// identity (device, inode, birth time) and what lstat would have said of it.
struct EntrySnapshot {
    FileIdentity identity;
    struct stat st;
};

// The identity of the file open as `fd`, which `st` (its fstat) describes. Never fails: what
// cannot be learnt stays unknown.
FileIdentity IdentityOf(int fd, const struct stat& st);
// What fstat(2) says of the file open as `fd`, and its birth time (0 when the file system keeps
// none), in one system call: the identity comes at the price of the stat a caller makes anyway.
// False when the file cannot be examined, with errno set.
bool StatWithBirth(int fd, struct stat& st, int64_t& birthNs);
// The identity of the entry `name` in the folder open as `dirFd` (a symbolic link is not
// followed), with what lstat says of it in `st` when given; nothing when it does not exist or
// cannot be examined.
std::optional<FileIdentity> IdentityAt(int dirFd, const char* name, struct stat* st = nullptr);
