// morwick-cli as a script or a person at a terminal meets it: its options, its exit statuses,
// its questions without a terminal, its output.
#include "cli/CliNames.h"
#include "cli/CliProcess.h"
#include "cli/CliPrompts.h"
#include "core/TextLength.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace testfiles;

namespace {

struct TerminalRun {
    int status = -1;
    QByteArray screen; // everything written to the terminal
};

// Runs morwick-cli on a pseudo-terminal, as a person at a terminal runs it: each time what it
// wrote ends in the next prompt of `answers`, that answer is typed. Waits for nothing else.
TerminalRun onTerminal(const QStringList& arguments, const QString& workDir, const QString& configHome,
                       const QString& stateHome, QList<QPair<QByteArray, QByteArray>> answers) {
    // Everything the child needs is made before the fork: after it, only exec.
    QList<QByteArray> argStore{QByteArray(MORWICK_CLI_EXECUTABLE)};
    for (const QString& a : arguments)
        argStore << a.toUtf8();
    QList<QByteArray> envStore;
    for (const QString& entry : QProcessEnvironment::systemEnvironment().toStringList()) {
        if (!entry.startsWith(QLatin1String("DISPLAY=")) &&
            !entry.startsWith(QLatin1String("WAYLAND_DISPLAY=")) &&
            !entry.startsWith(QLatin1String("QT_QPA_PLATFORM=")) && !entry.startsWith(QLatin1String("XDG_")))
            envStore << entry.toUtf8();
    }
    envStore << "XDG_CONFIG_HOME=" + configHome.toUtf8() << "XDG_STATE_HOME=" + stateHome.toUtf8();
    std::vector<char*> argv;
    for (QByteArray& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (QByteArray& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const QByteArray dir = workDir.toUtf8();

    TerminalRun run;
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0)
        return run;
    if (pid == 0) {
        if (::chdir(dir.constData()) == 0)
            ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    for (;;) {
        pollfd p{master, POLLIN, 0};
        // A guard against a hang, not a measure: a run takes well under a second.
        if (::poll(&p, 1, 60000) <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break; // EIO: the program ended and closed the terminal
        run.screen.append(buffer, n);
        if (!answers.isEmpty() && run.screen.endsWith(answers.first().first)) {
            const QByteArray answer = answers.takeFirst().second;
            if (::write(master, answer.constData(), size_t(answer.size())) != answer.size())
                break;
        }
    }
    ::close(master);
    // The terminal closes a moment before the program has ended: wait for it, within a guard
    // against a hang (not a measure), and kill it only if it is still there then.
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 6000 && (ended = ::waitpid(pid, &status, WNOHANG)) == 0; ++i)
        ::usleep(10000);
    if (ended == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> tmp_;

    QString path(const QString& name) const { return tmp_->filePath(name); }
    CliRun cli(const QStringList& arguments) const {
        return RunMorwickCli(arguments, tmp_->path(), path(QStringLiteral("config")),
                             path(QStringLiteral("state")));
    }
    void settings(const QByteArray& ini) const { write(path(QStringLiteral("config/morwick.ini")), ini); }
    QString song(const QString& name, const QByteArray& tag = {}) const {
        QDir().mkpath(path(QStringLiteral("music")));
        const QString file = path(QStringLiteral("music/") + name);
        write(file, read(fixture(QStringLiteral("cbr128-jstereo-44k.mp3"))) + tag);
        return file;
    }
    QStringList music() const { return QDir(path(QStringLiteral("music"))).entryList(QDir::Files); }

private slots:
    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        QDir().mkpath(path(QStringLiteral("config")));
    }
    void cleanup() { tmp_.reset(); }

    void namesOfFormatsAndGenres_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // -2: not a name
        QTest::newRow("filename by number") << "filename"
                                            << "2" << 2;
        QTest::newRow("filename caption") << "filename"
                                          << "xx. artist - song.mp3 / xx - artist - song.mp3" << 1;
        QTest::newRow("filename, one half") << "filename"
                                            << "XX - Song.mp3" << 0;
        QTest::newRow("filename none") << "filename"
                                       << "none" << -1;
        QTest::newRow("filename out of range") << "filename"
                                               << "4" << -2;
        QTest::newRow("dirname caption") << "dirname"
                                         << "artist \\ album \\ disc \\" << 3;
        QTest::newRow("dirname, slashes") << "dirname"
                                          << "artist/album" << 2;
        QTest::newRow("dirname no fetching") << "dirname"
                                             << "no artist / album fetching" << 0;
        QTest::newRow("dirname unknown") << "dirname"
                                         << "artist - song" << -2;
        QTest::newRow("genre by name") << "genre"
                                       << "hip-hop" << 7;
        QTest::newRow("genre by number") << "genre"
                                         << "144" << 144;
        QTest::newRow("genre none") << "genre"
                                    << "none" << 255;
        QTest::newRow("genre past the list") << "genre"
                                             << "145" << -2;
    }
    void namesOfFormatsAndGenres() {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(int, expected);
        std::optional<int> found;
        if (kind == QLatin1String("filename")) {
            if (const auto f = FilenameFormatNamed(text))
                found = int(*f);
        } else if (kind == QLatin1String("dirname")) {
            if (const auto d = DirnameFormatNamed(text))
                found = int(*d);
        } else {
            found = GenreNamed(text);
        }
        QCOMPARE(found.value_or(-2), expected);
    }

    void cutFilename_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        const QString sixty = QString(60, QLatin1Char('a'));
        QTest::newRow("64 stays") << sixty + ".mp3" << sixty + ".mp3";
        QTest::newRow("65 loses a character before the extension") << sixty + "b.mp3" << sixty + ".mp3";
        // Characters, not UTF-16 units: an emoji is one, and is never cut in half.
        const QString emoji = QString::fromUtf8("\U0001F3B5");
        QTest::newRow("emoji") << QString(59, QLatin1Char('a')) + emoji + "xyz.MP3"
                               << QString(59, QLatin1Char('a')) + emoji + ".MP3";
    }
    void cutFilename() {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(CutFilename(name), expected);
        QVERIFY(CharCount(CutFilename(name)) <= 64);
    }

    void usageMistakesExitWithTwo_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("unknown subcommand") << QStringList{"retag", "x.mp3"};
        QTest::newRow("unknown option") << QStringList{"trim", "--bogus", "x.mp3"};
        QTest::newRow("bad format") << QStringList{"trim", "--format", "7", "x.mp3"};
        QTest::newRow("bad genre") << QStringList{"tag", "--genre", "Nonesuch", "x.mp3"};
        QTest::newRow("bad field") << QStringList{"tag", "--fields", "title,mood", "x.mp3"};
        QTest::newRow("value missing") << QStringList{"tag", "x.mp3", "--artist"};
        QTest::newRow("another subcommand's option") << QStringList{"tag", "--case", "sentence", "x.mp3"};
        QTest::newRow("dry run of tag") << QStringList{"tag", "--dry-run", "x.mp3"};
        QTest::newRow("subcommand option before it") << QStringList{"--format", "1", "trim", "x.mp3"};
        QTest::newRow("cut and skip") << QStringList{"--cut", "trim", "--skip", "x.mp3"};
        QTest::newRow("no paths") << QStringList{"trim", "-r"};
        QTest::newRow("replace without NEW") << QStringList{"replace", "a"};
        QTest::newRow("undo with a path") << QStringList{"undo", "x.mp3"};
    }
    void usageMistakesExitWithTwo() {
        QFETCH(QStringList, arguments);
        const QString file = song(QStringLiteral("x.mp3"));
        const QByteArray before = read(file);
        const CliRun run = cli(arguments);
        QCOMPARE(run.status, 2);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.startsWith("morwick-cli: "), run.err.constData());
        QVERIFY(run.err.contains("Usage: morwick-cli"));
        QCOMPARE(read(file), before);
    }

    void helpAndVersion() {
        for (const char* sub :
             {"tag", "rename-from-tags", "trim", "replace", "remove-tags", "show", "undo"}) {
            const CliRun viaHelp = cli({"help", sub});
            const CliRun viaOption = cli({sub, "--help"});
            QCOMPARE(viaHelp.status, 0);
            QVERIFY(viaHelp.out.startsWith("Usage: morwick-cli " + QByteArray(sub)));
            QCOMPARE(viaOption.out, viaHelp.out);
        }
        const CliRun help = cli({"--help"});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.contains("rename-from-tags"));
        const CliRun version = cli({"--version"});
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out, QByteArray("morwick-cli " MORWICK_VERSION "\n"));
    }

    // Without a terminal a question is never waited for: the command ends at that file with an
    // error that names the option that answers it; the files before it stay done, the later
    // ones untouched. With the option the same files go through.
    void questionWithoutTerminalStops_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("option");
        QTest::newRow("format error") << QByteArray("[morwick]\nfilenameformat=2\n") << QStringList{"tag"}
                                      << "Filename format error in file \"b.mp3\". Continue batch?"
                                      << "--yes";
        QTest::newRow("long name") << QByteArray("[morwick]\nask64=1\n") << QStringList{"trim", "-f", "3"}
                                   << "Filename exceeds 64 characters!"
                                   << "--cut";
    }
    void questionWithoutTerminalStops() {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, arguments);
        QFETCH(QString, question);
        QFETCH(QString, option);
        settings(ini);
        song(QStringLiteral("a - one.mp3"));
        song(QStringLiteral("b") +
             (option == QLatin1String("--cut") ? QString(70, QLatin1Char('c')) : QString()) +
             QStringLiteral(".mp3"));
        song(QStringLiteral("c - three.mp3"));
        const QByteArray first = read(path(QStringLiteral("music/a - one.mp3")));
        const QByteArray untouched = read(path(QStringLiteral("music/c - three.mp3")));
        const QStringList before = music();

        const CliRun run = cli(arguments + QStringList{path(QStringLiteral("music"))});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(question.toUtf8()), run.err.constData());
        QVERIFY2(run.err.contains(option.toUtf8()), run.err.constData());
        // The first file was done.
        QVERIFY(music() != before || read(path(QStringLiteral("music/a - one.mp3"))) != first);
        QCOMPARE(read(path(QStringLiteral("music/c - three.mp3"))), untouched);

        const CliRun answered = cli(arguments + QStringList{option, path(QStringLiteral("music"))});
        QVERIFY2(answered.status == 0, answered.err.constData());
    }

    // With a terminal the question is asked there, and the answer typed decides as the window's
    // button would.
    void questionOnTheTerminal_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("prompt");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("format error, No")
            << QStringList{"tag", "-f", "2"} << QByteArray("Continue batch? [Y/n] ") << QByteArray("n\n") << 1
            << QStringList{};
        QTest::newRow("format error, Yes")
            << QStringList{"tag", "-f", "2"} << QByteArray("Continue batch? [Y/n] ") << QByteArray("\n") << 0
            << QStringList{};
        // Ctrl+C as the terminal sends it: the command stops there, its journal closed.
        QTest::newRow("format error, Ctrl+C")
            << QStringList{"tag", "-f", "2"} << QByteArray("Continue batch? [Y/n] ") << QByteArray("\x03")
            << 130 << QStringList{};
        QTest::newRow("long name, typed")
            << QStringList{"trim", "-f", "3"} << QByteArray("characters): ") << QByteArray("Short.mp3\n") << 0
            << QStringList{"A - One.mp3", "C - Three.mp3", "Short.mp3"};
        QTest::newRow("long name, cut")
            << QStringList{"trim", "-f", "3"} << QByteArray("characters): ") << QByteArray("\n") << 0
            << QStringList{"A - One.mp3", "B" + QString(59, QLatin1Char('c')) + ".mp3", "C - Three.mp3"};
    }
    void questionOnTheTerminal() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, prompt);
        QFETCH(QByteArray, answer);
        QFETCH(int, status);
        QFETCH(QStringList, names);
        settings("[morwick]\nask64=1\n");
        song(QStringLiteral("a - one.mp3"));
        // Names that fit no format ask in tag; long ones ask in trim.
        song(QStringLiteral("b") + (names.isEmpty() ? QString() : QString(70, QLatin1Char('c'))) +
             QStringLiteral(".mp3"));
        song(QStringLiteral("c - three.mp3"));
        const QByteArray first = read(path(QStringLiteral("music/a - one.mp3")));
        const QByteArray last = read(path(QStringLiteral("music/c - three.mp3")));
        const TerminalRun run =
            onTerminal(arguments + QStringList{QStringLiteral("music")}, tmp_->path(),
                       path(QStringLiteral("config")), path(QStringLiteral("state")), {{prompt, answer}});
        QVERIFY2(run.screen.contains(prompt), run.screen.constData());
        QCOMPARE(run.status, status);
        if (!names.isEmpty()) {
            QCOMPARE(music(), names);
            return;
        }
        // No: the batch ends at that file, the later one untouched; Yes: it goes on.
        QCOMPARE(read(path(QStringLiteral("music/c - three.mp3"))) == last, status != 0);
        QVERIFY(read(path(QStringLiteral("music/a - one.mp3"))) != first);
        // What was done before the stop is one command, as Undo finds it.
        const CliRun undo = cli({"undo"});
        QVERIFY2(undo.status == 0, undo.err.constData());
        QCOMPARE(read(path(QStringLiteral("music/a - one.mp3"))), first);
    }

    // The dry run changes nothing and shows what the real run then does.
    void dryRunShowsTheRename() {
        song(QStringLiteral("01 first_song.mp3"));
        song(QStringLiteral("02 second_song.mp3"));
        song(QStringLiteral("02. Second Song.mp3")); // taken: the second one stays
        const QStringList before = music();
        const CliRun dry = cli({"trim", "--dry-run", "--json", "-f", "0", path(QStringLiteral("music"))});
        QCOMPARE(dry.status, 0);
        QCOMPARE(music(), before);
        QStringList predicted; // where each file ends: a file with a note keeps its name
        QStringList notes;
        for (const QByteArray& line : dry.out.split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject row = QJsonDocument::fromJson(line).object();
            notes << row.value(QStringLiteral("note")).toString();
            predicted << row.value(notes.last().isEmpty() ? QStringLiteral("new") : QStringLiteral("old"))
                             .toString();
        }
        QCOMPARE(notes, (QStringList{"", "name taken", "unchanged"}));
        const CliRun text = cli({"trim", "-n", "-f", "0", path(QStringLiteral("music"))});
        QVERIFY(text.out.startsWith("Old name"));
        QVERIFY(text.out.contains("name taken"));

        const CliRun real = cli({"trim", "-f", "0", path(QStringLiteral("music"))});
        QCOMPARE(real.status, 0);
        predicted.sort();
        QCOMPARE(music(), predicted);
        QCOMPARE(real.out.count('\n'), 1); // only the one file that changed
        QVERIFY(real.out.endsWith("music/01 first_song.mp3 -> " +
                                  path(QStringLiteral("music/01. First Song.mp3")).toUtf8() + "\n"));
    }

    // A missing file is named in the window's words; the others are still done.
    void missingFileIsNamed() {
        song(QStringLiteral("a_b.mp3"));
        const CliRun run = cli({"trim", "-f", "0", path(QStringLiteral("music/gone.mp3")),
                                path(QStringLiteral("music/a_b.mp3"))});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("gone.mp3: File not found."), run.err.constData());
        QCOMPARE(music(), QStringList{"A B.mp3"});
    }

    // -r takes the subfolders after their parent, each in the window's order.
    void recursiveOrder() {
        song(QStringLiteral("b_2.mp3"));
        song(QStringLiteral("A_1.mp3"));
        QDir().mkpath(path(QStringLiteral("music/sub")));
        write(path(QStringLiteral("music/sub/c_3.mp3")),
              read(fixture(QStringLiteral("cbr128-jstereo-44k.mp3"))));
        write(path(QStringLiteral("music/sub/notes.txt")), "not music");
        const CliRun flat = cli({"trim", "-n", "--json", "-f", "0", QStringLiteral("music")});
        QCOMPARE(flat.out.count('\n'), 2);
        const CliRun run = cli({"trim", "-r", "-f", "0", QStringLiteral("music")});
        QCOMPARE(run.status, 0);
        QCOMPARE(QString::fromUtf8(run.out), QStringLiteral("music/A_1.mp3 -> music/A 1.mp3\n"
                                                            "music/b_2.mp3 -> music/B 2.mp3\n"
                                                            "music/sub/c_3.mp3 -> music/sub/C 3.mp3\n"));
    }

    // A name that is not UTF-8 reaches its file and comes out as the very bytes it is.
    void nameThatIsNotUtf8() {
        QDir().mkpath(path(QStringLiteral("music")));
        const QByteArray dir = QFile::encodeName(path(QStringLiteral("music")));
        const QByteArray audio = read(fixture(QStringLiteral("cbr128-jstereo-44k.mp3")));
        const int fd = ::open((dir + "/\xff_song.mp3").constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, audio.constData(), size_t(audio.size())), ssize_t(audio.size()));
        ::close(fd);
        const CliRun run = cli({"trim", "-f", "0", "music"});
        QVERIFY2(run.status == 0, run.err.constData());
        QCOMPARE(run.out, QByteArray("music/\xff_song.mp3 -> music/\xff Song.mp3\n"));
        struct stat st {};
        QCOMPARE(::stat((dir + "/\xff Song.mp3").constData(), &st), 0);
        QCOMPARE(qint64(st.st_size), qint64(audio.size()));
    }

    void showPrintsTagAndStream() {
        song(QStringLiteral("tagged.mp3"), tagBytes(makeTag("A Title", "An Artist", "", "1999", "", 3, 17)));
        const CliRun text = cli({"show", path(QStringLiteral("music/tagged.mp3"))});
        QCOMPARE(text.status, 0);
        for (const char* line : {"  Title:   A Title\n", "  Track:   3\n", "  Genre:   Rock\n",
                                 "  Bitrate: 128 kbit\n", "  Samplerate: 44100 Hz\n"})
            QVERIFY2(text.out.contains(line), line);
        const CliRun json = cli({"--json", "show", path(QStringLiteral("music/tagged.mp3"))});
        const QJsonObject object = QJsonDocument::fromJson(json.out).object();
        QCOMPARE(object.value(QStringLiteral("artist")).toString(), QStringLiteral("An Artist"));
        QCOMPARE(object.value(QStringLiteral("tag")).toString(), QStringLiteral("ID3v1"));
        QCOMPARE(object.value(QStringLiteral("bitrate")).toInt(), 128);
    }

    // A command over several folders is one command: undo takes all of it back, in every folder.
    void undoTakesBackEveryFolder() {
        song(QStringLiteral("a_1.mp3"), tagBytes(makeTag("Old")));
        QDir().mkpath(path(QStringLiteral("music/sub/deeper")));
        const QByteArray audio =
            read(fixture(QStringLiteral("cbr128-jstereo-44k.mp3"))) + tagBytes(makeTag("Old"));
        write(path(QStringLiteral("music/sub/b_2.mp3")), audio);
        write(path(QStringLiteral("music/sub/deeper/c_3.mp3")), audio);
        const auto everything = [&] {
            QStringList files;
            for (const char* name : {"music/a_1.mp3", "music/sub/b_2.mp3", "music/sub/deeper/c_3.mp3",
                                     "music/A 1.mp3", "music/sub/B 2.mp3", "music/sub/deeper/C 3.mp3"})
                files
                    << (QFile::exists(path(name))
                            ? QLatin1String(name) + QStringLiteral(":") +
                                  QCryptographicHash::hash(read(path(name)), QCryptographicHash::Md5).toHex()
                            : QString());
            return files;
        };
        const QStringList before = everything();
        for (const QStringList& command : {QStringList{"trim", "-r", "-f", "0", "music"},
                                           QStringList{"tag", "-r", "-y", "-f", "3", "--id3v2", "music"},
                                           QStringList{"remove-tags", "-r", "music"}}) {
            const CliRun run = cli(command);
            QVERIFY2(run.status == 0, run.err.constData());
            QVERIFY2(run.out.count(QChar(10).toLatin1()) == 3, run.out.constData());
            QVERIFY(everything() != before);
            const CliRun undo = cli({"undo"});
            QVERIFY2(undo.status == 0, undo.err.constData());
            QCOMPARE(undo.out, QByteArray("3 changes taken back\n"));
            QCOMPARE(everything(), before);
        }
    }

    void undoWithNothingToUndo() {
        const CliRun run = cli({"undo"});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.startsWith("morwick-cli: "));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "TestCli.moc"
