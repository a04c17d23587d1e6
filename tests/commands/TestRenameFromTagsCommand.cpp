#include "commands/Prompts.h"
#include "commands/RenameFromTagsCommand.h"
#include "commands/RenamePreview.h"
#include "core/Id3Tag.h"
#include "support/FakeSelection.h"
#include "support/PeerTags.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <memory>

using namespace testfiles;

namespace {

QByteArray songTag(int track) {
    return tagBytes(makeTag("Song", "Band", "", "", "", track));
}

} // namespace

class TestRenameFromTagsCommand : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WorkDir> dir_;

private slots:
    void init() {
        dir_ = std::make_unique<WorkDir>();
        QVERIFY(dir_->isValid());
    }
    void cleanup() { dir_.reset(); }

    void renames_data() {
        QTest::addColumn<QByteArray>("tag"); // empty: no tag
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("numbersTo");
        QTest::addColumn<QString>("expected"); // the file's name afterwards

        QTest::newRow("format 0, xx.") << songTag(3) << 0 << 0 << QStringLiteral("03. Song.mp3");
        QTest::newRow("format 0, xx -") << songTag(3) << 0 << 1 << QStringLiteral("03 - Song.mp3");
        QTest::newRow("format 1, xx.") << songTag(3) << 1 << 0 << QStringLiteral("03. Band - Song.mp3");
        QTest::newRow("format 1, xx -") << songTag(3) << 1 << 1 << QStringLiteral("03 - Band - Song.mp3");
        QTest::newRow("format 2") << songTag(3) << 2 << 0 << QStringLiteral("Band - Song.mp3");
        QTest::newRow("format 3") << songTag(3) << 3 << 0 << QStringLiteral("Song.mp3");
        QTest::newRow("track 0") << songTag(0) << 1 << 0 << QStringLiteral("Band - Song.mp3");
        QTest::newRow("track 123") << songTag(123) << 0 << 0 << QStringLiteral("123. Song.mp3");

        ID3Tag v10 = makeTag("Song", "Band", "", "", "", 3);
        v10.zero = 'x'; // an ID3v1.0 comment: its last byte stands where the track would
        QTest::newRow("ID3v1.0: no number") << tagBytes(v10) << 0 << 0 << QStringLiteral("Song.mp3");
        QTest::newRow("invalid characters dropped")
            << tagBytes(makeTag("Who/What: Why?", "")) << 3 << 0 << QStringLiteral("WhoWhat Why.mp3");
        QTest::newRow("blanks trimmed, inner kept")
            << tagBytes(makeTag("  Two  Words \t", "")) << 3 << 0 << QStringLiteral("Two  Words.mp3");
        QTest::newRow("format 2, empty artist")
            << tagBytes(makeTag("Title", "")) << 2 << 0 << QStringLiteral(" - Title.mp3");
        QTest::newRow("artist only, format 0")
            << tagBytes(makeTag("", "Band", "", "", "", 7)) << 0 << 0 << QStringLiteral("07. .mp3");
        QTest::newRow("no tag: skipped") << QByteArray() << 0 << 0 << QStringLiteral("old name.mp3");
        QTest::newRow("empty fields: skipped")
            << tagBytes(makeTag(" ", "", "", "", "", 5)) << 0 << 0 << QStringLiteral("old name.mp3");
        QTest::newRow("no format: skipped") << songTag(3) << -1 << 0 << QStringLiteral("old name.mp3");
        QTest::newRow("already so named")
            << tagBytes(makeTag("old name", "")) << 3 << 0 << QStringLiteral("old name.mp3");

        ID3Tag zero = makeTag("", "Band");
        std::memcpy(zero.title, "Song \0more", 10); // text after a zero byte inside the field
        QTest::newRow("zero byte inside: cut there")
            << tagBytes(zero) << 1 << 0 << QStringLiteral("Band - Song.mp3");
        ID3Tag leading = makeTag("", "");
        std::memcpy(leading.title, "\0\0Song", 6);
        QTest::newRow("leading zero bytes trimmed")
            << tagBytes(leading) << 3 << 0 << QStringLiteral("Song.mp3");
    }
    void renames() {
        QFETCH(QByteArray, tag);
        QFETCH(int, format);
        QFETCH(int, numbersTo);
        QFETCH(QString, expected);

        const QByteArray content = audio(500) + tag;
        write(QStringLiteral("old name.mp3"), content);
        FakeSelection files({QStringLiteral("old name.mp3")});
        ScriptedPrompts prompts;
        RenameFromTagsCommand({files, prompts}, FilenameFormat(format), TrackSeparator(numbersTo), true,
                              false);

        QCOMPARE(listing(), QStringList{expected});
        QCOMPARE(read(expected), content); // no tag is written
        QCOMPARE(prompts.unexpected + prompts.showings + int(prompts.questions.size()), 0);
        QCOMPARE(files.rereads, 1);
        QCOMPARE(files.selected, QList<bool>{false});
    }

    // Two files that would get one name: the first in list order gets it, the second keeps its own.
    void sameNameTwice() {
        write(QStringLiteral("b.mp3"), audio(500, 'b') + songTag(1));
        write(QStringLiteral("a.mp3"), audio(500, 'a') + songTag(1));
        FakeSelection files({QStringLiteral("b.mp3"), QStringLiteral("a.mp3")});
        ScriptedPrompts prompts;
        RenameFromTagsCommand({files, prompts}, FilenameFormat::TrackTitle, TrackSeparator::Dot, false,
                              false);
        QCOMPARE(listing(), (QStringList{QStringLiteral("01. Song.mp3"), QStringLiteral("a.mp3")}));
        QCOMPARE(read(QStringLiteral("01. Song.mp3")), audio(500, 'b') + songTag(1));
    }

    // With ID3v2 tags used, a file's ID3v2 tag (written here by mutagen) names it when it has
    // one, whole and in Unicode; else, and always with the setting off, its ID3v1 tag does as
    // above. The preview shows the very name the command gives.
    void namesFromTheTagPlayersShow_data() {
        if (!haveMutagen())
            QSKIP("/usr/bin/python3 has no mutagen (python3-mutagen)");
        QTest::addColumn<QByteArray>("head");    // the leading ID3v2 tag, if any
        QTest::addColumn<QByteArray>("trailer"); // the ID3v1 trailer, if any
        QTest::addColumn<bool>("useId3v2");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("expected");

        const QByteArray v2 = mutagenId3v2({"Song v2", "Band v2", {}, {}, {}, "3/12", {}});
        const QByteArray v1 = tagBytes(makeTag("Song v1", "Band v1", "", "", "", 5));
        const QString fromV2 = QStringLiteral("03. Band v2 - Song v2.mp3");
        const QString fromV1 = QStringLiteral("05. Band v1 - Song v1.mp3");
        QTest::newRow("ID3v2 only, on") << v2 << QByteArray() << true << 1 << fromV2;
        QTest::newRow("ID3v2 only, off: no tag") << v2 << QByteArray() << false << 1 << "old name.mp3";
        QTest::newRow("both, on") << v2 << v1 << true << 1 << fromV2;
        QTest::newRow("both, off") << v2 << v1 << false << 1 << fromV1;
        QTest::newRow("ID3v1 only, on") << QByteArray() << v1 << true << 1 << fromV1;

        // Not cut at 30 characters nor transliterated, over an ID3v1 tag that is both.
        const QString night = QStringLiteral(u"Тихая ночь над рекой, где звёзды горят");
        const QByteArray cut = tagBytes(makeTag("Tihaya noch nad rekoy, gde zvy"));
        QTest::newRow("non-Latin title over 30 characters, 2.4")
            << mutagenId3v2({night, {}, {}, {}, {}, {}, {}}) << cut << true << 3 << night + ".mp3";
        QTest::newRow("the same in 2.3 (UTF-16)") << mutagenId3v2({night, {}, {}, {}, {}, "7", {}}, 3) << cut
                                                  << true << 0 << "07. " + night + ".mp3";
        QTest::newRow("the same, off") << mutagenId3v2({night, {}, {}, {}, {}, {}, {}}) << cut << false << 3
                                       << "Tihaya noch nad rekoy, gde zvy.mp3";
        QTest::newRow("invalid characters dropped, blanks trimmed")
            << mutagenId3v2({QStringLiteral(u" Кто/Что: Почему? "), {}, {}, {}, {}, {}, {}}) << QByteArray()
            << true << 3 << QStringLiteral(u"КтоЧто Почему.mp3");
    }
    void namesFromTheTagPlayersShow() {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, trailer);
        QFETCH(bool, useId3v2);
        QFETCH(int, format);
        QFETCH(QString, expected);
        QVERIFY(head.isEmpty() || head.startsWith("ID3"));

        const QByteArray content = head + audio(500) + trailer;
        write(QStringLiteral("old name.mp3"), content);
        const QString old = QStringLiteral("old name.mp3");
        const QList<PreviewRow> preview = PreviewRenames(
            {old}, RenameRule::fromTags(FilenameFormat(format), TrackSeparator::Dot, useId3v2));
        QCOMPARE(preview.size(), 1);
        QCOMPARE(preview[0].newName, expected);

        FakeSelection files({old});
        ScriptedPrompts prompts;
        RenameFromTagsCommand({files, prompts}, FilenameFormat(format), TrackSeparator::Dot, true, useId3v2);
        QCOMPARE(listing(), QStringList{expected});
        QCOMPARE(read(expected), content); // no tag is written
        QCOMPARE(prompts.unexpected, 0);
    }

    // A name from an ID3v2 tag over 64 characters meets the long-name prompt whole.
    void longId3v2NameGoesThroughThePrompt() {
        if (!haveMutagen())
            QSKIP("/usr/bin/python3 has no mutagen (python3-mutagen)");
        const QString title = QString(70, QChar(0x0416)); // "Ж"
        write(QStringLiteral("a.mp3"), mutagenId3v2({title, {}, {}, {}, {}, {}, {}}) + audio(500));
        FakeSelection files({QStringLiteral("a.mp3")});
        ScriptedPrompts prompts;
        prompts.inputs = {QStringLiteral("short.mp3")};
        RenameFromTagsCommand({files, prompts}, FilenameFormat::Title, TrackSeparator::Dot, true, true);
        QCOMPARE(prompts.seenInputs.size(), 1);
        QCOMPARE(prompts.seenInputs[0].value, title + ".mp3");
        QCOMPARE(listing(), QStringList{"short.mp3"});
    }

    void nothingSelected() {
        write(QStringLiteral("a.mp3"), audio(500) + songTag(1));
        FakeSelection files({QStringLiteral("a.mp3")}, {false});
        ScriptedPrompts prompts;
        RenameFromTagsCommand({files, prompts}, FilenameFormat::TrackTitle, TrackSeparator::Dot, false,
                              false);
        QCOMPARE(listing(), QStringList{QStringLiteral("a.mp3")});
        QCOMPARE(files.rereads, 0);
    }
};

QTEST_MAIN(TestRenameFromTagsCommand)
#include "TestRenameFromTagsCommand.moc"
