#pragma once

#include "core/Id3v2Tag.h"

#include <QByteArray>

// ID3v2 tags written by mutagen (python3-mutagen), an independent tagger, for the tests of the
// commands that read them.
namespace testfiles {

// Whether /usr/bin/python3 can import mutagen; a test without it skips.
bool haveMutagen();

// An ID3v2 tag (`version` 3 or 4) as mutagen writes it, its default padding included: the
// non-empty texts of `texts` as TIT2, TPE1, TALB, TDRC (2.4) or TYER (2.3), COMM (language
// "eng", empty description), TRCK and TCON, in UTF-16 (2.3) or UTF-8 (2.4). Empty when
// mutagen fails (a warning says why).
QByteArray mutagenId3v2(const Id3v2Texts& texts, int version = 4);

} // namespace testfiles
