#include "app/dialogs/QtPrompts.h"
#include "commands/AskShortFilename.h"
#include "commands/RenameFilesCommand.h"
#include "core/Batch.h"
#include "core/TextLength.h"
#include "support/FakeSelection.h"
#include "support/ModalAnswerer.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

using namespace testfiles;

Q_DECLARE_METATYPE(SeenPrompt)

namespace {

// A null string in an answer list stands for Cancel.
const QString kCancel;

void queueAnswers(ModalAnswerer& answerer, const QStringList& answers, QList<SeenPrompt>& seen) {
    for (const QString& answer : answers)
        answerer.add(AnswerInput(answer.isNull() ? std::nullopt : std::optional(answer), &seen));
}

QString nameOfLength(int length) {
    return QString(length - 4, QLatin1Char('n')) + QStringLiteral(".mp3");
}

// A name of `length` characters made of emoji (two UTF-16 units each) and ".mp3".
QString emojiNameOfLength(int length) {
    QString out;
    for (int i = 0; i < length - 4; ++i)
        out += QStringLiteral(u"\U0001F3B8");
    return out + QStringLiteral(".mp3");
}

SeenPrompt longNamePrompt(const QString& candidate) {
    return {QStringLiteral("Filename exceeds 64 characters!"),
            QStringLiteral("Enter new filename (current is %1 characters)").arg(CharCount(candidate)),
            candidate};
}

SeenPrompt renamePrompt(const QString& name) {
    return {QStringLiteral("Rename file"), QStringLiteral("Enter new filename"), name};
}

// The file list over a directory: entries are names, each with a selection mark.
// "name=content" for each file in the directory, sorted.
QStringList listing(const QString& dir) {
    QStringList out;
    for (const QString& name : QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name))
        out << name + QLatin1Char('=') + QString::fromUtf8(read(QDir(dir).filePath(name)));
    return out;
}

} // namespace

