#include "support/PeerTags.h"

#include "support/Mutagen.h"
#include "support/TestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtDebug>

namespace testfiles {

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

// Saves into an empty file, so the file holds the tag alone.
const char* const kWriter = R"PY(
import json, sys
from mutagen.id3 import ID3, TIT2, TPE1, TALB, TDRC, TYER, COMM, TRCK, TCON
path, version, texts = sys.argv[1], int(sys.argv[2]), json.loads(sys.argv[3])
enc = 3 if version == 4 else 1
year = TDRC if version == 4 else TYER
t = ID3()
for key, frame in [('title', TIT2), ('artist', TPE1), ('album', TALB), ('year', year),
                   ('track', TRCK), ('genre', TCON)]:
    if texts[key]:
        t.add(frame(encoding=enc, text=texts[key]))
if texts['comment']:
    t.add(COMM(encoding=enc, lang='eng', desc='', text=texts['comment']))
t.save(path, v2_version=version, v1=0)
)PY";

} // namespace

bool haveMutagen() {
    return mutagen::Available();
}

QByteArray mutagenId3v2(const Id3v2Texts& texts, int version) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tag"));
    write(path, {});
    const QJsonObject json{{"title", texts.title}, {"artist", texts.artist},   {"album", texts.album},
                           {"year", texts.year},   {"comment", texts.comment}, {"track", texts.track},
                           {"genre", texts.genre}};
    QProcess python;
    python.start(kPython, {QStringLiteral("-c"), QString::fromUtf8(kWriter), path, QString::number(version),
                           QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact))});
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit ||
        python.exitCode() != 0) {
        qWarning().noquote() << "mutagen failed:" << python.readAllStandardError();
        return {};
    }
    return read(path);
}

} // namespace testfiles
