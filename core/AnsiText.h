#pragma once

#include <QByteArray>
#include <QString>

// Tag texts are single-byte Windows-1252 strings; Morwick works in Unicode. These are the one
// codec and the one trim used everywhere.

// Unicode to Windows-1252. A character with no Windows-1252 byte is transliterated when it is
// a Latin letter with a plain form (Ł -> L, ź -> z) and becomes '?' otherwise (日 -> ?).
// The result does not depend on the user's locale.
QByteArray ToAnsi(const QString& text);
// Windows-1252 bytes to Unicode; every byte, zero bytes included, gives one character.
QString FromAnsi(const char* bytes, qsizetype size);
inline QString FromAnsi(const QByteArray& bytes) {
    return FromAnsi(bytes.constData(), bytes.size());
}

// Removes the characters with codes 0..32 at both ends, and only those (QString::trimmed()
// removes other white space as well, which a tag or file name may keep).
QString TrimControl(const QString& text);
