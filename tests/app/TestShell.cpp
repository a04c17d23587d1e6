#include "app/Shell.h"
#include "core/FileName.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using namespace testfiles;

namespace {

struct Request {
    QString file;
    QString parameters;
    QString directory;
    int showCommand = 0;
};

} // namespace

class TestShell : public QObject {
    Q_OBJECT

private:
    std::vector<Request> requests_;
    QByteArray path_;
    QString cwd_;

    // A stand-in xdg-open, first on PATH, that writes its argument to `out`.
    static void installFakeOpener(const QTemporaryDir& bin, const QString& out) {
        const QString script = bin.filePath(QStringLiteral("xdg-open"));
        write(script, "#!/bin/sh\nprintf '%s' \"$1\" > '" + out.toUtf8() + ".part'\nmv '" + out.toUtf8() +
                          ".part' '" + out.toUtf8() + "'\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", bin.path().toUtf8() + ':' + qgetenv("PATH"));
    }

private slots:
    void init() {
        path_ = qgetenv("PATH");
        cwd_ = QDir::currentPath();
        requests_.clear();
        SetShellOpenHook([this](const QString& file, const QString& parameters, const QString& directory,
                                int showCommand) {
            requests_.push_back({file, parameters, directory, showCommand});
        });
    }
    void cleanup() {
        SetShellOpenHook(nullptr);
        qputenv("PATH", path_);
        QDir::setCurrent(cwd_);
    }

    void playFileHandsOverTheFocusedEntryOnly() {
        // Several entries are selected, the focus frame is on another one: that one is played.
        PlayFile(true, QStringLiteral("03. Focused.mp3"));
        QCOMPARE(requests_.size(), size_t(1));
        QCOMPARE(requests_[0].file, QStringLiteral("03. Focused.mp3"));
        QCOMPARE(requests_[0].parameters, QString());
        QCOMPARE(requests_[0].directory, QString());
        QCOMPARE(requests_[0].showCommand, 8);
    }

    void playFileWithoutSelectionDoesNothing() {
        PlayFile(false, QStringLiteral("03. Focused.mp3"));
        PlayFile(true, QString()); // an empty list has no focused entry
        QCOMPARE(requests_.size(), size_t(0));
    }

    void exploreDirectory_data() {
        QTest::addColumn<QString>("dir");
        QTest::newRow("plain") << "/home/user/mp3/Singles";
        QTest::newRow("root") << "/";
        QTest::newRow("long") << "/home/user/" + QString(120, QLatin1Char('d'));
    }
    void exploreDirectory() {
        QFETCH(QString, dir);
        ExploreDirectory(dir);
        QCOMPARE(requests_.size(), size_t(1));
        QCOMPARE(requests_[0].file, dir);
        QCOMPARE(requests_[0].parameters, QString());
        QCOMPARE(requests_[0].showCommand, 8);
    }

    void missingHelpDocumentOpensNothing() {
        OpenHelpDocument(QStringLiteral("NoSuchHelp.html"));
        QCOMPARE(requests_.size(), size_t(0));
        // A directory of that name is no document either.
        const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/HelpDir.txt");
        QVERIFY(QDir().mkpath(dir));
        OpenHelpDocument(QStringLiteral("HelpDir.txt"));
        QDir().rmdir(dir);
        QCOMPARE(requests_.size(), size_t(0));
    }

    void presentHelpDocumentOpensByFullPath() {
        const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/TestShellHelp.txt");
        write(path, "help\n");
        OpenHelpDocument(QStringLiteral("TestShellHelp.txt"));
        QFile::remove(path);
        QCOMPARE(requests_.size(), size_t(1));
        QCOMPARE(requests_[0].file, path);
        QCOMPARE(requests_[0].parameters, QString());
        QCOMPARE(requests_[0].directory, QString());
        QCOMPARE(requests_[0].showCommand, 1);
    }

    void realOpenerGetsTheAbsolutePath_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("relative");
        QTest::addColumn<bool>("executable");
        QTest::newRow("bare name") << "01. Song.mp3" << true << false;
        QTest::newRow("over 80 characters") << QString(90, QLatin1Char('x')) + ".mp3" << true << false;
        QTest::newRow("absolute, long") << "Some Band - Some Very Long Album Title (Deluxe Edition) [2004]/" +
                                               QString(70, QLatin1Char('y')) + ".mp3"
                                        << false << false;
        // Songs on FAT and NTFS mounts often carry execute bits: the system cannot start them.
        QTest::newRow("song with an execute bit") << "02. Song.mp3" << true << true;
    }
    void realOpenerGetsTheAbsolutePath() {
        QFETCH(QString, name);
        QFETCH(bool, relative);
        QFETCH(bool, executable);
        SetShellOpenHook(nullptr);
        QTemporaryDir bin, work;
        const QString out = bin.filePath(QStringLiteral("opened"));
        installFakeOpener(bin, out);
        QVERIFY(QDir(work.path()).mkpath(QFileInfo(work.filePath(name)).path()));
        write(work.filePath(name), audio(100));
        if (executable) {
            // A song that is also a valid program is still only handed to the opener.
            write(work.filePath(name), "#!/bin/sh\ntouch \"$0.ran\"\n");
            QFile::setPermissions(work.filePath(name),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QVERIFY(QDir::setCurrent(work.path()));
        ShellOpen(relative ? name : work.filePath(name), QString(), QString(), 8);
        QTRY_VERIFY(QFile::exists(out));
        QCOMPARE(read(out), work.filePath(name).toUtf8());
        QVERIFY(!QFile::exists(work.filePath(name) + QStringLiteral(".ran")));
    }

    void realOpenerGetsOddBytesAsFileUrl() {
        SetShellOpenHook(nullptr);
        QTemporaryDir bin, work;
        const QString out = bin.filePath(QStringLiteral("opened"));
        installFakeOpener(bin, out);
        const QString name = DecodeFileName("caf\xe9 song.mp3"); // Latin-1 bytes, not UTF-8
        const QByteArray path = work.path().toUtf8() + "/caf\xe9 song.mp3";
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        QVERIFY(QDir::setCurrent(work.path()));
        ShellOpen(name, QString(), QString(), 8);
        QTRY_VERIFY(QFile::exists(out));
        ::unlink(path.constData()); // QTemporaryDir cannot name it
        QCOMPARE(read(out), "file://" + path.toPercentEncoding("/"));
    }

    void missingOpenerShowsNothing() {
        SetShellOpenHook(nullptr);
        QTemporaryDir empty;
        qputenv("PATH", empty.path().toUtf8());
        ShellOpen(QStringLiteral("/nonexistent/song.mp3"), QString(), QString(), 8); // simply returns
    }
};

QTEST_MAIN(TestShell)
#include "TestShell.moc"
