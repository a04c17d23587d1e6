#pragma once

#include "core/Id3Tag.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

// The ID3v2 tag at a file's head, as plain bytes in and out: TagLib parses and renders the
// frames; where the bytes go on disk is the caller's business.

// The texts Morwick reads from and writes into an ID3v2 tag, whole and in Unicode (never cut to
// the ID3v1 widths nor transliterated). The year is the TDRC (or TYER) text, the track the TRCK
// text ("3", "3/12"), the genre a name. An empty text means the tag has no such frame.
struct Id3v2Texts {
    QString title;
    QString artist;
    QString album;
    QString year;
    QString comment;
    QString track;
    QString genre;

    bool operator==(const Id3v2Texts&) const = default;
};

// Padding given to a tag that no longer fits in the space of the old one (or to a new tag), so
// that the next change fits in place.
inline constexpr int kId3v2Padding = 1024;

// The whole size of the ID3v2 tag whose 10-byte header is `header` (a file's first bytes):
// header, body and, when flagged, the 10-byte footer. 0 when `header` is shorter than 10 bytes
// or not a well-formed ID3v2 header (see IsWellFormedId3v2Header).
int64_t Id3v2TagSize(QByteArrayView header);

// A parsed ID3v2 tag.
struct Id3v2Parsed {
    int version = 0;     // major version: 2, 3 or 4
    int64_t size = 0;    // the tag's whole size as its header gives it (see Id3v2TagSize)
    int64_t padding = 0; // bytes after the last frame, inside that size (a footer included)
    int frames = 0;      // frames read
    Id3v2Texts texts;
};

// Parses `tag`, the bytes of a file's leading ID3v2 tag (Id3v2TagSize of its header; fewer when
// the file ends sooner, and then only the frames whole within them count). Frames are read up
// to the padding or the first one that does not parse, as TagLib reads them: unsynchronisation,
// extended headers, ID3v2.2 frame names and text encodings are undone. The comment is the one
// with an empty description ("eng" or an unnamed language first), the genre a name (ID3v1 genre
// numbers are named). Nothing when `tag` does not begin with a well-formed header. Never throws.
std::optional<Id3v2Parsed> ParseId3v2Tag(QByteArrayView tag);

// A rendered tag: header, frames and zero padding, no footer.
struct Id3v2Rendered {
    QByteArray tag;
    int version = 4; // 3 or 4
    // True when `tag` is exactly as long as the old tag (padded to that size), so it can be
    // written over it in place; false when there was no old tag or the new one outgrew it (it
    // then carries kId3v2Padding bytes of padding).
    bool fitsInPlace = false;
};

// The tag `oldTag` (the bytes ParseId3v2Tag takes; empty or not a tag: none) with the fields
// marked in `mask` set from `texts`: TIT2, TPE1, TALB, the year as TDRC (ID3v2.4) or TYER
// (ID3v2.3), COMM (language "eng", empty description; it replaces every comment with an empty
// description in "eng" or an unnamed language), TRCK and TCON. A marked field whose text is
// empty loses its frames. Every other frame of an ID3v2.3 or 2.4 tag is kept byte for byte and
// in its place, and the version is kept; an ID3v2.2 tag is converted to 2.4 frame by frame by
// TagLib (frames without a 2.4 equivalent are dropped), and a file without a tag gets a 2.4
// tag. Extended headers and footers are not written; a 2.3 tag's unsynchronisation is undone,
// a 2.4 tag keeps its flag (the frames written in UTF-8 read the same under it). Nothing when
// the frames would exceed the largest size a header can state (256 MiB). Never throws.
std::optional<Id3v2Rendered> RenderId3v2Tag(QByteArrayView oldTag, const Id3v2Texts& texts,
                                            const Id3FieldMask& mask);
