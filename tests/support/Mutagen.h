#pragma once

#include "core/Id3Tag.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// mutagen (/usr/bin/python3 with python3-mutagen), the independent ID3v2 reader the tests compare
// with: it makes the fixture tags (and the frames it cannot write, by hand) and reads back what
// Morwick wrote.
namespace mutagen {

// Whether /usr/bin/python3 can import mutagen.
bool Available();
// Runs the peer script with `args` ("make SHAPE PATH TITLE" puts a tag of that shape in front of
// the file; "dump PATH" prints the file's tag as JSON); its standard output.
QByteArray runPeer(const QStringList& args);
// The file's tag as mutagen reads it: version, texts, empty-description comments, every frame
// (as read, and converted to 2.4) and the unknown frames raw. Empty when the file has none.
QVariantMap dumpTag(const QString& path);
// The field marks for the letters t a l y c n g (title artist album year comment track genre).
Id3FieldMask maskOf(const QString& letters);
// Whether mutagen's frame key `key` is one the marked fields write: those are compared by text,
// every other frame must come through unchanged.
bool isWritten(const QString& key, const Id3FieldMask& mask);

} // namespace mutagen
