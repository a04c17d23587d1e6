#include "core/Id3v2Header.h"
#include "core/Id3v2Tag.h"
#include "support/TestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace testfiles;

namespace {

// mutagen, the independent reader: it makes the fixture tags (and the frames it cannot write,
// by hand) and reads back what Morwick rendered.
const char* const kPeer = R"PY(
import json, sys
from mutagen.id3 import (ID3, ID3NoHeaderError, TIT2, TPE1, TALB, TYER, TDAT, TDRC, TRCK, TCON, COMM,
                         APIC, USLT, TXXX, UFID, PRIV)

PICTURE = bytes(range(256)) * 4  # every byte value: 0xFF before 0x00 and before 0xE0..0xFF

def synchsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])

def unsynchronise(b):
    out = bytearray()
    for i, c in enumerate(b):
        out.append(c)
        if c == 0xFF and (i + 1 == len(b) or b[i + 1] == 0 or b[i + 1] >= 0xE0):
            out.append(0)
    return bytes(out)

def make(shape, path, title):
    audio = open(path, 'rb').read()
    if shape == 'none':
        return
    if shape == 'v22':
        def f(fid, data):
            return fid + len(data).to_bytes(3, 'big') + data
        frames = (f(b'TT2', b'\x00' + title.encode('latin-1')) + f(b'TP1', b'\x00Old Artist')
                  + f(b'TAL', b'\x00Old Album') + f(b'TYE', b'\x002001') + f(b'TRK', b'\x003/12')
                  + f(b'TCO', b'\x00(17)') + f(b'COM', b'\x00eng\x00old comment')
                  + f(b'PIC', b'\x00PNG\x03cover\x00' + PICTURE)
                  + f(b'TXX', b'\x00REPLAYGAIN_TRACK_GAIN\x00-6.50 dB'))
        open(path, 'wb').write(b'ID3\x02\x00\x00' + synchsafe(len(frames)) + frames + audio)
        return
    version = 3 if shape.startswith('v23') else 4
    enc = 1 if version == 3 else 3
    t = ID3()
    t.add(TIT2(encoding=enc, text=title))
    t.add(TPE1(encoding=enc, text='Old Artist'))
    t.add(TALB(encoding=enc, text='Old Album'))
    if version == 3:
        t.add(TYER(encoding=0, text='2001'))
        t.add(TDAT(encoding=0, text='0605'))
    else:
        t.add(TDRC(encoding=3, text='2001-05-06'))
    t.add(TRCK(encoding=0, text='3/12'))
    t.add(TCON(encoding=0, text='(17)'))
    t.add(COMM(encoding=0, lang='XXX', desc='', text='old comment'))
    t.add(COMM(encoding=0, lang='eng', desc='iTunNORM', text=' 00000A3C 00000B12'))
    t.add(APIC(encoding=enc, mime='image/png', type=3, desc='cover', data=PICTURE))
    t.add(USLT(encoding=enc, lang='eng', desc='', text='la la la\nla la'))
    t.add(TXXX(encoding=enc, desc='REPLAYGAIN_TRACK_GAIN', text='-6.50 dB'))
    t.add(UFID(owner='http://musicbrainz.org', data=b'0b4c0a52-1d0e'))
    t.add(PRIV(owner='WM/MediaClassPrimaryID', data=b'\xff\x00\xfe\xe0'))
    padding = 4096 if shape.endswith('room') else 0
    t.save(path, v2_version=version, padding=lambda info: padding)
    data = open(path, 'rb').read()
    size = (data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9]
    flags, body = data[5], data[10:10 + size]
    # A frame no reader knows, by hand.
    unknown = b'\x00\x01unknown\xff\xe0'
    unknown_size = synchsafe(len(unknown)) if version == 4 else len(unknown).to_bytes(4, 'big')
    body = b'XYZW' + unknown_size + b'\x00\x00' + unknown + body
    if version == 4:
        # A frame unsynchronised on its own, with its data length: flags TagLib does not write.
        private = b'Morwick/flagged\x00\xff\xe0\xff\x00'
        encoded = unsynchronise(private)
        body = b'PRIV' + synchsafe(4 + len(encoded)) + b'\x00\x03' + synchsafe(len(private)) + encoded + body
    if shape == 'v24-unsync':
        # Every frame unsynchronised on its own, and the header saying so for the whole tag.
        frames, rest = b'', body
        while len(rest) > 10 and rest[0] != 0:
            length = (rest[4] << 21) | (rest[5] << 14) | (rest[6] << 7) | rest[7]
            if rest[9] & 0x02:
                frames += rest[:10 + length]
            else:
                encoded = unsynchronise(rest[10:10 + length])
                frames += rest[:4] + synchsafe(len(encoded)) + bytes([rest[8], rest[9] | 0x02]) + encoded
            rest = rest[10 + length:]
        body, flags = frames + rest, flags | 0x80
    if shape == 'v23-unsync':
        body, flags = unsynchronise(body), flags | 0x80
    if shape == 'v23-extended':
        body, flags = b'\x00\x00\x00\x06\x00\x00' + padding.to_bytes(4, 'big') + body, flags | 0x40
    header = b'ID3' + bytes([version, 0]) + bytes([flags | (0x10 if shape == 'v24-footer' else 0)])
    header += synchsafe(len(body))
    footer = b'3DI' + header[3:] if shape == 'v24-footer' else b''
    open(path, 'wb').write(header + body + footer + data[10 + size:])

