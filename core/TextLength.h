#pragma once

#include <QString>
#include <QStringView>

// Lengths and positions of names and tag texts count characters, that is Unicode code points,
// never UTF-16 units: a surrogate pair (an emoji, a CJK extension character) is one character,
// and so is any surrogate without a partner, such as a file-name byte carried as U+DC80..U+DCFF
// (see FileName.h). Positions count from 0. No function here cuts between the two halves of a
// pair. Grapheme clusters (a letter with combining marks, a flag) are not considered: each of
// their code points is a character of its own, as the tag's single bytes would have it.

// The number of characters in `text`.
qsizetype CharCount(QStringView text);

// The UTF-16 offset at which character `position` starts: 0 for position <= 0, text.size()
// for a position at or past the end.
qsizetype UnitOffset(QStringView text, qsizetype position);

// The character position of the UTF-16 offset `offset`. An offset inside a pair gives the
// position of that pair; an offset at or past the end gives CharCount(text).
qsizetype CharPosition(QStringView text, qsizetype offset);

// The first `n` characters (all of them when there are fewer; none for n <= 0).
QString LeftChars(const QString& text, qsizetype n);

// `n` characters from character `position` on; n < 0 means up to the end. A range that starts
// past the end, or holds nothing, gives the empty string.
QString MidChars(const QString& text, qsizetype position, qsizetype n = -1);

// `text` without its last `n` characters (empty when it has no more than n).
QString ChopChars(const QString& text, qsizetype n);

// The UTF-16 offset of the first occurrence of `what` in `text` at or after the offset `from`
// that begins and ends on character boundaries (so a search for half of a pair never matches
// inside that pair); -1 when there is none. An empty `what` never occurs.
qsizetype IndexOfChars(QStringView text, QStringView what, qsizetype from = 0);

// True when `text` holds a surrogate outside a pair other than an escaped file-name byte
// (U+DC80..U+DCFF): text that a cut split, or that never came from a name.
bool HasStraySurrogate(QStringView text);
