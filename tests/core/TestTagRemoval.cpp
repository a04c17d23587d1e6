#include "core/IoError.h"
#include "core/TagRemoval.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testfiles;

namespace {

// An ID3v2 header claiming `body` bytes, then the body, then the footer when flagged.
QByteArray id3v2(int body, bool footer = false, char version = 3) {
    QByteArray tag("ID3");
    tag += version;
    tag += '\0';
    tag += char(footer ? 0x10 : 0);
    tag += char((body >> 21) & 0x7F);
    tag += char((body >> 14) & 0x7F);
    tag += char((body >> 7) & 0x7F);
    tag += char(body & 0x7F);
    tag += QByteArray(body, '\0');
    if (footer)
        tag += "3DI" + tag.mid(3, 7);
    return tag;
}

// A Lyrics3 version 2 block of `size` bytes before its size field, closed by that field and
// "LYRICS200".
QByteArray lyrics3v2(int size, int sizeField = -1) {
    QByteArray block = "LYRICSBEGIN" + audio(size - 11, 'q');
    block += QByteArray::number(sizeField < 0 ? size : sizeField).rightJustified(6, '0');
    return block + "LYRICS200";
}

QByteArray v1() {
    return tagBytes(makeTag("Song", "Band", "Album", "2004", "", 1, 17));
}

QByteArray local(const QString& path) {
    return QFile::encodeName(path);
}

struct stat statOf(const QString& path) {
    struct stat st {};
    if (::lstat(local(path).constData(), &st) != 0)
        qFatal("cannot stat %s", qPrintable(path));
    return st;
}

QString errorOf(const QString& path) {
    try {
        RemoveAllTags(path);
    } catch (const CommandError& e) {
        return e.message();
    }
    return QString();
}

} // namespace

class TestTagRemoval : public QObject {
    Q_OBJECT

private slots:
    void removal_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray body = audio(20000);
        QByteArray strayMagic = body;
        strayMagic.replace(body.size() - 700, 3, "TAG");
        strayMagic.replace(body.size() - 400, 3, "ID3");
        strayMagic.replace(body.size() - 128, 3, "ID3"); // an ID3 where a trailer would start
        QByteArray tooLongId3 = body + QByteArray("ID3\x03\0\0\0\0\x7f\x7f", 10) + audio(100);

