#include "core/FileRewrite.h"
#include "core/Id3v2Tag.h"
#include "core/Id3v2Write.h"
#include "core/Journal.h"
#include "core/JournalHooks.h"
#include "core/TagFile.h"
#include "support/Mutagen.h"
#include "support/TestFiles.h"

#include <QTest>
#include <unistd.h>

using namespace testfiles;

namespace {

const Id3v2Texts kTexts{QStringLiteral(u"Тихая ночь над рекой, где звёзды горят до самого утра"),
                        QStringLiteral(u"Ансамбль «Северное сияние»"),
                        QStringLiteral("The New Album"),
                        QStringLiteral("2003"),
                        QStringLiteral("a new comment"),
                        QStringLiteral("12/14"),
                        QStringLiteral("Folk")};

const QString kAudio = QStringLiteral("cbr128-stereo-44k-noinfo.mp3");

QByteArray oldTrailer() {
    return tagBytes(makeTag("Old Song", "Old Band", "Old Album", "1999", "old", 3, 12));
}

// song.mp3 in the working directory: the fixture's audio behind a tag of `shape` (mutagen's
// shapes: none, v22, v23, v23-room, v24-footer, ...) and before an ID3v1 trailer.
QByteArray makeSong(const QString& shape) {
    const QString path = QStringLiteral("song.mp3");
    write(path, read(fixture(kAudio)));
    mutagen::runPeer({QStringLiteral("make"), shape, path, QStringLiteral("Old Title")});
    write(path, read(path) + oldTrailer());
    return read(path);
}

QStringList temporaries() {
    QStringList found;
    for (const QString& name : listing()) {
        if (name.contains(QLatin1String(".morwick-")))
            found << name;
    }
    return found;
}

} // namespace

