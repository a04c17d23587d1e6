#include "app/dialogs/QtPrompts.h"
#include "commands/RemoveAllTagsCommand.h"
#include "support/FakeSelection.h"
#include "support/ModalAnswerer.h"
#include "support/TestFiles.h"

#include <QTest>
#include <memory>
#include <unistd.h>

using namespace testfiles;

class TestRemoveAllTagsCommand : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WorkDir> dir_;

private slots:
    void init() {
        dir_ = std::make_unique<WorkDir>();
        QVERIFY(dir_->isValid());
    }
    void cleanup() { dir_.reset(); }

    // The files are read ahead of their changes. A file listed again under another name, after
    // enough files that its first change is made before its turn comes, is read again then:
    // it has nothing left to remove, and is not taken for a file another program changed.
    void sameFileFurtherDown() {
        const QByteArray tagged = id3v2Tag(300) + audio(2000) + tagBytes(makeTag("Song"));
        QStringList names{QStringLiteral("a song.mp3")};
        write(names.first(), tagged);
        for (int i = 0; i < 40; ++i) {
            names << QStringLiteral("b%1.mp3").arg(i, 2, 10, QLatin1Char('0'));
            write(names.last(), tagged);
        }
        names << QStringLiteral("z same song.mp3");
        QVERIFY(::link("a song.mp3", "z same song.mp3") == 0);
        FakeSelection files(names);
        QtPrompts prompts;
        ModalAnswerer answerer; // fails the test on any message, "left alone" among them
        const BatchReport report = RemoveAllTagsCommand({files, prompts});

        QCOMPARE(report.error.has_value(), false);
        QCOMPARE(report.leftAlone, 0);
        QCOMPARE(report.changed, 41);
        for (const QString& name : names)
            QCOMPARE(read(name), audio(2000));
    }

    // A file that cannot be read stops the batch at its turn, as when it was read only then:
    // the files before it are done, the ones after it untouched.
    void unreadableFileStopsAtItsTurn() {
        const QByteArray tagged = audio(3000) + tagBytes(makeTag("Song"));
        const QStringList names{QStringLiteral("1.mp3"), QStringLiteral("2 gone.mp3"),
                                QStringLiteral("3.mp3")};
        write(names[0], tagged);
        write(names[2], tagged);
        FakeSelection files(names);
        QtPrompts prompts;
        ModalAnswerer answerer;
        const BatchReport report = RemoveAllTagsCommand({files, prompts});

        QVERIFY(report.error.has_value());
        QCOMPARE(report.stoppedAt, std::optional<int>(1));
        QCOMPARE(read(names[0]), audio(3000));
        QCOMPARE(read(names[2]), tagged);
    }
};

QTEST_MAIN(TestRemoveAllTagsCommand)
#include "TestRemoveAllTagsCommand.moc"
