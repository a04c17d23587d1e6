#include "core/Id3v2Header.h"
#include "core/Id3v2Tag.h"
#include "support/Mutagen.h"
#include "support/TestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace testfiles;

using namespace mutagen;

class TestId3v2Tag : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!Available())
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