class TestId3v2Write : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!mutagen::Available())
            QSKIP("/usr/bin/python3 has no mutagen (python3-mutagen)");
    }

    // One command writes a file's trailer and then its ID3v2 tag, in place or by a rewrite (renamed
    // over, or copied back through a second name): the audio and the trailer come through, and
    // the undo gives every byte back, the two changes of the file taken back one after the other.
    void writeThenUndo_data() {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<bool>("linked");
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("no ID3v2") << "none" << false << false;
        QTest::newRow("2.3 without room") << "v23" << false << false;
        QTest::newRow("2.3 with room") << "v23-room" << false << true;
        QTest::newRow("2.4 with room") << "v24-room" << false << true;
        QTest::newRow("2.4 with footer") << "v24-footer" << false << false;
        QTest::newRow("2.2") << "v22" << false << false;
        QTest::newRow("2.3 without room, a second name") << "v23" << true << false;
        QTest::newRow("2.3 with room, a second name") << "v23-room" << true << true;
    }
    void writeThenUndo() {
        QFETCH(QString, shape);
        QFETCH(bool, linked);
        QFETCH(bool, inPlace);
        WorkDir dir;
        const QByteArray before = makeSong(shape);
        if (linked)
            QCOMPARE(::link("song.mp3", "other.mp3"), 0);
        const QString path = QStringLiteral("song.mp3");
        const FileTag trailer{makeTag("New Song", "New Band"), true};
        {
            const JournalCommand command(QStringLiteral("Tag files"));
            QVERIFY(WriteTag(path, trailer));
            ChangeGroup group;
            QCOMPARE(WriteId3v2Tag(group, path, kTexts, Id3FieldMask{}),
                     inPlace ? Id3v2Outcome::InPlace : Id3v2Outcome::Rewritten);
            group.finish();
            QCOMPARE(group.leftAlone(), 0);
        }
        const QByteArray after = read(path);
        const qint64 oldSize = Id3v2TagSize(before.first(10));
        const qint64 newSize = Id3v2TagSize(after.first(10));
        QCOMPARE(inPlace, newSize == oldSize);
        const std::optional<Id3v2Parsed> parsed = ParseId3v2Tag(after.first(newSize));
        QVERIFY(parsed);
        QCOMPARE(parsed->texts, kTexts);
        QCOMPARE(after.sliced(newSize).chopped(kTagSize), before.sliced(oldSize).chopped(kTagSize));
        ID3Tag written = trailer.tag;
        written.zero = 0;
        QCOMPARE(after.right(kTagSize), tagBytes(written));
        if (linked)
            QCOMPARE(read(QStringLiteral("other.mp3")), after);
        QCOMPARE(temporaries(), QStringList());

        const UndoReport report = UndoLastCommand();
        QCOMPARE(report.restored, 1);
        QCOMPARE(report.notRestored, 0);
        QCOMPARE(read(path), before);
        if (linked)
            QCOMPARE(read(QStringLiteral("other.mp3")), before);
    }

    // A file changed after the command is left alone by the undo.
    void undoLeavesAChangedFileAlone() {
        WorkDir dir;
        makeSong(QStringLiteral("v23-room"));
        QVERIFY(WriteId3v2Tag(QStringLiteral("song.mp3"), kTexts, Id3FieldMask{}));
        QByteArray changed = read(QStringLiteral("song.mp3"));
        changed[100] = char(changed[100] ^ 1); // another tagger wrote into the tag meanwhile
        write(QStringLiteral("song.mp3"), changed);
        const UndoReport report = UndoLastCommand();
        QCOMPARE(report.notRestored, 1);
        QCOMPARE(read(QStringLiteral("song.mp3")), changed);
    }

    // A tag that claims more bytes than the file holds is left as it is: where its frames end
    // cannot be told.
    void oversizedTagIsLeftAlone() {
        WorkDir dir;
        const QByteArray content = QByteArray("ID3\x03\x00\x00\x00\x00\x7f\x7f", 10) + audio(3000);
        write(QStringLiteral("song.mp3"), content);
        QVERIFY(!WriteId3v2Tag(QStringLiteral("song.mp3"), kTexts, Id3FieldMask{}));
        QCOMPARE(read(QStringLiteral("song.mp3")), content);
    }

    // A write killed at any point is old or new as a whole after the next start, and a new one
    // can be taken back: in place (the head and the trailer written over, or the trailer appended,
    // cut anywhere) and rewritten (the temporary cut, or the copy back through the file's
    // descriptor cut).
    void killedWrite_data() {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<bool>("trailer"); // the file has one
        QTest::addColumn<bool>("copyBack");
        QTest::addColumn<int>("cut");
        for (const int cut : {0, 7, 61, 3000, 4096 + 13, 5200}) {
            QTest::newRow(qPrintable(QStringLiteral("in place, cut at %1").arg(cut)))
                << "v24-room" << true << false << cut;
            QTest::newRow(qPrintable(QStringLiteral("in place, trailer appended, cut at %1").arg(cut)))
                << "v23-room" << false << false << cut;
        }
        for (const int cut : {5000, 30000})
            QTest::newRow(qPrintable(QStringLiteral("renamed over, cut at %1").arg(cut)))
                << "v23" << true << false << cut;
        // The temporary is some 50 kB: the later cuts fall in the copy back.
        for (const int cut : {5000, 60000, 80000})
            QTest::newRow(qPrintable(QStringLiteral("copied back, cut at %1").arg(cut)))
                << "none" << false << true << cut;
    }
    void killedWrite() {
        QFETCH(QString, shape);
        QFETCH(bool, trailer);
        QFETCH(bool, copyBack);
        QFETCH(int, cut);
        WorkDir dir;
        const QString path = QStringLiteral("song.mp3");
        QByteArray before = makeSong(shape);
        if (!trailer)
            before.chop(kTagSize);
        write(path, before);
        const ID3Tag newTrailer = makeTag("New Song", "New Band");
        const RewriteMode mode = copyBack ? RewriteMode::InPlace : RewriteMode::Auto;
        // What the write gives when nothing stops it.
        write(QStringLiteral("new.mp3"), before);
        QVERIFY(WriteBothTags(QStringLiteral("new.mp3"), newTrailer, kTexts, Id3FieldMask{}, mode));
        const QByteArray expected = read(QStringLiteral("new.mp3"));
        QVERIFY(expected != before);

        const int status = inChild([&] {
            journal::KillAfterBytes(cut);
            WriteBothTags(path, newTrailer, kTexts, Id3FieldMask{}, mode);
        });
        QVERIFY(killedBySigkill(status));
        RecoverJournal();
        QCOMPARE(temporaries(), QStringList());
        const QByteArray after = read(path);
        QVERIFY(after == before || after == expected);
        // Well past what the old and new heads share, or in the copy back: it had begun, and is
        // finished.
        if ((shape.endsWith(u"room") && cut >= 3000) || (copyBack && cut >= 60000))
            QCOMPARE(after, expected);
        if (after == before)
            return;
        QCOMPARE(UndoLastCommand().restored, 1);
        QCOMPARE(read(path), before);
    }
};

QTEST_GUILESS_MAIN(TestId3v2Write)
#include "TestId3v2Write.moc"
