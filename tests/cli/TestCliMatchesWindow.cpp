// morwick-cli and the window run the same commands: the same folder copied twice, one copy
// through the window, the other through the real morwick-cli with the matching options, ends
// byte for byte and name for name the same. And one Undo serves both.
#include "app/FileList.h"
#include "app/MainWindow.h"
#include "app/dialogs/TagDialog.h"
#include "cli/CliProcess.h"
#include "cli/CliPrompts.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace testfiles;

namespace {

// How the window is set up and which of its commands runs.
struct WindowSide {
    QByteArray ini;                // the window's morwick.ini
    QString command;               // tag, rename-from-tags, trim, replace, remove-tags
    QMap<QString, QString> fields; // a field's objectName and its text
    QStringList marksOff;          // "Set ID3 fields" marks taken off
    QString search;                // replace
    QString replacement;           // replace
};

// The answers a person would give in the window to the questions morwick-cli answers by its
// options: Yes to "Continue batch?", a long name cut as --cut cuts it, a long title saved as
// offered.
class WindowAnswers : public ScriptedPrompts {
public:
    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override {
        if (caption == QLatin1String("Filename exceeds 64 characters!")) {
            ++longNames;
            value = CutFilename(value);
            return true;
        }
        return ScriptedPrompts::inputQuery(caption, prompt, value);
    }
    bool errorQuestion(const QString&) override { return true; }
    int longNames = 0;
};

// The folder both copies start from: names under each filename format, one that fits none, tags
// of both kinds and none, a name with an upper-case extension; `longName` adds one over 64
// characters. Its path gives every dirname format something to take.
QString makeFolder(const QString& root, bool longName) {
    const QString dir = root + QStringLiteral("/Grand Artist/Parent Album/Band X - Record Y");
    QDir().mkpath(dir);
    const QByteArray audio = read(fixture(QStringLiteral("cbr128-jstereo-44k.mp3")));
    write(dir + QStringLiteral("/01. First Song.mp3"),
          audio + tagBytes(makeTag("Tagged Title", "Tag Artist", "Tag Album", "2001", "", 7, 17)));
    write(dir + QStringLiteral("/02 - second_song.mp3"), audio);
    copyFixture(QStringLiteral("peer-id3v2-and-id3v1.mp3"), dir,
                QStringLiteral("Artist One - third song.mp3"));
    copyFixture(QStringLiteral("peer-id3v1.mp3"), dir, QStringLiteral("04. Artist Two - Fourth  Song.mp3"));
    write(dir + QStringLiteral("/odd_name.MP3"), audio + tagBytes(makeTag("Odd", "Someone")));
    if (longName)
        write(dir + QStringLiteral("/05 - a very long file name that goes on and on well past the limit.mp3"),
              audio);
    return dir;
}

// Every name in `dir` with its bytes.
QMap<QString, QByteArray> contents(const QString& dir) {
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(dir).entryList(QDir::Files | QDir::Hidden))
        files.insert(name, read(dir + QLatin1Char('/') + name));
    return files;
}

} // namespace

Q_DECLARE_METATYPE(WindowSide)

class TestCliMatchesWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> tmp_;
    QString oldCwd_;
    int longTitles_ = 0; // how many long titles and artists the window asked about

    QString path(const QString& name) const { return tmp_->filePath(name); }
    QString stateHome() const { return path(QStringLiteral("state")); }

    // Runs the window's command on `dir` as `side` sets it up; returns how many long names it was asked.
    int runWindow(const WindowSide& side, const QString& dir) {
        QDir().mkpath(path(QStringLiteral("window-config")));
        write(path(QStringLiteral("window-config/morwick.ini")), side.ini);
        qputenv("XDG_CONFIG_HOME", path(QStringLiteral("window-config")).toUtf8());
        MainWindow window;
        TagDialog dialog(&window);
        window.setDialogs(&dialog, nullptr);
        WindowAnswers answers;
        answers.inputs = {side.search, side.replacement};
        // The long-title question in the real tag dialog: Save, with the text as it is offered.
        for (int i = 0; i < 20; ++i)
            answers.steps.append([](QDialog& d) { Named<QPushButton>(&d, "saveButton")->click(); });
        window.setPrompts(&answers);
        window.openDirectory(dir);
        for (const QString& mark : side.marksOff) {
            auto* action = window.findChild<QAction*>(mark);
            if (!action)
                qFatal("no mark %s", qPrintable(mark));
            action->trigger();
        }
        for (auto field = side.fields.begin(); field != side.fields.end(); ++field) {
            if (auto* edit = window.findChild<QLineEdit*>(field.key()))
                edit->setText(field.value());
            else if (auto* combo = window.findChild<QComboBox*>(field.key()))
                combo->setCurrentText(field.value());
            else
                qFatal("no field %s", qPrintable(field.key()));
        }
        window.fileList()->setAllSelected(true);
        const QString& c = side.command;
        if (c == QLatin1String("tag"))
            window.tagFiles();
        else if (c == QLatin1String("rename-from-tags"))
            window.renameFromTags();
        else if (c == QLatin1String("trim"))
            window.trimFilenames();
        else if (c == QLatin1String("replace"))
            window.searchAndReplace();
        else if (c == QLatin1String("remove-tags"))
            window.removeAllTags();
        else
            qFatal("no command %s", qPrintable(c));
        longTitles_ = answers.showings;
        return answers.longNames + answers.unexpected * 1000;
    }

