#pragma once

#include <QString>
#include <QStringList>

// Folder listings and the working directory, as Morwick names (see FileName.h).

// What a listing keeps: regular files ending in ".mp3" in any letter case, or folders. Hidden
// entries (a leading ".") never count. Symbolic links count for what they point at.
enum class EntryKind { Mp3File, Folder };

// The bare names of the entries of `dir` of that kind, sorted without regard to case and then
// exactly, so the order is stable. Throws CommandError when the folder cannot be opened.
QStringList ListDirectory(const QString& dir, EntryKind kind);

// The working directory; empty when it cannot be had (removed, or out of reach).
QString WorkingDirectory();

// Makes `dir` the working directory, the folder whose names the commands work on. A command may
// go through several folders: the journal records each change under the folder it was made in.
// Throws CommandError when the folder cannot be entered.
void EnterDirectory(const QString& dir);
