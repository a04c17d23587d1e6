#pragma once

// Rewriting a whole file safely: the new content goes to a temporary file beside it first, and
// only a complete, synced copy ever takes the file's place. Used by tag removal and by its undo.

#include "core/PosixFile.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <sys/stat.h>

// How the finished temporary takes the file's place.
enum class RewriteMode {
    // Renamed over the file where that keeps everything the file had: one name, an owner and
    // group that can be given back, its mode, extended attributes and ACLs. Otherwise as InPlace.
    Auto,
    // Copied back over the file through its own descriptor, so the inode (owner, group, mode,
    // attributes, other hard links, other programs' open descriptors) stays; the copy is
    // journaled so that recovery finishes one cut short.
    InPlace,
};

// Leftover temporaries are named ".<name>.morwick-XXXXXX"; a live one is held with flock.
bool IsTemporaryName(const QByteArray& name);

// Replaces the content of `original` (open for writing, described by `st`, reached through
// `path`, a Morwick name; a symbolic link is followed) with what `fill` writes into the descriptor
// it is given from position 0; fill returns the new length. `id` is the journal's change id (0
// for none); the change is confirmed in the journal when done. Throws CommandError; the file is
// then unchanged and no temporary is left.
void RewriteFile(const QString& path, const PosixFile& original, const struct stat& st, uint32_t id,
                 RewriteMode mode, const std::function<int64_t(int fd)>& fill);

// Writes all n bytes at pos of fd, else throws "Disk full" (or the error's message).
void WriteAllAt(int fd, const void* buf, int64_t n, int64_t pos);

// Copies len bytes from `in` at inPos to `out` at outPos. Throws CommandError.
void CopyRange(int in, int64_t inPos, int out, int64_t outPos, int64_t len);
