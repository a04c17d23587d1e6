#pragma once

#include <QString>

// Moving the ID3v1 trailer between a file and CurrentTag. A path is a Morwick name (see
// FileName.h), full or relative to the working directory.

// Loads the last 128 bytes of the file into CurrentTag and sets HasTag. A missing file or a
// failed open changes nothing. A file shorter than 128 bytes, or whose trailer does not begin
// with "TAG", leaves CurrentTag all zero with genre 255 and HasTag false. Byte 126 (track) is
// cleared when byte 125 is not zero. A failure after the open throws CommandError.
void ReadTag(const QString& path);

// Writes CurrentTag (byte 125 set to 0 first) over the file's last 128 bytes when HasTag is
// true and those bytes still begin with "TAG", else appends it: a trailer that has gone since
// ReadTag is never "replaced" by overwriting what now ends the file. Gives the owner write
// permission first when the file lacks it; a missing file or a failed open does nothing. A failure after the
// open throws CommandError; an append that fails part-way is cut back, so the file never keeps half a tag.
void WriteTag(const QString& path);
