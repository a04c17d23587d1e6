#pragma once

#include "core/Id3v2Tag.h"
#include "core/Mp3Info.h"

#include <QString>

// The status line text for a file's tag: "#track", then artist, title, year and comment and
// "[genre]", each present one after ten spaces, blanks trimmed from both ends.
QString TagSummary(const Mp3Info& info);

// The same line for tag texts (an ID3v2 tag's, or a trailer's as Id3v1Texts gives them): the
// track text after "#", the genre name in brackets.
QString TagSummary(const Id3v2Texts& texts);