private slots:
    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        oldCwd_ = QDir::currentPath();
        qputenv("XDG_STATE_HOME", stateHome().toUtf8());
        QDir().mkpath(path(QStringLiteral("cli-config")));
        QDir::setCurrent(tmp_->path());
    }
    void cleanup() {
        QDir::setCurrent(oldCwd_);
        tmp_.reset();
    }

    void sameFilesAsTheWindow_data() {
        QTest::addColumn<WindowSide>("window");
        QTest::addColumn<QStringList>("cli");
        // morwick-cli reads the window's morwick.ini instead of being given the options.
        QTest::addColumn<bool>("sameIni");
        QTest::addColumn<bool>("longName");
        const QMap<QString, QString> fields{
            {"yearEdit", "1999"}, {"commentEdit", "  ripped  "}, {"genreCombo", "Jazz"}};
        const QStringList fieldOptions{"--year", "1999", "--comment", "  ripped  ", "--genre", "jazz"};
        for (int format = 0; format < 4; ++format) {
            const QByteArray ini =
                "[morwick]\nfilenameformat=" + QByteArray::number(format) + "\ndirnameformat=1\n";
            QTest::addRow("tag, filename format %d", format)
                << WindowSide{ini, "tag", fields, {}, {}, {}}
                << (QStringList{"tag", "--yes", "--format", QString::number(format), "-d", "artist - album"} +
                    fieldOptions)
                << false << false;
        }
        for (int dirname = 0; dirname < 6; ++dirname) {
            const QByteArray ini =
                "[morwick]\nfilenameformat=0\ndirnameformat=" + QByteArray::number(dirname) + "\n";
            QTest::addRow("tag, dirname format %d", dirname)
                << WindowSide{ini, "tag", fields, {}, {}, {}}
                << (QStringList{"tag", "-y", "--format=0", "--dirname-format", QString::number(dirname)} +
                    fieldOptions)
                << false << false;
        }
        QTest::newRow("tag, from morwick.ini")
            << WindowSide{"[morwick]\nfilenameformat=2\ndirnameformat=3\n", "tag", fields, {}, {}, {}}
            << (QStringList{"tag", "--yes"} + fieldOptions) << true << false;
        QTest::newRow("tag, some fields") << WindowSide{"[morwick]\ndirnameformat=2\n",        "tag", fields,
                                                        {"actionMarkAlbum", "actionMarkYear"}, {},    {}}
                                          << (QStringList{"tag", "-y", "-f", "0", "-d", "2", "--fields",
                                                          "title,artist,comment,track,genre"} +
                                              fieldOptions)
                                          << false << false;
        QTest::newRow("tag, typed artist and album over the folder's")
            << WindowSide{"[morwick]\nfilenameformat=3\ndirnameformat=1\n",
                          "tag",
                          {{"artistEdit", "Typed Artist"},
                           {"albumEdit", "An album name longer than thirty chars"}},
                          {},
                          {},
                          {}}
            << QStringList{"tag",      "-y",
                           "-f",       "song.mp3",
                           "-d",       "1",
                           "--artist", "Typed Artist",
                           "--album",  "An album name longer than thirty chars"}
            << false << false;
        QTest::newRow("tag, ID3v2 too")
            << WindowSide{"[morwick]\nfilenameformat=1\ndirnameformat=1\nid3v2=1\n",
                          "tag",
                          fields,
                          {},
                          {},
                          {}}
            << (QStringList{"tag", "--yes", "--id3v2", "-f", "1", "-d", "1"} + fieldOptions) << false
            << false;
        QTest::newRow("tag, long name cut")
            << WindowSide{"[morwick]\nfilenameformat=0\nask=1\nask64=1\n", "tag", {}, {}, {}, {}}
            << QStringList{"--cut", "tag", "-y", "-f", "0", "-d", "0"} << false << true;
        QTest::newRow("tag, long name and title kept")
            << WindowSide{"[morwick]\nfilenameformat=0\nask=0\nask64=0\n", "tag", {}, {}, {}, {}}
            << QStringList{"tag", "-y", "-f", "0", "-d", "0", "--skip"} << false << true;

        for (int format = 0; format < 4; ++format) {
            const QByteArray ini = "[morwick]\nfilenameformat=" + QByteArray::number(format) + "\n";
            QTest::addRow("rename-from-tags, format %d", format)
                << WindowSide{ini, "rename-from-tags", {}, {}, {}, {}}
                << QStringList{"rename-from-tags", "--format", QString::number(format), "--numbers", "dot"}
                << false << false;
        }
        QTest::newRow("rename-from-tags, dash, ID3v2")
            << WindowSide{"[morwick]\nfilenameformat=1\ntrim2=1\nid3v2=1\n",
                          "rename-from-tags",
                          {},
                          {},
                          {},
                          {}}
            << QStringList{"rename-from-tags", "-f", "1", "--numbers", "dash", "--id3v2"} << false << false;

        for (const char* nameCase : {"capitalize", "sentence"}) {
            for (const char* numbers : {"dot", "dash"}) {
                const QByteArray ini = QByteArray("[morwick]\nfilenameformat=1\ntrim1=") +
                                       (nameCase[0] == 's' ? "1" : "0") +
                                       "\ntrim2=" + (numbers[1] == 'a' ? "1" : "0") + "\n";
                QTest::addRow("trim, %s, %s", nameCase, numbers)
                    << WindowSide{ini, "trim", {}, {}, {}, {}}
                    << QStringList{"trim", "--format", "1", "--case", nameCase, "--numbers", numbers} << false
                    << false;
            }
        }
        for (int format = 0; format < 4; ++format) {
            const QByteArray ini = "[morwick]\nfilenameformat=" + QByteArray::number(format) + "\n";
            QTest::addRow("trim, format %d", format)
                << WindowSide{ini, "trim", {}, {}, {}, {}}
                << QStringList{"trim", "-f", QString::number(format)} << false << false;
        }
        QTest::newRow("trim, long name cut") << WindowSide{"[morwick]\nask64=1\n", "trim", {}, {}, {}, {}}
                                             << QStringList{"trim", "--cut", "-f", "0"} << false << true;
        QTest::newRow("trim, long name kept") << WindowSide{"[morwick]\nask64=0\n", "trim", {}, {}, {}, {}}
                                              << QStringList{"trim", "--skip", "-f", "0"} << false << true;

        QTest::newRow("replace") << WindowSide{{}, "replace", {}, {}, "_", " "}
                                 << QStringList{"replace", "_", " "} << false << false;
        QTest::newRow("replace, a name taken")
            << WindowSide{{}, "replace", {}, {}, "02 - second_song", "01. First Song"}
            << QStringList{"replace", "02 - second_song", "01. First Song"} << false << false;
        QTest::newRow("replace, long name cut")
            << WindowSide{"[morwick]\nask64=1\n",
                          "replace",
                          {},
                          {},
                          "Song",
                          "Song with a title long enough to pass"}
            << QStringList{"replace", "Song", "Song with a title long enough to pass", "--cut"} << false
            << true;
        QTest::newRow("remove-tags") << WindowSide{{}, "remove-tags", {}, {}, {}, {}}
                                     << QStringList{"remove-tags"} << false << false;
    }
    void sameFilesAsTheWindow() {
        QFETCH(WindowSide, window);
        QFETCH(QStringList, cli);
        QFETCH(bool, sameIni);
        QFETCH(bool, longName);
        const QString inWindow = makeFolder(path(QStringLiteral("a")), longName);
        const QString inCli = makeFolder(path(QStringLiteral("b")), longName);
        const QMap<QString, QByteArray> before = contents(inWindow);
        QCOMPARE(contents(inCli), before);

        const int longNamesAsked = runWindow(window, inWindow);
        QVERIFY2(longNamesAsked < 1000, "the window asked a question the test does not answer");
        if (sameIni)
            write(path(QStringLiteral("cli-config/morwick.ini")), window.ini);
        const CliRun run = RunMorwickCli(cli + QStringList{inCli}, tmp_->path(),
                                         path(QStringLiteral("cli-config")), stateHome());
        QVERIFY2(run.status == 0, run.err.constData());
        QCOMPARE(QString::fromLocal8Bit(run.err), QString());

        const QMap<QString, QByteArray> windowFiles = contents(inWindow);
        const QMap<QString, QByteArray> cliFiles = contents(inCli);
        QCOMPARE(cliFiles.keys(), windowFiles.keys());
        for (auto file = windowFiles.begin(); file != windowFiles.end(); ++file)
            QVERIFY2(cliFiles.value(file.key()) == file.value(), qPrintable(file.key()));
        // The command did something, and the long name was asked about where the row expects it.
        QVERIFY(windowFiles != before || QByteArray(QTest::currentDataTag()).contains("taken"));
        QCOMPARE(longNamesAsked > 0, window.ini.contains("ask64=1") && longName);
        QCOMPARE(longTitles_ > 0,
                 window.command == QLatin1String("tag") && window.ini.contains("ask=1") && longName);
        // One output line for each file that changed.
        const QStringList lines =
            QString::fromLocal8Bit(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        int changed = 0;
        for (auto file = before.begin(); file != before.end(); ++file)
            changed += windowFiles.value(file.key()) == file.value() ? 0 : 1;
        QCOMPARE(lines.size(), changed);
    }

    // One journal, one Undo: morwick-cli takes back what the window did, and the window what
    // morwick-cli did.
    void undoCrossesOver() {
        const QString dir = makeFolder(path(QStringLiteral("a")), false);
        const QMap<QString, QByteArray> before = contents(dir);

        QCOMPARE(runWindow({{}, "trim", {}, {}, {}, {}}, dir), 0);
        QVERIFY(contents(dir) != before);
        CliRun run = RunMorwickCli({"undo"}, tmp_->path(), path(QStringLiteral("cli-config")), stateHome());
        QVERIFY2(run.status == 0, run.err.constData());
        QCOMPARE(contents(dir), before);

        run = RunMorwickCli({"remove-tags", dir}, tmp_->path(), path(QStringLiteral("cli-config")),
                            stateHome());
        QVERIFY2(run.status == 0, run.err.constData());
        QVERIFY(contents(dir) != before);
        write(path(QStringLiteral("window-config/morwick.ini")), {});
        MainWindow window;
        window.openDirectory(dir);
        auto* undo = window.findChild<QAction*>(QStringLiteral("actionUndo"));
        QVERIFY(undo && undo->isEnabled());
        undo->trigger();
        QCOMPARE(contents(dir), before);
        QVERIFY(!undo->isEnabled());
    }
};

QTEST_MAIN(TestCliMatchesWindow)
#include "TestCliMatchesWindow.moc"
