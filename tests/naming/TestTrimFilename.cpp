#include "naming/TrimFilename.h"

#include <QTest>

class TestTrimFilename : public QObject {
    Q_OBJECT

private slots:
    void trim_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("caseValue");
        QTest::addColumn<int>("numbersTo");
        QTest::addColumn<QString>("result");
        // Format 0, Capitalize, "xx. " unless the row says otherwise.
        QTest::newRow("underscores") << "01_my_song.mp3" << 0 << 0 << 0 << "01. My Song.mp3";
        QTest::newRow("one digit") << "1 - intro.MP3" << 0 << 0 << 0 << "01. Intro.mp3";
        QTest::newRow("three digits") << "101 song.mp3" << 0 << 0 << 0 << "10. 1 Song.mp3";
        QTest::newRow("only a number") << "01.mp3" << 0 << 0 << 0 << "01. .mp3";
        QTest::newRow("numbers to dash") << "07.song.mp3" << 0 << 0 << 1 << "07 - Song.mp3";
        QTest::newRow("word breaks") << "song (live) [demo].mp3" << 0 << 0 << 0 << "Song (Live) [Demo].mp3";
        QTest::newRow("more word breaks") << "a!b+c-d.e f.mp3" << 0 << 0 << 0 << "A!B+C-D.E F.mp3";
        QTest::newRow("apostrophe") << "don't stop.mp3" << 0 << 0 << 0 << "Don't Stop.mp3";
        QTest::newRow("a umlaut") << QString::fromUtf8("äiti.mp3") << 0 << 0 << 0
                                  << QString::fromUtf8("Äiti.mp3");
        QTest::newRow("o umlaut, a ring")
            << QString::fromUtf8("öljy åker.mp3") << 0 << 0 << 0 << QString::fromUtf8("Öljy Åker.mp3");
        QTest::newRow("e acute") << QString::fromUtf8("été.mp3") << 0 << 0 << 0
                                 << QString::fromUtf8("été.mp3");
        QTest::newRow("accented capital kept")
            << QString::fromUtf8("ÉTÉ.mp3") << 0 << 0 << 0 << QString::fromUtf8("ÉtÉ.mp3");
        QTest::newRow("blank before extension") << "song .mp3" << 0 << 0 << 0 << "Song .mp3";
        QTest::newRow("outer blanks and controls") << "\t  song.mp3 \n" << 0 << 0 << 0 << "Song.mp3";
        QTest::newRow("no-break space kept")
            << QString::fromUtf8("\u00A0song.mp3") << 3 << 0 << 0 << QString::fromUtf8("\u00A0song.mp3");
        QTest::newRow("format 0 leaves hyphen") << "a-b.mp3" << 0 << 0 << 0 << "A-B.mp3";
        // Format 1.
        QTest::newRow("1 hyphens") << "03-artist-title.mp3" << 1 << 0 << 0 << "03. Artist - Title.mp3";
        QTest::newRow("1 underscores") << "03_artist_-_title.mp3" << 1 << 0 << 1 << "03 - Artist - Title.mp3";
        // Format 2.
        QTest::newRow("2 first hyphen")
            << "semi-final - song.mp3" << 2 << 0 << 0 << "Semi - Final - Song.mp3";
        QTest::newRow("2 underscores kept") << "band_name-song.mp3" << 2 << 0 << 0 << "Band_name - Song.mp3";
        QTest::newRow("2 sentence") << "THE LONG ROAD - HOME AGAIN.mp3" << 2 << 1 << 0
                                    << "The long road - Home again.mp3";
        QTest::newRow("2 hyphen at end") << "abc-.mp3" << 2 << 0 << 0 << "Abc - .mp3";
        QTest::newRow("2 hyphen first") << "-abc.mp3" << 2 << 0 << 0 << "-Abc.mp3";
        QTest::newRow("2 blank on one side") << "a -b-c.mp3" << 2 << 0 << 0 << "A -B-C.mp3";
        QTest::newRow("2 no numbers") << "01_song.mp3" << 2 << 0 << 0 << "01_song.mp3";
        // Format 3 and no format: no numbers, no hyphens.
        QTest::newRow("3 no numbers") << "01 song.mp3" << 3 << 0 << 0 << "01 Song.mp3";
        QTest::newRow("none") << "01_a-b.MP3" << -1 << 0 << 0 << "01_a-B.mp3";
        // Sentence.
        QTest::newRow("sentence no dash") << "HELLO (WORLD).mp3" << 0 << 1 << 0 << "Hello (world).mp3";
        QTest::newRow("sentence dash at end") << "ab - .mp3" << 3 << 1 << 0 << "Ab - .mp3";
        QTest::newRow("sentence with number") << "02 - SONG - ONE.mp3" << 0 << 1 << 0 << "02. Song - One.mp3";
        // s becomes empty.
        QTest::newRow("empty after number, dash") << "07 - .mp3" << 0 << 0 << 1 << "07 - .mp3";
        QTest::newRow("one digit only") << "7.mp3" << 1 << 1 << 0 << "07. .mp3";
        QTest::newRow("extension only") << ".mp3" << 0 << 0 << 0 << ".mp3";
        QTest::newRow("shorter than extension") << "mp3" << 2 << 1 << 0 << ".mp3";
        QTest::newRow("empty") << "" << 0 << 0 << 0 << ".mp3";
        // The extension is the last four characters, an emoji or an escaped byte being one each.
        const QString g = QStringLiteral(u"\U0001F3B8");
        const QString esc = QStringLiteral(u"\xDC80");
        QTest::newRow("emoji extension") << "song" + g + g + g + g << 0 << 0 << 0 << "Song.mp3";
        QTest::newRow("emoji cut off the extension") << "ab" + g + "cd" << 3 << 0 << 0 << "A.mp3";
        QTest::newRow("escaped extension") << "song" + esc + esc + esc + esc << 3 << 0 << 0 << "Song.mp3";
        QTest::newRow("emoji kept whole")
            << "1 " + g + "-" + g + "_x.mp3" << 1 << 0 << 0 << "01. " + g + " - " + g + " X.mp3";
        QTest::newRow("emoji is no word break")
            << g + "song " + esc + "x.mp3" << 2 << 0 << 0 << g + "song " + esc + "x.mp3";
    }
    void trim() {
        QFETCH(QString, name);
        QFETCH(int, format);
        QFETCH(int, caseValue);
        QFETCH(int, numbersTo);
        QFETCH(QString, result);
        QCOMPARE(TrimFilename(name, FilenameFormat(format), NameCase(caseValue != 0),
                              TrackSeparator(numbersTo != 0)),
                 result);
    }
};

QTEST_GUILESS_MAIN(TestTrimFilename)
#include "TestTrimFilename.moc"
