#pragma once

#include <QString>
#include <cstdint>

// The 10-byte header that opens an ID3v2 tag.
inline constexpr int kId3v2HeaderSize = 10;

// True when `header` (10 bytes) could really begin an ID3v2 tag: "ID3", version 2 to 4, a
// revision that is not 0xFF, and four size bytes below 0x80. An "ID3" inside audio is common
// enough by chance; only such a header counts as a tag.
bool IsWellFormedId3v2Header(const uint8_t* header);

// Whether the file at `path` (a Morwick name) begins with a well-formed ID3v2 header. Reads its
// first 10 bytes only; a file that cannot be read has none. Never throws.
bool HasLeadingId3v2Tag(const QString& path);
