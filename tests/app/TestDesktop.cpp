// Morwick on the desktop: the command line, folders dropped onto the window, the help documents
// in the build tree and once installed, and the window icon.
#include "app/CommandLine.h"
#include "app/FolderDrop.h"
#include "app/MainWindow.h"
#include "app/ProgramIcon.h"
#include "app/Shell.h"
#include "core/FileName.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <sys/stat.h>

using namespace testfiles;

Q_DECLARE_METATYPE(StartAction)

namespace {

// "$T" in a test row stands for the test's temporary folder.
QString expand(QString text, const QString& tmp) {
    return text.replace(QLatin1String("$T"), tmp);
}

struct DropResult {
    bool enterAccepted = false;
    bool dropAccepted = false;
};

// Drags `data` onto `target` and drops it there, as the window system delivers a drag from the
// file manager; the posted work of the drop runs before this returns.
DropResult dragAndDrop(QWidget* target, const QMimeData& data) {
    DropResult result;
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    result.enterAccepted = enter.isAccepted();
    if (result.enterAccepted) {
        QDropEvent drop(QPointF(at), enter.dropAction(), &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        result.dropAccepted = drop.isAccepted();
    }
    QCoreApplication::processEvents();
    return result;
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private:
    QTemporaryDir tmp_;

private slots:
    void initTestCase() {
        QVERIFY(tmp_.isValid());
        QVERIFY(QDir(tmp_.path()).mkpath(QStringLiteral("Band - Album")));
        write(tmp_.filePath(QStringLiteral("Band - Album/01. Song.mp3")), audio(300));
        write(tmp_.filePath(QStringLiteral("Band - Album/02. Other.mp3")), audio(300));
        write(tmp_.filePath(QStringLiteral("loose.mp3")), audio(300));
    }

    // ---- The command line ----

    void parseCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<StartAction>("action");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("textStart");
        using A = StartAction;
        const QStringList none;
        QTest::newRow("no argument: as always") << none << A::Open << "" << none << "";
        QTest::newRow("folder") << QStringList{"$T/Band - Album"} << A::Open << "$T/Band - Album" << none
                                << "";
        QTest::newRow("relative folder")
            << QStringList{"Band - Album"} << A::Open << "Band - Album" << none << "";
        QTest::newRow("mp3 file: its folder, the file selected")
            << QStringList{"$T/Band - Album/01. Song.mp3"} << A::Open << "$T/Band - Album"
            << QStringList{"01. Song.mp3"} << "";
        QTest::newRow("bare mp3 name: the working folder")
            << QStringList{"loose.mp3"} << A::Open << "." << QStringList{"loose.mp3"} << "";
        QTest::newRow("files of one folder, in the order given")
            << QStringList{"$T/Band - Album/02. Other.mp3", "$T/Band - Album/01. Song.mp3"} << A::Open
            << "$T/Band - Album" << QStringList{"02. Other.mp3", "01. Song.mp3"} << "";
        QTest::newRow("files of two folders: the first one's folder and files")
            << QStringList{"$T/Band - Album/01. Song.mp3", "$T/loose.mp3",
                           "$T/Band - Album/../Band - Album/02. Other.mp3"}
            << A::Open << "$T/Band - Album" << QStringList{"01. Song.mp3", "02. Other.mp3"} << "";
        QTest::newRow("another spelling of the folder")
            << QStringList{"./loose.mp3", "$T/work/two.mp3"} << A::Open << "."
            << QStringList{"loose.mp3", "two.mp3"} << "";
        QTest::newRow("a folder, then a file in it")
            << QStringList{"$T/Band - Album", "$T/Band - Album/01. Song.mp3"} << A::Open << "$T/Band - Album"
            << QStringList{"01. Song.mp3"} << "";
        QTest::newRow("two folders: the first")
            << QStringList{"$T", "$T/Band - Album"} << A::Open << "$T" << none << "";
        QTest::newRow("missing folder: left to the opening to report")
            << QStringList{"$T/gone"} << A::Open << "$T/gone" << none << "";
        QTest::newRow("missing file, then a file: the missing one's name to report")
            << QStringList{"$T/gone.mp3", "$T/loose.mp3"} << A::Open << "$T/gone.mp3" << none << "";
        QTest::newRow("folder named like an option, after --")
            << QStringList{"--", "--help"} << A::Open << "--help" << none << "";
        QTest::newRow("--help") << QStringList{"--help"} << A::Help << "" << none
                                << "Usage: morwick [options] [FOLDER | FILE...]";
        QTest::newRow("-h with a folder")
            << QStringList{"-h", "$T"} << A::Help << "" << none << "Usage: morwick";
        QTest::newRow("--version") << QStringList{"--version"} << A::Version << "" << none << "Morwick 1.2";
        QTest::newRow("-v") << QStringList{"-v"} << A::Version << "" << none << "Morwick 1.2";
        QTest::newRow("help beside an unknown option")
            << QStringList{"--bogus", "--help"} << A::Help << "" << none << "Usage: morwick";
        QTest::newRow("unknown option")
            << QStringList{"--bogus"} << A::Mistake << "" << none << "Unknown option 'bogus'.";
    }
    void parseCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(StartAction, action);
        QFETCH(QString, folder);
        QFETCH(QStringList, files);
        QFETCH(QString, textStart);
        const WorkDir cwd;
        QVERIFY(cwd.isValid());
        QDir().mkpath(QStringLiteral("Band - Album"));
        write(QStringLiteral("loose.mp3"), audio(300));
        write(QStringLiteral("two.mp3"), audio(300));
        // "$T/work" is the working folder by another name.
        QVERIFY(QFile::link(cwd.path(), tmp_.filePath(QStringLiteral("work"))) ||
                QFileInfo(tmp_.filePath(QStringLiteral("work"))).isSymLink());

        QStringList argv{QStringLiteral("/usr/bin/morwick")};
        for (const QString& a : arguments)
            argv.append(expand(a, tmp_.path()));
        const StartRequest request = ParseCommandLine(argv);
        QFile::remove(tmp_.filePath(QStringLiteral("work")));
        QCOMPARE(request.action, action);
        QCOMPARE(request.folder, expand(folder, tmp_.path()));
        QCOMPARE(request.files, files);
        QVERIFY2(textStart.isEmpty() ? request.text.isEmpty() : request.text.startsWith(textStart),
                 qPrintable(request.text));
        if (action == StartAction::Mistake) // the mistake comes with the usage
            QVERIFY(request.text.contains(QLatin1String("\nUsage: morwick")));
    }

