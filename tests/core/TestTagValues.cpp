#include "core/Id3v2Tag.h"
#include "core/TagSummary.h"
#include "core/TagValues.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testfiles;

Q_DECLARE_METATYPE(TagSource)

namespace {

const Id3FieldMask kAllFields;

// The peer fixture's ID3v2.3 tag (written by another tool) and its ID3v1.1 trailer, apart.
QByteArray peerId3v2() {
    const QByteArray file = read(fixture(QStringLiteral("peer-id3v2-and-id3v1.mp3")));
    return file.first(Id3v2TagSize(file));
}
QByteArray peerTrailer() {
    return read(fixture(QStringLiteral("peer-id3v2-and-id3v1.mp3"))).right(kTagSize);
}

QByteArray renderedTag(const Id3v2Texts& texts) {
    return RenderId3v2Tag({}, texts, kAllFields).value().tag;
}

} // namespace

class TestTagValues : public QObject {
    Q_OBJECT

private slots:
    // Which tag a file's values come from, and what they are.
    void valuesComeFromTheTagPlayersShow_data() {
        QTest::addColumn<QByteArray>("head");    // the file's leading ID3v2 tag, if any
        QTest::addColumn<QByteArray>("trailer"); // its ID3v1 trailer, if any
        QTest::addColumn<bool>("useId3v2");
        QTest::addColumn<TagSource>("source");
        QTest::addColumn<bool>("hasTag");
        QTest::addColumn<Id3v2Texts>("texts");

        const Id3v2Texts peer{"First Song", "Some Band", "First Album", "2004", "a comment", "1", "Rock"};
        const Id3v2Texts none;
        QTest::newRow("both tags, ID3v2 on")
            << peerId3v2() << peerTrailer() << true << TagSource::Id3v2 << true << peer;
        QTest::newRow("both tags, ID3v2 off")
            << peerId3v2() << peerTrailer() << false << TagSource::Id3v1 << true << peer;
        QTest::newRow("ID3v2 only, on")
            << peerId3v2() << QByteArray() << true << TagSource::Id3v2 << true << peer;
        QTest::newRow("ID3v2 only, off")
            << peerId3v2() << QByteArray() << false << TagSource::Id3v1 << false << none;
        QTest::newRow("ID3v1 only, on")
            << QByteArray() << peerTrailer() << true << TagSource::Id3v1 << true << peer;
        QTest::newRow("neither") << QByteArray() << QByteArray() << true << TagSource::Id3v1 << false << none;

        // The ID3v2 texts whole: not cut to 30 characters, not transliterated.
        const Id3v2Texts russian{QStringLiteral(u"Тихая ночь над рекой, где звёзды горят до самого утра"),
                                 QStringLiteral(u"Ансамбль «Северное сияние»"),
                                 {},
                                 QStringLiteral("2003-07-01"),
                                 {},
                                 QStringLiteral("12/14"),
                                 QStringLiteral("Folk-Rock")};
        const QByteArray cut =
            tagBytes(makeTag("Tihaya noch nad rekoy, gde zvy", "Ansambl Severnoe siyanie"));
        QTest::newRow("long Unicode ID3v2 over a cut trailer")
            << renderedTag(russian) << cut << true << TagSource::Id3v2 << true << russian;

        // A tag that holds no text (only padding here; a picture alone alike) hides nothing.
        const Id3v2Texts trailerTexts{"Old Title", "Old Band", {}, {}, {}, {}, {}};
        QTest::newRow("ID3v2 without texts") << renderedTag({}) << tagBytes(makeTag("Old Title", "Old Band"))
                                             << true << TagSource::Id3v1 << true << trailerTexts;
        QTest::newRow("ID3v2 cut short by the file's end")
            << peerId3v2().first(0x60) << QByteArray() << true << TagSource::Id3v2 << true
            << Id3v2Texts{"First Song", "Some Band", "First Album", "2004", {}, {}, {}};
    }
    void valuesComeFromTheTagPlayersShow() {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, trailer);
        QFETCH(bool, useId3v2);
        QFETCH(TagSource, source);
        QFETCH(bool, hasTag);
        QFETCH(Id3v2Texts, texts);
        WorkDir dir;
        QVERIFY(dir.isValid());
        // A file cut inside its tag ends there.
        const QByteArray body =
            head.isEmpty() || Id3v2TagSize(head) == head.size() ? audio(3000) : QByteArray();
        write(dir.filePath("song.mp3"), head + body + trailer);