def dump(path):
    try:
        t = ID3(path, translate=False)
    except ID3NoHeaderError:
        return None
    texts = {fid: '/'.join(str(x) for x in t[fid].text)
             for fid in ['TIT2', 'TPE1', 'TALB', 'TYER', 'TDRC', 'TRCK', 'TCON'] if fid in t}
    return {'version': t.version[1], 'texts': texts,
            'comments': [[c.lang, '/'.join(c.text)] for c in t.getall('COMM') if c.desc == ''],
            'frames': {k: repr(v) for k, v in t.items()},
            'converted': {k: repr(v) for k, v in ID3(path).items()},
            'unknown': sorted(f.hex() for f in t.unknown_frames)}

if sys.argv[1] == 'make':
    make(sys.argv[2], sys.argv[3], sys.argv[4])
else:
    print(json.dumps(dump(sys.argv[2])))
)PY";

const QString kPython = QStringLiteral("/usr/bin/python3");

QByteArray runPeer(const QStringList& args) {
    QProcess python;
    python.start(kPython, QStringList{QStringLiteral("-c"), QString::fromUtf8(kPeer)} + args);
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit ||
        python.exitCode() != 0)
        qWarning().noquote() << "mutagen failed:" << python.readAllStandardError();
    return python.readAllStandardOutput();
}

QVariantMap dumpTag(const QString& path) {
    return QJsonDocument::fromJson(runPeer({QStringLiteral("dump"), path})).object().toVariantMap();
}

Id3FieldMask maskOf(const QString& letters) {
    const auto has = [&](char c) { return letters.contains(QLatin1Char(c)); };
    return {has('t'), has('a'), has('l'), has('y'), has('c'), has('n'), has('g')};
}

// The frame keys (mutagen's) that the marked fields write: these are compared by text, every
// other frame must come through unchanged.
bool isWritten(const QString& key, const Id3FieldMask& mask) {
    return (mask.title && key == u"TIT2") || (mask.artist && key == u"TPE1") ||
           (mask.album && key == u"TALB") || (mask.year && (key == u"TYER" || key == u"TDRC")) ||
           (mask.track && key == u"TRCK") || (mask.genre && key == u"TCON") ||
           (mask.comment && key.startsWith(u"COMM::"));
}

} // namespace

