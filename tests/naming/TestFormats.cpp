#include "core/Mp3Info.h"
#include "naming/Formats.h"

#include <QTest>

namespace {

// One character of two UTF-16 units, and a file-name byte carried as a lone surrogate: each
// counts as one character.
const QString g = QStringLiteral(u"\U0001F3B8");
const QString esc = QStringLiteral(u"\xDC80");

} // namespace

class TestFormats : public QObject {
    Q_OBJECT

private slots:
    void trackNumber_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("track");
        QTest::newRow("two digits") << "07. Song.mp3" << 7;
        QTest::newRow("leading blank") << " 7. Song.mp3" << 7;
        QTest::newRow("digit then dot") << "7. Song.mp3" << 0;
        QTest::newRow("digit then blank") << "7 Song.mp3" << 0;
        QTest::newRow("only two characters read") << "101. Song.mp3" << 10;
        QTest::newRow("plus sign") << "+5 x.mp3" << 5;
        QTest::newRow("minus sign") << "-5 x.mp3" << -5;
        QTest::newRow("bare sign") << "- x.mp3" << 0;
        QTest::newRow("blanks") << "  x.mp3" << 0;
        QTest::newRow("letters") << "ab.mp3" << 0;
        QTest::newRow("non-ASCII digit") << QString::fromUtf8("٠7.mp3") << 0;
        QTest::newRow("one character") << "5" << 5;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("emoji first") << g + "1. Song.mp3" << 0;
        QTest::newRow("digit then emoji") << "7" + g + ". Song.mp3" << 0;
    }
    void trackNumber() {
        QFETCH(QString, name);
        QFETCH(int, track);
        QCOMPARE(TrackNumber(name), track);
    }

    void splitFilename_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("track");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("error");
        const QString field = QStringLiteral("Field");
        // Format 0 (the artist comes from the Artist field).
        QTest::newRow("0 dot") << "01. Song.mp3" << 0 << 1 << field << "Song" << false;
        QTest::newRow("0 dash") << "01 - Song.mp3" << 0 << 1 << field << "Song" << false;
        QTest::newRow("0 no blank after dot") << "01.Song.mp3" << 0 << 1 << field << "" << true;
        QTest::newRow("0 one digit") << "1. Song.mp3" << 0 << 0 << field << "" << true;
        QTest::newRow("0 empty title") << "01. .mp3" << 0 << 1 << field << "" << true;
        QTest::newRow("0 three digits") << "101. Song.mp3" << 0 << 10 << field << "" << true;
        QTest::newRow("0 short name") << "01" << 0 << 1 << field << "" << true;
        QTest::newRow("0 keeps dashes") << "02 - A - B.mp3" << 0 << 2 << field << "A - B" << false;
        // Format 1.
        QTest::newRow("1 dot") << "01. Artist - Song.mp3" << 1 << 1 << "Artist"
                               << "Song" << false;
        QTest::newRow("1 dash") << "01 - Artist - Song.mp3" << 1 << 1 << "Artist"
                                << "Song" << false;
        QTest::newRow("1 no artist") << "01. Song.mp3" << 1 << 1 << ""
                                     << "" << true;
        QTest::newRow("1 no separator") << "01Artist - Song.mp3" << 1 << 1 << ""
                                        << "" << true;
        QTest::newRow("1 first dash divides") << "01 - A - B - C.mp3" << 1 << 1 << "A"
                                              << "B - C" << false;
        QTest::newRow("1 empty title") << "01. A - .mp3" << 1 << 1 << "A"
                                       << "" << false;
        // Format 2.
        QTest::newRow("2 plain") << "Artist - Song.MP3" << 2 << 0 << "Artist"
                                 << "Song" << false;
        QTest::newRow("2 numbered") << "01 - Artist - Song.mp3" << 2 << 0 << "01"
                                    << "Artist - Song" << false;
        QTest::newRow("2 not trimmed") << "A  - B.mp3" << 2 << 0 << "A "
                                       << "B" << false;
        QTest::newRow("2 leading dash") << " - B.mp3" << 2 << 0 << ""
                                        << "B" << false;
        QTest::newRow("2 no dash") << "Song.mp3" << 2 << 0 << ""
                                   << "" << true;
        QTest::newRow("2 dash in extension") << "A - .mp3" << 2 << 0 << "A"
                                             << "" << false;
        // Format 3 and none.
        QTest::newRow("3") << "01. Song.mp3" << 3 << 0 << field << "01. Song" << false;
        QTest::newRow("3 short") << ".mp3" << 3 << 0 << field << "" << false;
        QTest::newRow("none") << "01. Artist - Song.mp3" << -1 << 0 << ""
                              << "" << false;
        // Positions count characters: an emoji is one, and the extension is four of them.
        QTest::newRow("0 two emoji before the dot")
            << g + g + ". Song.mp3" << 0 << 0 << field << "Song" << false;
        QTest::newRow("0 one emoji before the dot") << g + ". Song.mp3" << 0 << 0 << field << "" << true;
        QTest::newRow("0 emoji title") << "01. " + g + g + ".mp3" << 0 << 1 << field << g + g << false;
        QTest::newRow("0 emoji extension")
            << "01. Song" + QString(g).repeated(4) << 0 << 1 << field << "Song" << false;
        QTest::newRow("0 escaped bytes")
            << "01 - " + esc + "x" + esc + ".mp3" << 0 << 1 << field << esc + "x" + esc << false;
        QTest::newRow("1 emoji") << "01. " + g + " - " + g + g + ".mp3" << 1 << 1 << g << g + g << false;
        QTest::newRow("1 emoji extension") << "01 - A - B" + QString(g).repeated(4) << 1 << 1 << "A"
                                           << "B" << false;
        QTest::newRow("2 emoji") << g + g + " - " + g + ".mp3" << 2 << 0 << g + g << g << false;
        QTest::newRow("2 escaped extension") << "A - B" + QString(esc).repeated(4) << 2 << 0 << "A"
                                             << "B" << false;
        QTest::newRow("3 emoji extension")
            << "Song" + QString(g).repeated(4) << 3 << 0 << field << "Song" << false;
    }
    void splitFilename() {
        QFETCH(QString, name);
        QFETCH(int, format);
        QFETCH(int, track);
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFETCH(bool, error);
        const SplitName split = SplitFilename(name, FilenameFormat(format), QStringLiteral("Field"));
        QCOMPARE(split.track, track);
        QCOMPARE(split.artist, artist);
        QCOMPARE(split.title, title);
        QCOMPARE(split.formatError, error);
    }

    void buildFilename_data() {
        QTest::addColumn<int>("track");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("numbersTo");
        QTest::addColumn<QString>("name");
        QTest::newRow("0 dot") << 7 << 0 << 0 << "07. Title.mp3";
        QTest::newRow("0 dash") << 7 << 0 << 1 << "07 - Title.mp3";
        QTest::newRow("0 no track") << 0 << 0 << 0 << "Title.mp3";
        QTest::newRow("1") << 12 << 1 << 0 << "12. Artist - Title.mp3";
        QTest::newRow("1 no track") << 0 << 1 << 0 << "Artist - Title.mp3";
        QTest::newRow("1 three digits") << 123 << 1 << 1 << "123 - Artist - Title.mp3";
        QTest::newRow("2 ignores track") << 5 << 2 << 0 << "Artist - Title.mp3";
        QTest::newRow("3") << 5 << 3 << 0 << "Title.mp3";
        QTest::newRow("none builds nothing") << 5 << -1 << 0 << "";
    }
    void buildFilename() {
        QFETCH(int, track);
        QFETCH(int, format);
        QFETCH(int, numbersTo);
        QFETCH(QString, name);
        QCOMPARE(BuildFilename(track, QStringLiteral("Artist"), QStringLiteral("Title"),
                               FilenameFormat(format), TrackSeparator(numbersTo)),
                 name);
    }
    // A name built from texts with emoji and escaped bytes splits back into the same texts.
    void buildThenSplit() {
        const QString artist = g + QStringLiteral("Band") + esc;
        const QString title = QStringLiteral("Song") + g;
        const QString field = QStringLiteral("Field");
        for (int format = 0; format <= 3; ++format) {
            const QString name =
                BuildFilename(7, artist, title, FilenameFormat(format), TrackSeparator(format % 2));
            const SplitName split = SplitFilename(name, FilenameFormat(format), field);
            QCOMPARE(split.title, title);
            QCOMPARE(split.artist, format == 1 || format == 2 ? artist : field);
            QCOMPARE(split.track, format <= 1 ? 7 : 0);
            QVERIFY(!split.formatError);
        }
    }
    void buildFilenameKeepsSeparators() {
        QCOMPARE(BuildFilename(0, QString(), QStringLiteral("Title"), FilenameFormat::ArtistTitle,
                               TrackSeparator::Dot),
                 QStringLiteral(" - Title.mp3"));
    }

    void artistAlbum_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("artist"); // "<keep>" = left as it is
        QTest::addColumn<QString>("album");
        const QString keep = QStringLiteral("<keep>");
        const QString longName = QStringLiteral("An Extremely Long Directory Name Indeed");
        QTest::newRow("0") << "/mp3/Band - Album" << 0 << keep << keep;
        QTest::newRow("none acts like 0") << "/mp3/Band - Album" << -1 << keep << keep;
        QTest::newRow("1") << "/mp3/Some Band - First Album" << 1 << "Some Band"
                           << "First Album";
        QTest::newRow("1 first dash") << "/mp3/A - B - C" << 1 << "A"
                                      << "B - C";
        QTest::newRow("1 no dash") << "/mp3/Singles" << 1 << keep << "Singles";
        QTest::newRow("1 root") << "/" << 1 << keep << "";
        QTest::newRow("2") << "/Music/Band/Album" << 2 << "Band"
                           << "Album";
        QTest::newRow("2 below root") << "/Music" << 2 << ""
                                      << "Music";
        QTest::newRow("2 root") << "/" << 2 << ""
                                << "";
        QTest::newRow("3") << "/Band/Album/CD1" << 3 << "Band"
                           << "Album";
        QTest::newRow("3 short") << "/Album/CD1" << 3 << ""
                                 << "Album";
        QTest::newRow("4") << "/mp3/Band" << 4 << "Band" << keep;
        QTest::newRow("5") << "/mp3/Album" << 5 << keep << "Album";
        QTest::newRow("cut to 30") << "/mp3/" + longName << 4 << longName.left(30) << keep;
        QTest::newRow("1 cut to 30") << "/" + longName + " - " + longName << 1 << longName.left(30)
                                     << longName.left(30);
        QTest::newRow("blanks kept") << "/mp3/ Band  - Album " << 1 << " Band "
                                     << "Album ";
        // The cut counts characters and never keeps half of one.
        const QString a25g5 = QString(25, QLatin1Char('a')) + QString(g).repeated(5);
        QTest::newRow("30 characters with emoji") << "/mp3/" + a25g5 << 5 << keep << a25g5;
        QTest::newRow("emoji at the cut") << "/mp3/" + QString(29, QLatin1Char('a')) + g + g << 4
                                          << QString(29, QLatin1Char('a')) + g << keep;
        QTest::newRow("1 emoji") << "/mp3/" + g + " - " + QString(g).repeated(31) << 1 << g
                                 << QString(g).repeated(30);
        QTest::newRow("escaped byte at the cut") << "/mp3/" + QString(29, QLatin1Char('a')) + esc + "b" << 5
                                                 << keep << QString(29, QLatin1Char('a')) + esc;
    }
    void artistAlbum() {
        QFETCH(QString, path);
        QFETCH(int, format);
        QFETCH(QString, artist);
        QFETCH(QString, album);
        const ArtistAlbum values = ArtistAlbumFromPath(path, DirnameFormat(format), true, true);
        QCOMPARE(values.artist.value_or(QStringLiteral("<keep>")), artist);
        QCOMPARE(values.album.value_or(QStringLiteral("<keep>")), album);
    }
    void artistAlbumDisabledFields() {
        const QString path = QStringLiteral("/mp3/Band - Album");
        ArtistAlbum values = ArtistAlbumFromPath(path, DirnameFormat::ArtistDashAlbum, false, true);
        QVERIFY(!values.artist);
        QCOMPARE(values.album.value_or(QString()), QStringLiteral("Album"));
        values = ArtistAlbumFromPath(path, DirnameFormat::ArtistDashAlbum, true, false);
        QCOMPARE(values.artist.value_or(QString()), QStringLiteral("Band"));
        QVERIFY(!values.album);
    }

    void formatDuration_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << qint64(0) << "0:00";
        QTest::newRow("59") << qint64(59) << "0:59";
        QTest::newRow("60") << qint64(60) << "1:00";
        QTest::newRow("185") << qint64(185) << "3:05";
        QTest::newRow("312") << qint64(312) << "5:12";
        QTest::newRow("3661") << qint64(3661) << "61:01";
        QTest::newRow("3725") << qint64(3725) << "62:05";
        QTest::newRow("beyond 32 bits") << qint64(6000000000) << "100000000:00";
    }
    void formatDuration() {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(FormatDuration(seconds), text);
    }
};

QTEST_GUILESS_MAIN(TestFormats)
#include "TestFormats.moc"
