#include "app/dialogs/QtPrompts.h"
#include "commands/SearchReplaceCommand.h"
#include "support/FakeSelection.h"
#include "support/ModalAnswerer.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace testfiles;

Q_DECLARE_METATYPE(SeenPrompt)

namespace {

const QString kCaption = QStringLiteral("Search & replace text in filenames");

} // namespace

class TestSearchReplaceCommand : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WorkDir> dir_;

private slots:
    void init() {
        dir_ = std::make_unique<WorkDir>();
        QVERIFY(dir_->isValid());
    }
    void cleanup() { dir_.reset(); }

    void replaces_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("expected");
        QTest::newRow("every underscore") << QStringLiteral("01_my_song.mp3") << QStringLiteral("_")
                                          << QStringLiteral(" ") << QStringLiteral("01 my song.mp3");
        QTest::newRow("case-sensitive") << QStringLiteral("song.mp3") << QStringLiteral("S")
                                        << QStringLiteral("x") << QStringLiteral("song.mp3");
        QTest::newRow("extension removed")
            << QStringLiteral("song.mp3") << QStringLiteral("mp3") << QString() << QStringLiteral("song.");
        QTest::newRow("spaces collapse") << QStringLiteral("a   b.mp3") << QStringLiteral("  ")
                                         << QStringLiteral(" ") << QStringLiteral("a b.mp3");
        QTest::newRow("replacement holds the search text")
            << QStringLiteral("a song.mp3") << QStringLiteral("song") << QStringLiteral("songs")
            << QStringLiteral("a song.mp3");
        QTest::newRow("empty search")
            << QStringLiteral("song.mp3") << QString() << QStringLiteral("x") << QStringLiteral("song.mp3");
    }
    void replaces() {
        QFETCH(QString, name);
        QFETCH(QString, search);
        QFETCH(QString, replacement);
        QFETCH(QString, expected);

        write(name, "content");
        write(QStringLiteral("unselected_one.mp3"), "other");
        FakeSelection files({name, QStringLiteral("unselected_one.mp3")}, {true, false});
        QList<SeenPrompt> seen;
        ModalAnswerer answerer({AnswerInput(search, &seen), AnswerInput(replacement, &seen)});
        QtPrompts prompts;
        SearchReplaceCommand({files, prompts}, false);

        QCOMPARE(seen,
                 (QList<SeenPrompt>{{kCaption, QStringLiteral("Search for [case-sensitive]"), QString()},
                                    {kCaption, QStringLiteral("Replace with"), QString()}}));
        QStringList want = {expected, QStringLiteral("unselected_one.mp3")};
        want.sort();
        QCOMPARE(listing(), want);
        QCOMPARE(read(expected), QByteArray("content"));
        QCOMPARE(files.rereads, 1);
    }

    void cancelled_data() {
        QTest::addColumn<bool>("atFirst");
        QTest::newRow("search prompt") << true;
        QTest::newRow("replacement prompt") << false;
    }
    void cancelled() {
        QFETCH(bool, atFirst);
        write(QStringLiteral("a_b.mp3"), "x");
        FakeSelection files({QStringLiteral("a_b.mp3")});
        ModalAnswerer answerer;
        if (!atFirst)
            answerer.add(AnswerInput(QStringLiteral("_")));
        answerer.add(AnswerInput(std::nullopt));
        QtPrompts prompts;
        SearchReplaceCommand({files, prompts}, false);
        QCOMPARE(answerer.remaining(), 0);
        QCOMPARE(listing(), QStringList{QStringLiteral("a_b.mp3")});
        QCOMPARE(files.rereads, 1);
    }

    void nothingSelected() {
        write(QStringLiteral("a_b.mp3"), "x");
        FakeSelection files({QStringLiteral("a_b.mp3")}, {false});
        ModalAnswerer answerer; // fails the test on any prompt
        QtPrompts prompts;
        SearchReplaceCommand({files, prompts}, false);
        QCOMPARE(files.rereads, 0);
    }

    void longNameOffered() {
        write(QStringLiteral("a.mp3"), "x");
        FakeSelection files({QStringLiteral("a.mp3")});
        QList<SeenPrompt> seen;
        const QString longName = QString(70, QLatin1Char('b')) + QStringLiteral(".mp3");
        ModalAnswerer answerer({AnswerInput(QStringLiteral("a")), AnswerInput(QString(70, QLatin1Char('b'))),
                                AnswerInput(QStringLiteral("short.mp3"), &seen)});
        QtPrompts prompts;
        SearchReplaceCommand({files, prompts}, true);
        QCOMPARE(seen, (QList<SeenPrompt>{{QStringLiteral("Filename exceeds 64 characters!"),
                                           QStringLiteral("Enter new filename (current is 74 characters)"),
                                           longName}}));
        QCOMPARE(listing(), QStringList{QStringLiteral("short.mp3")});
    }
};

QTEST_MAIN(TestSearchReplaceCommand)
#include "TestSearchReplaceCommand.moc"
