#pragma once

#include "core/Id3Tag.h"

#include <QString>
#include <functional>
#include <optional>

// Moving the ID3v1 trailer between a file and a FileTag. A path is a Morwick name (see
// FileName.h), full or relative to the working directory.

// The file's last 128 bytes. Nothing when the file is missing or cannot be opened (a
// directory or other non-file counts as missing). A file shorter than 128 bytes, or whose
// trailer does not begin with "TAG", reads as a FileTag that is not present. Byte 126 (track)
// is cleared when byte 125 is not zero. A failure after the open throws CommandError.
std::optional<FileTag> ReadTag(const QString& path);

// Writes `tag.tag` (byte 125 set to 0) over the file's last 128 bytes when `tag.present` and
// those bytes still begin with "TAG", else appends it: a trailer that has gone since ReadTag is
// never "replaced" by overwriting what now ends the file. Gives the owner write permission
// first when the file lacks it. Returns false, silently, when the file is missing or cannot be
// opened; true once the tag is written. A failure after the open throws CommandError; an append
// that fails part-way is cut back, so the file never keeps half a tag.
bool WriteTag(const QString& path, const FileTag& tag);

// ReadTag, `edit`, then WriteTag of what edit left, through one descriptor when the file can be
// opened for writing as it is (else as the two calls, each on its own). `edit` returns true when
// it waited on the user: the file's end is then looked at again before the write, as WriteTag
// does. Returns and throws as WriteTag.
bool UpdateTag(const QString& path, const std::function<bool(FileTag&)>& edit);
