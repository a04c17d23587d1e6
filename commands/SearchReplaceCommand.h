#pragma once

#include "commands/BatchContext.h"

// "Search & Replace": with at least one file selected, asks for the search text and then the
// replacement (both prompts start empty). When either is cancelled, only re-reads the list.
// Otherwise renames every selected file, in list order, to its name with the search text
// replaced as ReplaceInName does (its old name when that gives none), through the long-name
// prompt (`askLongFilename`) and RenameFile; a failed rename is silent. The list is re-read at
// the end. Nothing selected does nothing and shows no prompt.
BatchReport SearchReplaceCommand(const BatchContext& context, bool askLongFilename);

// The same with the two texts already given (as the rename preview has asked them): no prompt
// but the long-name one.
BatchReport SearchReplaceCommand(const BatchContext& context, bool askLongFilename, const QString& search,
                                 const QString& replacement);
