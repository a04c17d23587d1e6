#include "core/FileName.h"
#include "core/RenameFile.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace testfiles;

namespace {

// Every entry under `root` with its content ("<dir>" for a directory).
QMap<QString, QByteArray> snapshot(const QString& root) {
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        entries.insert(QDir(root).relativeFilePath(path),
                       it.fileInfo().isDir() ? QByteArray("<dir>") : read(path));
    }
    return entries;
}

bool existsRaw(const QByteArray& path) {
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

} // namespace

class TestRenameFile : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString savedCwd_;

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        savedCwd_ = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir_->path()));
        write(QStringLiteral("a.mp3"), "first file");
        write(QStringLiteral("b.mp3"), "second file");
        QVERIFY(QDir().mkpath(QStringLiteral("Album/Disc")));
        write(QStringLiteral("Album/Disc/song.mp3"), "in the album");
        QVERIFY(QDir().mkdir(QStringLiteral("Empty")));
    }
    void cleanup() {
        QVERIFY(QDir::setCurrent(savedCwd_));
        dir_.reset();
    }

    void renames_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("full");
        QTest::addColumn<bool>("fallback");
        for (const bool fallback : {false, true}) {
            const char* way = fallback ? " (fallback)" : "";
            QTest::addRow("file to a free name%s", way) << "a.mp3"
                                                        << "c.mp3" << false << fallback;
            QTest::addRow("file by full paths%s", way) << "a.mp3"
                                                       << "c.mp3" << true << fallback;
            QTest::addRow("directory%s", way) << "Album"
                                              << "Album 2" << false << fallback;
            QTest::addRow("letter case only%s", way) << "a.mp3"
                                                     << "A.mp3" << false << fallback;
            QTest::addRow("into a subdirectory%s", way) << "a.mp3"
                                                        << "Empty/a.mp3" << false << fallback;
        }
    }
    void renames() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, full);
        QFETCH(bool, fallback);
        auto before = snapshot(dir_->path());
        if (full) {
            from = dir_->filePath(from);
            to = dir_->filePath(to);
        }
        const bool renamed = fallback ? RenameNoReplaceFallback(EncodeFileName(from).constData(),
                                                                EncodeFileName(to).constData())
                                      : RenameFile(from, to);
        QVERIFY(renamed);
        // Everything at or under the old name now stands under the new one, nothing else changed.
        const QString oldRel = QDir(dir_->path()).relativeFilePath(QDir(dir_->path()).absoluteFilePath(from));
        const QString newRel = QDir(dir_->path()).relativeFilePath(QDir(dir_->path()).absoluteFilePath(to));
        QMap<QString, QByteArray> expected;
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            QString key = it.key();
            if (key == oldRel || key.startsWith(oldRel + QLatin1Char('/')))
                key = newRel + key.mid(oldRel.size());
            expected.insert(key, it.value());
        }
        QCOMPARE(snapshot(dir_->path()), expected);
    }

    void refuses_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("fallback");
        for (const bool fallback : {false, true}) {
            const char* way = fallback ? " (fallback)" : "";
            QTest::addRow("file onto a file%s", way) << "a.mp3"
                                                     << "b.mp3" << fallback;
            QTest::addRow("file onto a directory%s", way) << "a.mp3"
                                                          << "Empty" << fallback;
            QTest::addRow("directory onto an empty directory%s", way) << "Album"
                                                                      << "Empty" << fallback;
            QTest::addRow("directory onto a file%s", way) << "Album"
                                                          << "a.mp3" << fallback;
            QTest::addRow("missing source%s", way) << "gone.mp3"
                                                   << "c.mp3" << fallback;
            QTest::addRow("same name%s", way) << "a.mp3"
                                              << "a.mp3" << fallback;
            QTest::addRow("same directory%s", way) << "Album"
                                                   << "Album" << fallback;
            QTest::addRow("same file spelled twice%s", way) << "a.mp3"
                                                            << "./a.mp3" << fallback;
            QTest::addRow("directory into itself%s", way) << "Album"
                                                          << "Album/Disc/x" << fallback;
        }
        // A zero character would cut the name to the free name "c".
        QTest::addRow("zero character")
            << "a.mp3" << (QStringLiteral("c") + QChar(0) + QStringLiteral(".mp3")) << false;
        QTest::addRow("empty new name") << "a.mp3" << QString() << false;
    }
    void refuses() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, fallback);
        const auto before = snapshot(dir_->path());
        const bool renamed = fallback ? RenameNoReplaceFallback(EncodeFileName(from).constData(),
                                                                EncodeFileName(to).constData())
                                      : RenameFile(from, to);
        QVERIFY(!renamed);
        QCOMPARE(snapshot(dir_->path()), before);
    }

    // A folder reached through a symbolic link is the folder it leads to; the link stays a link.
    void folderThroughALink_data() {
        QTest::addColumn<bool>("fallback");
        QTest::newRow("renameat2") << false;
        QTest::newRow("fallback") << true;
    }
    void folderThroughALink() {
        QFETCH(bool, fallback);
        QVERIFY(::symlink("Album/Disc", "Linked") == 0);
        const bool renamed =
            fallback ? RenameNoReplaceFallback("Linked/song.mp3", "Linked/renamed.mp3")
                     : RenameFile(QStringLiteral("Linked/song.mp3"), QStringLiteral("Linked/renamed.mp3"));
        QVERIFY(renamed);
        QCOMPARE(read(QStringLiteral("Album/Disc/renamed.mp3")), QByteArray("in the album"));
        QVERIFY(!existsRaw("Album/Disc/song.mp3"));
        struct stat st {};
        QVERIFY(::lstat("Linked", &st) == 0 && S_ISLNK(st.st_mode));
    }

    // A name that is not valid UTF-8 reaches its own file, not the one whose name looks alike.
    void invalidUtf8Name() {
        const QByteArray raw("caf\xe9.mp3");
        const QByteArray lookalike("caf\xc3\xa9.mp3"); // the same name in valid UTF-8
        for (const auto& [name, content] :
             {std::pair{raw, "latin-1 named"}, std::pair{lookalike, "utf-8 named"}}) {
            const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, content, qstrlen(content)), ssize_t(qstrlen(content)));
            ::close(fd);
        }
        const QString decoded = DecodeFileName(raw);
        QVERIFY(RenameFile(decoded, QStringLiteral("renamed.mp3")));
        QVERIFY(!existsRaw(raw));
        QCOMPARE(read(QStringLiteral("renamed.mp3")), QByteArray("latin-1 named"));
        QCOMPARE(read(QString::fromUtf8(lookalike)), QByteArray("utf-8 named"));
        // And back to a name holding a byte that is no UTF-8 at all.
        QVERIFY(RenameFile(QStringLiteral("renamed.mp3"), DecodeFileName("x\xff.mp3")));
        QVERIFY(existsRaw("x\xff.mp3"));
        ::unlink("x\xff.mp3"); // a name QTemporaryDir cannot remove
    }
};

QTEST_GUILESS_MAIN(TestRenameFile)
#include "TestRenameFile.moc"
