#pragma once

#include <QByteArray>
#include <QString>

// File names on Linux are bytes; Morwick shows and edits them as Unicode. A name that is not
// valid UTF-8 must still reach the very file it came from, so each byte of an invalid
// sequence is carried as a lone low surrogate U+DC80..U+DCFF and turned back into that byte
// when the name goes to the file system (the same scheme as Python's "surrogateescape").

// Bytes from the file system (a name or a path) to a Morwick string. Never fails.
QString DecodeFileName(const QByteArray& bytes);
// A Morwick string to the bytes the file system sees. Exact inverse of DecodeFileName.
QByteArray EncodeFileName(const QString& name);
// The name as a person should see it: escaped bytes shown as U+FFFD.
QString DisplayFileName(const QString& name);