        const std::optional<TagValues> values = ReadTagValues(QStringLiteral("song.mp3"), useId3v2);
        QVERIFY(values);
        QCOMPARE(values->source, source);
        QCOMPARE(values->hasTag(), hasTag);
        QCOMPARE(values->texts, texts);
        // The trailer comes along whichever tag the texts came from.
        QCOMPARE(values->id3v1.present, !trailer.isEmpty());
        if (values->id3v1.present)
            QCOMPARE(tagBytes(values->id3v1.tag), trailer);
    }

    void noValuesForWhatIsNoFile() {
        WorkDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(!ReadTagValues(QStringLiteral("missing.mp3"), true));
        QVERIFY(QDir().mkdir(QStringLiteral("folder.mp3")));
        QVERIFY(!ReadTagValues(QStringLiteral("folder.mp3"), true));
        write(dir.filePath("tiny.mp3"), QByteArray("ID3"));
        QVERIFY(!ReadTagValues(QStringLiteral("tiny.mp3"), true)->hasTag());
    }

    // The read says what the entry itself is, for the rename that follows, only when the name is no
    // symbolic link (through one, the values are still read); it leaves the access time alone.
    void readSeesTheEntry() {
        WorkDir dir;
        const QByteArray trailer = tagBytes(makeTag("Song", "Band"));
        write(dir.filePath("song.mp3"), audio(500) + trailer);
        QVERIFY(::symlink("song.mp3", "link.mp3") == 0);
        const timespec old[2] = {{1000000, 0}, {UTIME_OMIT, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, "song.mp3", old, 0), 0);

        const std::optional<TagValues> song = ReadTagValues(QStringLiteral("song.mp3"), false);
        QVERIFY(song && song->entry);
        struct stat st {};
        QCOMPARE(::lstat("song.mp3", &st), 0);
        QVERIFY(song->entry->identity.sameFile(*IdentityAt(AT_FDCWD, "song.mp3")));
        QCOMPARE(song->entry->st.st_ino, st.st_ino);
        QCOMPARE(song->entry->st.st_size, st.st_size);
        QCOMPARE(st.st_atim.tv_sec, time_t(1000000));

        const std::optional<TagValues> linked = ReadTagValues(QStringLiteral("link.mp3"), false);
        QVERIFY(linked && !linked->entry);
        QCOMPARE(linked->texts.title, QStringLiteral("Song"));
    }

    // The trailer's texts are the status line's and Copy tag's reading of it: trimmed, the track
    // cleared under an ID3v1.0 comment, a genre byte outside the list no name.
    void trailerTexts() {
        ID3Tag tag = makeTag(" Title ", "Artist", "Album", "1999", "note", 7, 17);
        QCOMPARE(Id3v1Texts(tag), (Id3v2Texts{"Title", "Artist", "Album", "1999", "note", "7", "Rock"}));
        tag.zero = 'x';
        tag.genre = 200;
        QCOMPARE(Id3v1Texts(tag).track, QString());
        QCOMPARE(Id3v1Texts(tag).genre, QString());
    }

    void trackNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number");
        QTest::newRow("of a total") << "3/12" << 3;
        QTest::newRow("blank first") << " 07" << 7;
        QTest::newRow("over 255") << "300" << 300;
        QTest::newRow("no digit") << "A1" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("too large") << "99999999999" << 0;
    }
    void trackNumbers() {
        QFETCH(QString, text);
        QFETCH(int, number);
        QCOMPARE(TrackTextNumber(text), number);
    }

    // The status line from ID3v2 texts: the track as written, whole texts; from a trailer as
    // before.
    void summaryOfTexts() {
        const Id3v2Texts texts{QStringLiteral(u"Заглавие длиннее тридцати символов, целиком"),
                               "Band",
                               "",
                               "2004-05-06",
                               "",
                               "3/12",
                               "Rock"};
        const QString gap(10, QLatin1Char(' '));
        QCOMPARE(TagSummary(texts),
                 "#3/12" + gap + "Band" + gap + texts.title + gap + "2004-05-06" + gap + "[Rock]");
        Mp3Info info;
        info.track = 4;
        info.artist = "A";
        info.genreName = "Pop";
        QCOMPARE(TagSummary(info), "#4" + gap + "A" + gap + "[Pop]");
    }
};

QTEST_GUILESS_MAIN(TestTagValues)
#include "TestTagValues.moc"
