#pragma once

#include "commands/BatchContext.h"

#include <QString>
#include <optional>

// "Rename files": asks, in list order, for a new name for each selected file (pre-filled with
// its name). Cancel leaves that file alone; on OK ".mp3" is appended unless the name already
// ends in exactly ".mp3" (case-sensitive), the name goes through the long-name prompt
// (`askLongFilename`) and the file is renamed. A failed rename is silent. The list is re-read
// at the end; nothing selected does nothing.
BatchReport RenameFilesCommand(const BatchContext& context, bool askLongFilename);

// "Rename dir", without the tree: `fullPath` is the opened directory ("/"-separated, no
// trailing "/"), `isTreeRoot` whether it is the tree's first entry. Asks for a new name
// (pre-filled with the directory's own name). Returns nothing when there is nothing more to do:
// the tree's root or "/", or a name equal to the old one (Cancel included). Otherwise renames
// the directory within its parent (a failure is silent) and returns the parent's path, to be
// opened and refreshed.
std::optional<QString> RenameDirectory(const QString& fullPath, Prompts& prompts, bool isTreeRoot = false);