        QTest::newRow("ID3v1 only") << body + v1() << body;
        QTest::newRow("leading ID3v2") << id3v2(1000) + body << body;
        QTest::newRow("leading ID3v2 with footer") << id3v2(1000, true) + body << body;
        QTest::newRow("Lyrics3v2 and ID3v1") << body + lyrics3v2(600) + v1() << body;
        QTest::newRow("Lyrics3v2 over 1 KiB and ID3v1") << body + lyrics3v2(3000) + v1() << body;
        QTest::newRow("Lyrics3v2 with a wrong size field") << body + lyrics3v2(600, 999999) + v1() << body;
        QTest::newRow("LYRICSBEGIN without LYRICS200")
            << body + "LYRICSBEGIN" + audio(200) + v1() << body + "LYRICSBEGIN" + audio(200);
        QTest::newRow("TAG and ID3 inside the audio") << strayMagic << strayMagic;
        QTest::newRow("ID3 header larger than the rest") << tooLongId3 << tooLongId3;
        QTest::newRow("TAG not 128 bytes from the end") << body + v1() + "x" << body + v1() + "x";
        QTest::newRow("trailing ID3v2") << body + id3v2(300) << body;
        QTest::newRow("trailing ID3v2.4 with footer and ID3v1") << body + id3v2(300, true, 4) + v1() << body;
        QTest::newRow("every kind at once") << id3v2(700) + body + id3v2(200) + lyrics3v2(100) + v1() << body;
        QTest::newRow("only an ID3v2 tag") << id3v2(500) << QByteArray();
        QTest::newRow("only an ID3v1 tag") << v1() << v1();
        QTest::newRow("no tags") << body << body;
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("5 bytes") << QByteArray("ID3ab") << QByteArray("ID3ab");
        // "ID3" whose size bytes have their high bit set is no tag: the front is audio.
        const QByteArray badSize = QByteArray("ID3\x03\0\0\0\0\x80\x0a", 10) + body;
        QTest::newRow("leading ID3 with a bad size byte") << badSize << badSize;
        const QByteArray badVersion = QByteArray("ID3\x05\0\0\0\0\0\x0a", 10) + body + v1();
        QTest::newRow("leading ID3 of an unknown version")
            << badVersion << badVersion.left(badVersion.size() - 128);
    }
    void removal() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("song.mp3"));
        write(file, content);
        const struct timespec old[2] = {{978307200, 0}, {978307200, 0}}; // 2001-01-01
        QVERIFY(::utimensat(AT_FDCWD, local(file).constData(), old, 0) == 0);

        QCOMPARE(RemoveAllTags(file), content != expected);
        QCOMPARE(read(file), expected);
        if (content == expected)
            QCOMPARE(statOf(file).st_mtim.tv_sec, old[0].tv_sec); // not written at all
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("song.mp3")});
    }

    void peerTaggedFixture() {
        QTemporaryDir dir;
        const QString file = copyFixture(QStringLiteral("peer-id3v2-and-id3v1.mp3"), dir.path());
        QVERIFY(RemoveAllTags(file));
        QCOMPARE(read(file), read(fixture(QStringLiteral("cbr128-stereo-44k-noinfo.mp3"))));
    }

    void readOnly_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("with a tag") << audio(3000) + v1() << "File access denied";
        QTest::newRow("without tags") << audio(3000) << "";
    }
    void readOnly() {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("ro.mp3"));
        write(file, content);
        QVERIFY(::chmod(local(file).constData(), 0444) == 0);
        QCOMPARE(errorOf(file), message);
        QCOMPARE(read(file), content);
        QCOMPARE(statOf(file).st_mode & 07777, mode_t(0444));
    }

    void failures_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("leading tag larger than the file")
            << id3v2(5000).left(3000) + v1() << "Range check error";
        QTest::newRow("leading tag one byte short") << id3v2(5000, true).chopped(1) << "Range check error";
    }
    void failures() {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("bad.mp3"));
        write(file, content);
        QCOMPARE(errorOf(file), message);
        QCOMPARE(read(file), content);
    }

    void missingFile() {
        QTemporaryDir dir;
        QCOMPARE(errorOf(dir.filePath(QStringLiteral("gone.mp3"))), QStringLiteral("File not found"));
    }

    // The rewrite runs into the file-size limit halfway: the original stays as it was and the
    // temporary file is gone.
    void writeFailureLeavesOriginal() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("big.mp3"));
        const QByteArray content = id3v2(1000) + audio(400000) + v1();
        write(file, content);
        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = old;
        limited.rlim_cur = 200000;
        setrlimit(RLIMIT_FSIZE, &limited);
        const QString message = errorOf(file);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(message, QStringLiteral("Disk full"));
        QCOMPARE(read(file), content);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("big.mp3")});
    }

    void frontCutKeepsPermissions() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("perm.mp3"));
        write(file, id3v2(100) + audio(5000) + v1());
        QVERIFY(::chmod(local(file).constData(), 0640) == 0);
        QVERIFY(RemoveAllTags(file));
        QCOMPARE(read(file), audio(5000));
        QCOMPARE(statOf(file).st_mode & 07777, mode_t(0640));
    }

    // A link in the list stays a link; the file it points to loses its tags.
    void symbolicLinkStaysALink() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("real")));
        const QString target = dir.filePath(QStringLiteral("real/song.mp3"));
        const QString link = dir.filePath(QStringLiteral("link.mp3"));
        write(target, id3v2(100) + audio(5000));
        QVERIFY(::symlink("real/song.mp3", local(link).constData()) == 0);
        QVERIFY(RemoveAllTags(link));
        QVERIFY(S_ISLNK(statOf(link).st_mode));
        QCOMPARE(read(target), audio(5000));
        QCOMPARE(QDir(dir.filePath(QStringLiteral("real")))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("song.mp3")});
    }
};

QTEST_GUILESS_MAIN(TestTagRemoval)
#include "TestTagRemoval.moc"
