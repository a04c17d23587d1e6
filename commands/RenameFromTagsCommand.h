#pragma once

#include "commands/BatchContext.h"
#include "naming/Formats.h"

// "Rename from tags": renames every selected file, in list order, to the name its own tag
// gives under the filename format and track separator (FilenameFormat::None renames nothing).
// With `useId3v2` the tag is the file's ID3v2 tag when it has one with any text, its title and
// artist taken whole (not cut to 30 characters) and its track the number TRCK begins with; else,
// and always without `useId3v2`, the ID3v1 tag, whose title and artist are the whole 30-byte
// fields. Either way the characters a file name may not hold are dropped, codes 0..32 trimmed at
// both ends, and a text cut at a zero byte that is still inside. A file whose title and artist
// are both empty (one without a tag, for one) is left alone, and so is an entry whose tag cannot
// be read (missing, or no longer a file). The new name goes through the long-name prompt
// (`askLongFilename`) and RenameFile, whose failure is silent. Nothing selected does nothing;
// the list is re-read at the end. A CommandError from reading a tag ends the batch there; the
// later entries stay selected.
BatchReport RenameFromTagsCommand(const BatchContext& context, FilenameFormat format,
                                  TrackSeparator separator, bool askLongFilename, bool useId3v2);
