#include "app/dialogs/QtPrompts.h"
#include "commands/TrimFilenamesCommand.h"
#include "support/FakeSelection.h"
#include "support/ModalAnswerer.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace testfiles;

class TestTrimFilenamesCommand : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WorkDir> dir_;

private slots:
    void init() {
        dir_ = std::make_unique<WorkDir>();
        QVERIFY(dir_->isValid());
    }
    void cleanup() { dir_.reset(); }

    // Two names trimming to one: the first in list order gets it, the second keeps its own; an
    // unselected file and one already trimmed stay as they are.
    void trimsSelectedFiles() {
        const QStringList names = {QStringLiteral("1 - intro.MP3"), QStringLiteral("01_my_song.mp3"),
                                   QStringLiteral("01 my song.mp3"), QStringLiteral("02. Done.mp3"),
                                   QStringLiteral("03_left.mp3")};
        for (const QString& name : names)
            write(name, name.toUtf8());
        FakeSelection files(names, {true, true, true, true, false});
        QtPrompts prompts;
        ModalAnswerer answerer; // fails the test on any prompt
        TrimFilenamesCommand({files, prompts}, FilenameFormat(0), NameCase(0), TrackSeparator(0), true);

        QCOMPARE(listing(), (QStringList{QStringLiteral("01 my song.mp3"), QStringLiteral("01. Intro.mp3"),
                                         QStringLiteral("01. My Song.mp3"), QStringLiteral("02. Done.mp3"),
                                         QStringLiteral("03_left.mp3")}));
        QCOMPARE(read(QStringLiteral("01. My Song.mp3")), QByteArray("01_my_song.mp3"));
        QCOMPARE(files.rereads, 1);
    }

    void longNameOffered() {
        const QString name = QString(70, QLatin1Char('x')) + QStringLiteral(".mp3");
        write(name, "x");
        FakeSelection files({name});
        QtPrompts prompts;
        QList<SeenPrompt> seen;
        ModalAnswerer answerer({AnswerInput(QStringLiteral("Short.mp3"), &seen)});
        TrimFilenamesCommand({files, prompts}, FilenameFormat(3), NameCase(0), TrackSeparator(0), true);
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().value,
                 QStringLiteral("X") + QString(69, QLatin1Char('x')) + QStringLiteral(".mp3"));
        QCOMPARE(listing(), QStringList{QStringLiteral("Short.mp3")});
    }
};

QTEST_MAIN(TestTrimFilenamesCommand)
#include "TestTrimFilenamesCommand.moc"
