#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>

// The 128-byte ID3v1.1 trailer at the end of an MP3 file.
inline constexpr int kTagSize = 128;
inline constexpr int kMagicWidth = 3;
inline constexpr int kTextWidth = 30; // title, artist, album
inline constexpr int kYearWidth = 4;
inline constexpr int kCommentWidth = 28;
inline constexpr int kGenreCount = 145;
inline constexpr int kNoGenre = 255;
inline constexpr char kTagMagic[] = "TAG";

struct ID3Tag {
    char magic[kMagicWidth];
    char title[kTextWidth];
    char artist[kTextWidth];
    char album[kTextWidth];
    char year[kYearWidth];
    char comment[kCommentWidth];
    uint8_t zero; // non-zero: an ID3v1.0 comment runs on over this byte and the track
    uint8_t track;
    uint8_t genre;
};
static_assert(sizeof(ID3Tag) == kTagSize, "the trailer is exactly 128 bytes");
static_assert(offsetof(ID3Tag, title) == 3 && offsetof(ID3Tag, artist) == 33 &&
              offsetof(ID3Tag, album) == 63);
static_assert(offsetof(ID3Tag, year) == 93 && offsetof(ID3Tag, comment) == 97);
static_assert(offsetof(ID3Tag, zero) == 125 && offsetof(ID3Tag, track) == 126 &&
              offsetof(ID3Tag, genre) == 127);

// A tag with every byte zero and no genre (255): what a file without a trailer reads as.
ID3Tag EmptyTag();

// A file's ID3v1 trailer as read: its 128 bytes, and whether the file really ended in one
// (false: `tag` is EmptyTag()). WriteTag uses `present` to overwrite that trailer rather than
// append a second one.
struct FileTag {
    ID3Tag tag = EmptyTag();
    bool present = false;
};

// The trailer as read from a file's last 128 bytes: present when they begin with "TAG"; the
// track cleared when byte 125 is not zero (an ID3v1.0 comment runs over it).
FileTag TrailerOf(ID3Tag last);

// The seven "Set ID3 fields" marks: which tag fields Tag files writes, in
// the ID3v1 tag and in the ID3v2 tag alike.
struct Id3FieldMask {
    bool title = true;
    bool artist = true;
    bool album = true;
    bool year = true;
    bool comment = true;
    bool track = true;
    bool genre = true;
};

// The genre names; a genre byte of 0..144 indexes this table.
extern const std::array<const char*, kGenreCount> GenreNames;

// Zeroes the 30-byte field, then stores the first 30 characters of text (Windows-1252).
void SetTextField(const QString& text, char (&field)[kTextWidth]);
// The 4 bytes of the year field: the first 4 characters of text, the rest zero.
std::array<char, kYearWidth> YearField(const QString& text);
// Zeroes the 28-byte comment, then stores the first 28 characters of text.
void SetCommentField(const QString& text, char (&field)[kCommentWidth]);
// The position of the genre called exactly `name` (case significant), or 255 when none is.
int GenreIndex(const QString& name);
// The genre's name for 0..144, the empty string for any other value.
QString GenreName(int genre);
// A text field read back: all its bytes, then codes 0..32 removed at both ends.
QString ReadTextField(const char* field, int width);
template <std::size_t N> QString ReadTextField(const char (&field)[N]) {
    return ReadTextField(field, int(N));
}
// True when the first three bytes are "TAG" exactly.
bool IsTagTrailer(const ID3Tag& tag);
void SetTagMagic(ID3Tag& tag);
