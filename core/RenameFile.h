#pragma once

#include "core/FileIdentity.h"

#include <QString>
#include <optional>

// Renames one file or directory, never replacing anything that already has the new name.
// Each name is a Morwick name (see core/FileName.h): either bare, resolved in the working
// directory, or a full path. Returns true on success. Every failure (a taken new name, a
// missing source, the same name twice, a name holding a zero character, a name the file
// system refuses) leaves both names as they were and returns false, silently. A change of
// letter case alone is attempted like any other rename.
// `seen`, when given, is what the caller saw of the entry `oldName` names just before (see
// EntrySnapshot), taken in place of a look of its own once the command's journal is begun.
bool RenameFile(const QString& oldName, const QString& newName, const EntrySnapshot* seen = nullptr);

// What RenameFile would see of the entry `name` (a symbolic link itself, not followed), looked
// at ahead of the rename, as its `seen`; nothing when no such entry can be examined.
std::optional<EntrySnapshot> LookAtEntry(const QString& name);

// The no-replace rename for a file system that refuses the kernel's no-replace flag: a file is
// hard-linked under the new name and then unlinked under the old one; a directory (or a file
// on a file system without hard links) is renamed only after a check that the new name is
// free. Takes encoded names. RenameFile uses it only after such a refusal; it is public so
// that it can be exercised on any file system.
bool RenameNoReplaceFallback(const char* oldPath, const char* newPath);
