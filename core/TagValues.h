#pragma once

#include "core/FileIdentity.h"
#include "core/Id3Tag.h"
#include "core/Id3v2Tag.h"

#include <QString>
#include <optional>

// A file's tag values as the commands that read tags use them (Rename from tags, Copy tag, the
// status line): from the ID3v2 tag that players show, when asked for and present, else from the
// ID3v1 trailer.

enum class TagSource { Id3v1, Id3v2 };

struct TagValues {
    TagSource source = TagSource::Id3v1;
    // The texts of the tag they came from: an ID3v2 tag's whole, or the trailer's as
    // Id3v1Texts gives them (all empty when the file has neither tag).
    Id3v2Texts texts;
    // The trailer as ReadTag gives it, whichever tag the texts came from, so that a caller can
    // keep its own reading of the ID3v1 fields exactly.
    FileTag id3v1;
    // The file's own entry as the read saw it, when the name is no symbolic link: a rename that
    // follows at once may take it for the look it would make itself.
    std::optional<EntrySnapshot> entry;

    bool hasTag() const { return source == TagSource::Id3v2 || id3v1.present; }
};

// The trailer's fields as texts: each text field read back (ReadTextField), the track as its
// number ("" for 0), the genre's name ("" for a byte that names none).
Id3v2Texts Id3v1Texts(const ID3Tag& tag);

// The values of the file at `path` (a Morwick name). With `useId3v2`, they come from its leading
// ID3v2 tag when that holds any of the seven texts (a tag with only a picture, say, does not
// hide the trailer); else, and always without `useId3v2`, from its ID3v1 trailer. Reads the
// first 10 bytes, the whole ID3v2 tag when there is one and it is asked for, and the last 128
// bytes, through one descriptor. Nothing when the file is missing or cannot be opened (a folder
// or other non-file counts as missing); a failure after the open throws CommandError.
std::optional<TagValues> ReadTagValues(const QString& path, bool useId3v2);

// The track number a TRCK text begins with ("3/12" gives 3, " 7" gives 7), 0 when it begins with
// no digit or the number does not fit an int.
int TrackTextNumber(const QString& track);
