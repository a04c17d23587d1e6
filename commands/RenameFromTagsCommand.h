#pragma once

#include "commands/BatchContext.h"
#include "naming/Formats.h"

// "Rename from tags": renames every selected file, in list order, to the name its own ID3v1
// tag gives under the filename format and track separator (FilenameFormat::None renames
// nothing). Title and artist are the whole 30-byte fields with the characters a file name may
// not hold dropped, codes 0..32 trimmed at both ends, and cut at a zero byte that is still
// inside. A file whose title and artist are both empty (one without a tag, for one) is left
// alone, and so is an entry whose tag cannot be read (missing, or no longer a file). The new
// name goes through the long-name prompt (`askLongFilename`) and RenameFile, whose failure is
// silent. Nothing selected does nothing; the list is re-read at the end. A CommandError from
// reading a tag ends the batch there; the later entries stay selected.
BatchReport RenameFromTagsCommand(const BatchContext& context, FilenameFormat format,
                                  TrackSeparator separator, bool askLongFilename);
