#include "commands/Prompts.h"
#include "commands/RenameFromTagsCommand.h"
#include "core/Id3Tag.h"
#include "support/FakeSelection.h"
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