class TestId3v2Tag : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import mutagen.id3")}) != 0)
            QSKIP("/usr/bin/python3 has no mutagen (python3-mutagen)");
    }

    void tagSizeFromHeader_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<qint64>("size");
        QTest::newRow("2.3") << QByteArray("ID3\x03\x00\x00\x00\x00\x02\x01", 10) << qint64(10 + 257);
        QTest::newRow("2.4, all size bits")
            << QByteArray("ID3\x04\x00\x00\x7f\x7f\x7f\x7f", 10) << qint64(10 + (1 << 28) - 1);
        QTest::newRow("footer flagged")
            << QByteArray("ID3\x04\x00\x10\x00\x00\x00\x20", 10) << qint64(10 + 32 + 10);
        QTest::newRow("size byte over 0x7F")
            << QByteArray("ID3\x04\x00\x00\x00\x00\x80\x00", 10) << qint64(0);
        QTest::newRow("version 5") << QByteArray("ID3\x05\x00\x00\x00\x00\x00\x00", 10) << qint64(0);
        QTest::newRow("nine bytes") << QByteArray("ID3\x04\x00\x00\x00\x00\x00", 9) << qint64(0);
    }
    void tagSizeFromHeader() {
        QFETCH(QByteArray, header);
        QFETCH(qint64, size);
        QCOMPARE(Id3v2TagSize(header), size);
    }

    // A tag cut short by the file's end, or with a frame claiming more than there is, reads as
    // far as its frames are whole and never counts as room for an in-place write.
    void damagedTagsReadAsFarAsTheyGo() {
        const QByteArray file = read(fixture(QStringLiteral("peer-id3v2-and-id3v1.mp3")));
        const QByteArray tag = file.first(Id3v2TagSize(file));
        const Id3v2Texts texts{QStringLiteral("New"), {}, {}, {}, {}, {}, {}};
        for (qsizetype cut = kId3v2HeaderSize; cut < tag.size(); ++cut) {
            const std::optional<Id3v2Parsed> parsed = ParseId3v2Tag(tag.first(cut));
            QVERIFY(parsed);
            QVERIFY(parsed->frames <= 7);
            const std::optional<Id3v2Rendered> rendered =
                RenderId3v2Tag(tag.first(cut), texts, Id3FieldMask{});
            QVERIFY(rendered);
            QVERIFY(!rendered->fitsInPlace);
            QCOMPARE(ParseId3v2Tag(rendered->tag)->texts.title, texts.title);
        }
        QByteArray oversized = tag;
        oversized[kId3v2HeaderSize + 4] = '\x7f'; // the first frame's size, far beyond the tag
        const std::optional<Id3v2Parsed> parsed = ParseId3v2Tag(oversized);
        QVERIFY(parsed);
        QCOMPARE(parsed->frames, 0);
        QCOMPARE(parsed->padding, oversized.size() - kId3v2HeaderSize);
    }

    // Each shape of tag, made by mutagen in front of real audio, rendered with new texts and read
    // back by mutagen: the texts written, every other frame as it was, the version kept (2.2 and
    // none become 2.4), and a tag that fits in the old one's space exactly that size.
    void renderReadsBackInMutagen_data() {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QString>("oldTitle");
        QTest::addColumn<QString>("marks"); // t a l y c n g: title artist album year comment track genre
        QTest::addColumn<Id3v2Texts>("texts");
        QTest::addColumn<bool>("fits");

        const Id3v2Texts longer{QStringLiteral("A Rather Longer New Title, Live at the Old Town Hall"),
                                QStringLiteral("The New Artist Name and the Orchestra of the Night"),
                                QStringLiteral("The New Album Name (Deluxe Edition, Remastered)"),
                                QStringLiteral("1999"),
                                QStringLiteral("a new, much longer comment than the old one was"),
                                QStringLiteral("7"),
                                QStringLiteral("Rock")};
        const Id3v2Texts russian{QStringLiteral(u"Тихая ночь над рекой, где звёзды горят до самого утра"),
                                 QStringLiteral(u"Ансамбль «Северное сияние»"),
                                 QStringLiteral(u"Песни у воды"),
                                 QStringLiteral("2003"),
                                 QStringLiteral(u"записано в Вологде, лето 2003 года"),
                                 QStringLiteral("12/14"),
                                 QStringLiteral("Folk")};
        const QString old = QStringLiteral("Old Title");
        QTest::newRow("no ID3v2, non-Latin texts") << "none" << old << "talycng" << russian << false;
        QTest::newRow("2.3, picture and unknown frames, no room")
            << "v23" << old << "talycng" << longer << false;
        QTest::newRow("2.3, room") << "v23-room" << old << "talycng" << longer << true;
        QTest::newRow("2.3, non-Latin title over 30 characters")
            << "v23-room" << old << "talycng" << russian << true;
        QTest::newRow("2.3 unsynchronised") << "v23-unsync" << old << "talycng" << longer << false;
        QTest::newRow("2.3 with extended header") << "v23-extended" << old << "talycng" << longer << false;
        QTest::newRow("2.4 unsynchronised") << "v24-unsync" << old << "talycng" << longer << false;
        QTest::newRow("2.4 with footer") << "v24-footer" << old << "talycng" << longer << false;
        QTest::newRow("2.4, room, title only")
            << "v24-room" << old << "t" << Id3v2Texts{russian.title, {}, {}, {}, {}, {}, {}} << true;
        QTest::newRow("2.4, room, empty texts remove frames")
            << "v24-room" << old << "talycng"
            << Id3v2Texts{QStringLiteral("Only a title"), {}, {}, {}, {}, {}, {}} << true;
        QTest::newRow("2.2 becomes 2.4") << "v22" << old << "tcn" << longer << false;
    }
    void renderReadsBackInMutagen() {
        QFETCH(QString, shape);
        QFETCH(QString, oldTitle);
        QFETCH(QString, marks);
        QFETCH(Id3v2Texts, texts);
        QFETCH(bool, fits);
        const Id3FieldMask mask = maskOf(marks);

        QTemporaryDir dir;
        const QString before =
            copyFixture(QStringLiteral("cbr128-stereo-44k-noinfo.mp3"), dir.path(), "before.mp3");
        runPeer({QStringLiteral("make"), shape, before, oldTitle});
        const QByteArray file = read(before);
        const qint64 oldSize = Id3v2TagSize(file.first(10));
        QCOMPARE(oldSize == 0, shape == u"none");
        const QByteArray oldTag = file.first(oldSize);
        const QByteArray audio = file.sliced(oldSize);
        QCOMPARE(audio, read(fixture(QStringLiteral("cbr128-stereo-44k-noinfo.mp3"))));

        // Morwick's reading of the old tag.
        const std::optional<Id3v2Parsed> parsedOld = ParseId3v2Tag(oldTag);
        QCOMPARE(parsedOld.has_value(), shape != u"none");
        if (parsedOld) {
            const QString year =
                shape.startsWith(u"v24") ? QStringLiteral("2001-05-06") : QStringLiteral("2001");
            QCOMPARE(parsedOld->texts,
                     (Id3v2Texts{oldTitle, "Old Artist", "Old Album", year, "old comment", "3/12", "Rock"}));
        }

        const std::optional<Id3v2Rendered> rendered = RenderId3v2Tag(oldTag, texts, mask);
        QVERIFY(rendered);
        const int version = shape.startsWith(u"v23") ? 3 : 4;
        QCOMPARE(rendered->version, version);
        QCOMPARE(rendered->fitsInPlace, fits);
        const std::optional<Id3v2Parsed> parsedNew = ParseId3v2Tag(rendered->tag);
        QVERIFY(parsedNew);
        if (fits)
            QCOMPARE(rendered->tag.size(), oldTag.size());
        else
            QCOMPARE(parsedNew->padding, kId3v2Padding);
        const QString after = dir.filePath(QStringLiteral("after.mp3"));
        write(after, rendered->tag + audio);

        // Morwick reads back what it wrote, and keeps what it did not write.
        const Id3v2Texts old = parsedOld ? parsedOld->texts : Id3v2Texts{};
        const Id3v2Texts expected{
            mask.title ? texts.title : old.title,       mask.artist ? texts.artist : old.artist,
            mask.album ? texts.album : old.album,       mask.year ? texts.year : old.year,
            mask.comment ? texts.comment : old.comment, mask.track ? texts.track : old.track,
            mask.genre ? texts.genre : old.genre};
        QCOMPARE(parsedNew->texts, expected);

        // mutagen reads the same.
        const QVariantMap was = dumpTag(before);
        const QVariantMap now = dumpTag(after);
        QCOMPARE(now.value("version").toInt(), version);
        const QVariantMap nowTexts = now.value("texts").toMap();
        const QString yearId = version == 3 ? QStringLiteral("TYER") : QStringLiteral("TDRC");
        const std::pair<bool, std::pair<QString, QString>> written[] = {
            {mask.title, {"TIT2", texts.title}}, {mask.artist, {"TPE1", texts.artist}},
            {mask.album, {"TALB", texts.album}}, {mask.year, {yearId, texts.year}},
            {mask.track, {"TRCK", texts.track}}, {mask.genre, {"TCON", texts.genre}}};
        for (const auto& [marked, field] : written) {
            if (marked)
                QCOMPARE(nowTexts.value(field.first).toString(), field.second);
        }
        if (mask.comment) {
            const QVariantList comments = now.value("comments").toList();
            if (texts.comment.isEmpty())
                QVERIFY(comments.isEmpty());
            else
                QCOMPARE(comments, (QVariantList{QVariantList{"eng", texts.comment}}));
        }

        // Every other frame: byte for byte where the version is kept (mutagen's full reading of
        // each, unknown frames raw), as converted where it is not.
        const QString frames = version == 3 || shape.startsWith(u"v24") ? "frames" : "converted";
        const QVariantMap wasFrames = was.value(frames).toMap();
        const QVariantMap nowFrames = now.value(frames).toMap();
        for (auto it = wasFrames.begin(); it != wasFrames.end(); ++it) {
            if (!isWritten(it.key(), mask))
                QCOMPARE(nowFrames.value(it.key()).toString(), it.value().toString());
        }
        for (auto it = nowFrames.begin(); it != nowFrames.end(); ++it) {
            if (!isWritten(it.key(), mask))
                QVERIFY2(wasFrames.contains(it.key()), qPrintable(it.key()));
        }
        QCOMPARE(now.value("unknown").toList(), was.value("unknown").toList());
    }
};

QTEST_GUILESS_MAIN(TestId3v2Tag)
#include "TestId3v2Tag.moc"