class TestRenamePrompts : public QObject {
    Q_OBJECT

private slots:
    void askShortFilename_data() {
        QTest::addColumn<bool>("ask64");
        QTest::addColumn<QString>("candidate");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("shown"); // the candidate each prompt showed
        QTest::addColumn<QString>("result");
        const QString n64 = nameOfLength(64), n65 = nameOfLength(65), n66 = nameOfLength(66);
        const QString n300 = nameOfLength(300);
        QTest::newRow("64 passes") << true << n64 << QStringList{} << QStringList{} << n64;
        QTest::newRow("65 asks") << true << n65 << QStringList{"short.mp3"} << QStringList{n65}
                                 << "short.mp3";
        QTest::newRow("cancel asks again")
            << true << n65 << QStringList{kCancel, kCancel, n64} << QStringList{n65, n65, n65} << n64;
        QTest::newRow("still too long") << true << n65 << QStringList{n66, ""} << QStringList{n65, n66} << "";
        QTest::newRow("option off") << false << n300 << QStringList{} << QStringList{} << n300;
        // Characters, not UTF-16 units: 60 emoji and ".mp3" are 64 characters.
        const QString e64 = emojiNameOfLength(64), e65 = emojiNameOfLength(65), e200 = emojiNameOfLength(200);
        QTest::newRow("64 with emoji passes") << true << e64 << QStringList{} << QStringList{} << e64;
        QTest::newRow("65 with emoji asks") << true << e65 << QStringList{e64} << QStringList{e65} << e64;
        // The prompt's field holds 255 characters, so it shows all 200 emoji.
        QTest::newRow("long emoji name shown whole")
            << true << e200 << QStringList{"short.mp3"} << QStringList{e200} << "short.mp3";
    }
    void askShortFilename() {
        QFETCH(bool, ask64);
        QFETCH(QString, candidate);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, shown);
        QFETCH(QString, result);
        QList<SeenPrompt> seen;
        ModalAnswerer answerer;
        queueAnswers(answerer, answers, seen);
        QtPrompts prompts;
        AskShortFilename(candidate, ask64, prompts);
        QCOMPARE(candidate, result);
        QList<SeenPrompt> expected;
        for (const QString& name : shown)
            expected << longNamePrompt(name);
        QCOMPARE(seen, expected);
        QCOMPARE(answerer.remaining(), 0);
    }

    void renameFiles_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QList<bool>>("selected");
        QTest::addColumn<bool>("ask64");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QList<SeenPrompt>>("prompts");
        QTest::addColumn<QStringList>("after"); // "new name=old name" (each file holds its old name)
        const QStringList abc{"a.mp3", "b.mp3", "c.mp3"};
        const QList<SeenPrompt> askAbc{renamePrompt("a.mp3"), renamePrompt("b.mp3"), renamePrompt("c.mp3")};
        QTest::newRow("second cancelled")
            << abc << QList<bool>{true, true, true} << false << QStringList{"x.mp3", kCancel, "z.mp3"}
            << askAbc << QStringList{"b.mp3=b.mp3", "x.mp3=a.mp3", "z.mp3=c.mp3"};
        QTest::newRow("extension rule")
            << abc << QList<bool>{true, true, true} << false << QStringList{"Song", "Song.MP3", ""} << askAbc
            << QStringList{".mp3=c.mp3", "Song.MP3.mp3=b.mp3", "Song.mp3=a.mp3"};
        QTest::newRow("only selected")
            << abc << QList<bool>{true, false, true} << false << QStringList{"x", "z"}
            << QList<SeenPrompt>{renamePrompt("a.mp3"), renamePrompt("c.mp3")}
            << QStringList{"b.mp3=b.mp3", "x.mp3=a.mp3", "z.mp3=c.mp3"};
        QTest::newRow("onto another file") << abc << QList<bool>{false, true, false} << false
                                           << QStringList{"c.mp3"} << QList<SeenPrompt>{renamePrompt("b.mp3")}
                                           << QStringList{"a.mp3=a.mp3", "b.mp3=b.mp3", "c.mp3=c.mp3"};
        QTest::newRow("name kept") << abc << QList<bool>{true, false, false} << false << QStringList{"a.mp3"}
                                   << QList<SeenPrompt>{renamePrompt("a.mp3")}
                                   << QStringList{"a.mp3=a.mp3", "b.mp3=b.mp3", "c.mp3=c.mp3"};
        QTest::newRow("nothing selected")
            << abc << QList<bool>{false, false, false} << true << QStringList{} << QList<SeenPrompt>{}
            << QStringList{"a.mp3=a.mp3", "b.mp3=b.mp3", "c.mp3=c.mp3"};
        const QString n65 = nameOfLength(65);
        QTest::newRow("long name asked again")
            << abc << QList<bool>{true, false, false} << true << QStringList{n65, "short"}
            << QList<SeenPrompt>{renamePrompt("a.mp3"), longNamePrompt(n65)}
            << QStringList{"b.mp3=b.mp3", "c.mp3=c.mp3", "short=a.mp3"};
    }
    void renameFiles() {
        QFETCH(QStringList, files);
        QFETCH(QList<bool>, selected);
        QFETCH(bool, ask64);
        QFETCH(QStringList, answers);
        QFETCH(QList<SeenPrompt>, prompts);
        QFETCH(QStringList, after);
        QTemporaryDir dir;
        const QString savedCwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        for (const QString& name : files)
            write(name, name.toUtf8());

        QList<SeenPrompt> seen;
        ModalAnswerer answerer;
        queueAnswers(answerer, answers, seen);
        FakeSelection list(files, selected);
        QtPrompts real;
        RenameFilesCommand({list, real}, ask64);
        QVERIFY(QDir::setCurrent(savedCwd));

        QCOMPARE(seen, prompts);
        QCOMPARE(answerer.remaining(), 0);
        QCOMPARE(listing(dir.path()), after);
        QCOMPARE(list.rereads, selected.contains(true) ? 1 : 0);
    }

    void renameDirectory_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("treeRoot");
        QTest::addColumn<bool>("moves"); // whether the view is to move to the parent
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("holder"); // the directory that holds the album's song
        const QStringList untouched{"Album", "Other"};
        QTest::newRow("cancel") << kCancel << false << false << untouched << "Album";
        QTest::newRow("same name") << "Album" << false << false << untouched << "Album";
        QTest::newRow("new name") << "Live" << false << true << QStringList{"Live", "Other"} << "Live";
        QTest::newRow("letter case") << "album" << false << true << QStringList{"Other", "album"} << "album";
        QTest::newRow("onto a sibling") << "Other" << false << true << untouched << "Album";
        QTest::newRow("emptied") << "" << false << true << untouched << "Album";
        QTest::newRow("tree root") << kCancel << true << false << untouched << "Album";
    }
    // The prompt shows a name of 64 characters whole, at the usual font and a larger one,
    // and its title is the caption alone.
    void promptShowsALongNameWhole_data() {
        QTest::addColumn<int>("points"); // added to the usual font's size
        QTest::addColumn<QString>("name");
        const QStringList names{
            QStringLiteral("07 - The Long Band Name - A Fairly Long Song Title (Live 04).mp3"),
            QStringLiteral("Song Title With Every Word Capitalized And Quite Long Indeed.mp3"),
            QStringLiteral("01. SOME SHOUTING BAND - WHAT A LOUD TITLE FOR ONE SONG THIS.mp3")};
        for (int points : {0, 2}) {
            for (const QString& name : names)
                QTest::addRow("+%d pt, %s", points, qPrintable(name.left(12))) << points << name;
        }
    }
    void promptShowsALongNameWhole() {
        QFETCH(int, points);
        QFETCH(QString, name);
        QCOMPARE(CharCount(name), 64);
        const QFont usual = QApplication::font();
        const auto restore = qScopeGuard([&] { QApplication::setFont(usual); });
        QFont font = usual;
        font.setPointSizeF(usual.pointSizeF() + points);
        QApplication::setFont(font);
        bool whole = false;
        QString title;
        ModalAnswerer answerer({[&](QWidget* modal) {
            auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("Value"));
            QVERIFY(edit);
            title = modal->windowHandle()->title();
            // Scrolled to its end, a cut name would have its start off the field's left edge:
            // the end of a whole name lies its full advance in from the left.
            edit->end(false);
            whole = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x() >=
                    edit->fontMetrics().horizontalAdvance(name);
            modal->close();
        }});
        QString value = name;
        InputQuery(QStringLiteral("Search & replace text in filenames"), QStringLiteral("Search for"), value);
        QCOMPARE(answerer.remaining(), 0);
        QVERIFY(whole);
        QCOMPARE(title, QStringLiteral("Search & replace text in filenames"));
    }

    void renameDirectory() {
        QFETCH(QString, answer);
        QFETCH(bool, treeRoot);
        QFETCH(bool, moves);
        QFETCH(QStringList, after);
        QFETCH(QString, holder);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Album")));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Other")));
        write(dir.filePath(QStringLiteral("Album/song.mp3")), "song");

        QList<SeenPrompt> seen;
        ModalAnswerer answerer;
        if (!treeRoot)
            queueAnswers(answerer, {answer}, seen);
        QtPrompts prompts;
        const auto parent = RenameDirectory(dir.filePath(QStringLiteral("Album")), prompts, treeRoot);
        QCOMPARE(parent, moves ? std::optional(dir.path()) : std::nullopt);
        if (treeRoot)
            QCOMPARE(RenameDirectory(QStringLiteral("/"), prompts), std::nullopt);

        const QList<SeenPrompt> asked{{QStringLiteral("Rename directory"),
                                       QStringLiteral("Enter new directoryname"), QStringLiteral("Album")}};
        QCOMPARE(seen, treeRoot ? QList<SeenPrompt>{} : asked);
        QCOMPARE(answerer.remaining(), 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name), after);
        QCOMPARE(read(QDir(dir.path()).filePath(holder + QStringLiteral("/song.mp3"))), QByteArray("song"));
    }
};

QTEST_MAIN(TestRenamePrompts)
#include "TestRenamePrompts.moc"
