#pragma once

#include "commands/BatchContext.h"
#include "naming/Formats.h"

// "Trim filenames": renames every selected file, in list order, to TrimFilename of its name
// under the filename format, the name case and the track separator, through the long-name
// prompt (`askLongFilename`) and RenameFile. A failed rename (a taken name, for one) is
// silent. Nothing selected does nothing; the list is re-read at the end.
BatchReport TrimFilenamesCommand(const BatchContext& context, FilenameFormat format, NameCase nameCase,
                                 TrackSeparator separator, bool askLongFilename);