    // A file manager puts every selected file in place of %F and starts one Morwick for them all
    // (%f would start one per file).
    void desktopEntryHandsOverEverySelectedFile() {
        QFile entry(QStringLiteral(MORWICK_DESKTOP_ENTRY));
        QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
        QStringList exec;
        for (const QByteArray& line : entry.readAll().split('\n')) {
            if (line.startsWith("Exec="))
                exec = QString::fromUtf8(line.mid(5)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        }
        QCOMPARE(exec, (QStringList{"morwick", "%F"}));
        const QStringList selection{tmp_.filePath(QStringLiteral("Band - Album/02. Other.mp3")),
                                    tmp_.filePath(QStringLiteral("Band - Album/01. Song.mp3"))};
        QStringList argv = exec;
        argv.replace(1, selection.first());
        argv.append(selection.last());
        const StartRequest request = ParseCommandLine(argv);
        QCOMPARE(request.folder, tmp_.filePath(QStringLiteral("Band - Album")));
        QCOMPARE(request.files, (QStringList{"02. Other.mp3", "01. Song.mp3"}));
    }

    void folderArgumentKeepsNamesThatAreNotUtf8() {
        const QByteArray folder = QFile::encodeName(tmp_.path()) + "/Caf\xe9";
        QVERIFY(::mkdir(folder.constData(), 0755) == 0 || errno == EEXIST);
        const QByteArray song = folder + "/01. Caf\xe9.mp3";
        FILE* file = std::fopen(song.constData(), "wb"); // QFile would take the name as UTF-8
        QVERIFY(file);
        std::fclose(file);
        for (const QByteArray& argument : {folder, song}) {
            const char* argv[] = {"morwick", argument.constData()};
            const StartRequest request = ParseCommandLine(CommandLineArguments(2, argv));
            QCOMPARE(request.action, StartAction::Open);
            QCOMPARE(EncodeFileName(request.folder), folder);
        }
    }

    // The program itself, as a terminal user starts it: --help and --version answer without a
    // display, and a mistake is reported once Qt has taken out its own options.
    void programAnswersOnTheTerminal_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("display");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("--version, no display") << QStringList{"--version"} << false << 0 << "Morwick 1.2\n"
                                               << "";
        QTest::newRow("--help, no display") << QStringList{"--help"} << false << 0 << "Usage: morwick"
                                            << "";
        QTest::newRow("Qt option and --version")
            << QStringList{"-platform", "offscreen", "--version"} << false << 0 << "Morwick 1.2\n"
            << "";
        QTest::newRow("folder, no display") << QStringList{"/"} << false << 1 << ""
                                            << "morwick: no display";
        QTest::newRow("unknown option") << QStringList{"-platform", "offscreen", "--bogus"} << true << 1 << ""
                                        << "Unknown option 'bogus'.";
    }
    void programAnswersOnTheTerminal() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, display);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        if (display)
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess morwick;
        morwick.setProcessEnvironment(env);
        morwick.start(QStringLiteral(MORWICK_EXECUTABLE), arguments);
        QVERIFY(morwick.waitForFinished(60000));
        QCOMPARE(morwick.exitStatus(), QProcess::NormalExit);
        QCOMPARE(morwick.exitCode(), status);
        const QString stdoutText = QString::fromLocal8Bit(morwick.readAllStandardOutput());
        const QString stderrText = QString::fromLocal8Bit(morwick.readAllStandardError());
        QVERIFY2(out.isEmpty() ? stdoutText.isEmpty() : stdoutText.startsWith(out), qPrintable(stdoutText));
        QVERIFY2(err.isEmpty() ? stderrText.isEmpty() : stderrText.contains(err), qPrintable(stderrText));
    }

    // ---- Dropping a folder ----

    void dropOpensFolder_data() {
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<QString>("folder"); // empty: the drag is refused
        QTest::newRow("folder") << QStringList{"file://$T/Band - Album"} << "$T/Band - Album";
        QTest::newRow("folder with a slash") << QStringList{"file://$T/Band - Album/"} << "$T/Band - Album/";
        QTest::newRow("mp3 file: its folder")
            << QStringList{"file://$T/Band - Album/01. Song.mp3"} << "$T/Band - Album";
        QTest::newRow("localhost") << QStringList{"file://localhost$T/Band - Album"} << "$T/Band - Album";
        QTest::newRow("first local entry wins")
            << QStringList{"https://morwick.example/a.mp3", "file://$T/gone", "file://$T/loose.mp3",
                           "file://$T/Band - Album"}
            << "$T";
        QTest::newRow("web address") << QStringList{"https://morwick.example/a.mp3"} << "";
        QTest::newRow("other host") << QStringList{"file://elsewhere/srv/mp3"} << "";
        QTest::newRow("missing") << QStringList{"file://$T/gone"} << "";
        QTest::newRow("no URL at all") << QStringList{} << "";
    }
    void dropOpensFolder() {
        QFETCH(QStringList, urls);
        QFETCH(QString, folder);
        QWidget target;
        target.resize(200, 100);
        QStringList opened;
        FolderDrop::install(&target, [&](const QString& f) { opened.append(f); });
        QVERIFY(target.acceptDrops());

        QMimeData data;
        QList<QUrl> list;
        for (const QString& url : urls)
            list.append(QUrl(expand(url, tmp_.path())));
        if (list.isEmpty())
            data.setText(tmp_.path()); // a path as plain text is no file
        else
            data.setUrls(list);
        const DropResult result = dragAndDrop(&target, data);
        const bool accept = !folder.isEmpty();
        QCOMPARE(result.enterAccepted, accept);
        QCOMPARE(result.dropAccepted, accept);
        QCOMPARE(opened, accept ? QStringList{expand(folder, tmp_.path())} : QStringList{});
    }

    void dropKeepsNamesThatAreNotUtf8() {
        const QByteArray folder = QFile::encodeName(tmp_.path()) + "/Caf\xe9 drop";
        QVERIFY(::mkdir(folder.constData(), 0755) == 0 || errno == EEXIST);
        QWidget target;
        QStringList opened;
        FolderDrop::install(&target, [&](const QString& f) { opened.append(f); });
        QMimeData data;
        data.setUrls({QUrl(QStringLiteral("file://") + QString::fromLatin1(folder.toPercentEncoding("/")))});
        QVERIFY(dragAndDrop(&target, data).dropAccepted);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(EncodeFileName(opened.first()), folder);
    }

    // The main window opens a dropped folder as if it had been chosen in the tree.
    void dropOntoMainWindowOpensFolder() {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        const WorkDir cwd;
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(tmp_.filePath(QStringLiteral("Band - Album/01. Song.mp3")))});
        QVERIFY(dragAndDrop(&window, data).dropAccepted);
        QCOMPARE(window.currentDirectory(),
                 QDir(tmp_.filePath(QStringLiteral("Band - Album"))).canonicalPath());
        QCOMPARE(QDir::currentPath(), window.currentDirectory());
    }

    // ---- Help documents ----

    void helpIsFoundInBothLayouts_data() {
        QTest::addColumn<QStringList>("files"); // made under the temporary prefix
        QTest::addColumn<QString>("found");     // relative to the prefix; empty: none
        QTest::newRow("build tree: beside the program") << QStringList{"bin/Help.html"} << "bin/Help.html";
        QTest::newRow("installed") << QStringList{"share/doc/morwick/Help.html"}
                                   << "share/doc/morwick/Help.html";
        QTest::newRow("both: beside the program first")
            << QStringList{"share/doc/morwick/Help.html", "bin/Help.html"} << "bin/Help.html";
        QTest::newRow("absent") << QStringList{"share/doc/morwick/ReadMe.txt"} << "";
        QTest::newRow("a folder of that name") << QStringList{"share/doc/morwick/Help.html/"} << "";
    }
    void helpIsFoundInBothLayouts() {
        QFETCH(QStringList, files);
        QFETCH(QString, found);
        QTemporaryDir prefix;
        QDir(prefix.path()).mkpath(QStringLiteral("bin"));
        for (const QString& file : files) {
            QVERIFY(QDir(prefix.path()).mkpath(file.section(QLatin1Char('/'), 0, -2)));
            if (!file.endsWith(QLatin1Char('/')))
                write(prefix.filePath(file), "help\n");
        }
        const QString programDir = prefix.filePath(QStringLiteral("bin"));
        QCOMPARE(FindHelpDocument(programDir, QStringLiteral("Help.html")),
                 found.isEmpty() ? QString() : prefix.filePath(found));
    }

    // ---- Icon ----

    // The icon is built in as PNGs, so it shows without the SVG plugin.
    void windowIconIsBuiltIn() {
        const QIcon icon = ProgramIcon();
        QVERIFY(!icon.isNull());
        for (const int size : {16, 32, 48, 256}) {
            const QPixmap pixmap = icon.pixmap(size);
            QCOMPARE(pixmap.size(), QSize(size, size));
            QVERIFY(pixmap.toImage().hasAlphaChannel());
        }
    }
};

QTEST_MAIN(TestDesktop)
#include "TestDesktop.moc"
