#include "core/IoError.h"
#include "core/TagFile.h"
#include "core/TagRemoval.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
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

// A POSIX access ACL as the kernel stores it: the owner, one named user, the owning group, the
// mask and others. `defaultAcl` makes it a folder's default ACL of the same entries.
QByteArray aclBytes(uint32_t namedUser) {
    QByteArray acl;
    auto put32 = [&](uint32_t v) { acl.append(reinterpret_cast<const char*>(&v), 4); };
    auto entry = [&](uint16_t tag, uint16_t perm, uint32_t id) {
        acl.append(reinterpret_cast<const char*>(&tag), 2);
        acl.append(reinterpret_cast<const char*>(&perm), 2);
        put32(id);
    };
    put32(2);                   // version
    entry(0x01, 6, 0xFFFFFFFF); // owner rw
    entry(0x02, 6, namedUser);  // named user rw
    entry(0x04, 4, 0xFFFFFFFF); // group r
    entry(0x10, 6, 0xFFFFFFFF); // mask rw
    entry(0x20, 4, 0xFFFFFFFF); // others r
    return acl;
}

QByteArray attribute(const QString& path, const char* name) {
    QByteArray value(4096, '\0');
    const ssize_t n = ::getxattr(local(path).constData(), name, value.data(), size_t(value.size()));
    return n < 0 ? QByteArray() : value.left(n);
}

// Sets the hook that sees each change as it is given, for one scope.
class ChangeGivenHook {
public:
    explicit ChangeGivenHook(std::function<void(const QString&)> hook) {
        SetChangeGivenHook(std::move(hook));
    }
    ~ChangeGivenHook() { SetChangeGivenHook({}); }
    ChangeGivenHook(const ChangeGivenHook&) = delete;
    ChangeGivenHook& operator=(const ChangeGivenHook&) = delete;
};

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
        QTest::newRow("ID3v1 then an appended ID3v2.4") << body + v1() + id3v2(300, true, 4) << body;
        // A well-formed ID3v2 tag near the end that does not end the file is audio for the cut: a
        // short song appended to another, a tag block in front of the last frames.
        const QByteArray appendedSong = body + id3v2(300) + audio(2004, 'z');
        QTest::newRow("ID3v2 before the last frames") << appendedSong << appendedSong;
        QTest::newRow("ID3v2 before the last frames, then ID3v1") << appendedSong + v1() << appendedSong;
        QTest::newRow("ID3v2 one byte short of the end")
            << body + id3v2(300) + "x" << body + id3v2(300) + "x";
        QTest::newRow("ID3v2 one byte short of the ID3v1")
            << body + id3v2(300) + "x" + v1() << body + id3v2(300) + "x";
        QTest::newRow("ID3v2 before a Lyrics3v2 block and ID3v1")
            << body + id3v2(300) + lyrics3v2(400) + v1() << body;
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

    // Removing tags changes the content only: the file keeps its owner, group, mode, extended
    // attributes and ACL, whether it is renamed over or rewritten in place.
    void rewriteKeepsTheFile_data() {
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("renamed over") << false;
        QTest::newRow("in place") << true;
    }

    void rewriteKeepsTheFile() {
        QFETCH(bool, inPlace);
        if (::geteuid() != 0)
            QSKIP("giving a file to another owner needs root");
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("song.mp3"));
        write(file, id3v2(1000) + audio(6000) + v1());
        const QByteArray path = local(file);
        QVERIFY(::chown(path.constData(), 65534, 65534) == 0);
        QVERIFY(::chmod(path.constData(), 02664) == 0);
        if (::setxattr(path.constData(), "user.morwick", "kept", 4, 0) != 0)
            QSKIP("the temporary folder's file system keeps no extended attributes");
        const QByteArray acl = aclBytes(4321);
        QVERIFY(::setxattr(path.constData(), "system.posix_acl_access", acl.constData(), size_t(acl.size()),
                           0) == 0);
        const struct stat before = statOf(file);

        QVERIFY(RemoveAllTags(file, inPlace ? RewriteMode::InPlace : RewriteMode::Auto));
        QCOMPARE(read(file), audio(6000));
        const struct stat after = statOf(file);
        QCOMPARE(after.st_uid, uid_t(65534));
        QCOMPARE(after.st_gid, gid_t(65534));
        QCOMPARE(after.st_mode & 07777, before.st_mode & 07777);
        QCOMPARE(attribute(file, "user.morwick"), QByteArray("kept"));
        QCOMPARE(attribute(file, "system.posix_acl_access"), acl);
        QCOMPARE(after.st_ino == before.st_ino, inPlace);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("song.mp3")});
    }

    // A folder's default ACL would give the temporary an ACL the file never had; it does not
    // come with the rewrite.
    void folderDefaultAclNotGiven() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("song.mp3"));
        write(file, id3v2(100) + audio(3000));
        const QByteArray acl = aclBytes(4321);
        if (::setxattr(local(dir.path()).constData(), "system.posix_acl_default", acl.constData(),
                       size_t(acl.size()), 0) != 0)
            QSKIP("the temporary folder's file system keeps no ACLs");
        QVERIFY(RemoveAllTags(file));
        QCOMPARE(read(file), audio(3000));
        QCOMPARE(attribute(file, "system.posix_acl_access"), QByteArray());
    }

    // A file with another name stays one file: both names lose the tags.
    void hardLinkedFileStaysOne() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("song.mp3"));
        const QString other = dir.filePath(QStringLiteral("other name.mp3"));
        write(file, id3v2(500) + audio(4000) + v1());
        QVERIFY(::link(local(file).constData(), local(other).constData()) == 0);
        const ino_t ino = statOf(file).st_ino;
        QVERIFY(RemoveAllTags(file));
        QCOMPARE(read(file), audio(4000));
        QCOMPARE(read(other), audio(4000));
        QCOMPARE(statOf(file).st_ino, ino);
        QCOMPARE(statOf(file).st_nlink, nlink_t(2));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
                 2);
    }

    // A user who may write the file (and its folder) but cannot give a new file the file's owner
    // gets the tags removed through the file itself: the owner stays.
    void ownerThatCannotBeGivenBack() {
        if (::geteuid() != 0)
            QSKIP("running as another user needs root");
        QTemporaryDir dir;
        QVERIFY(::chmod(local(dir.path()).constData(), 0777) == 0);
        const QString file = dir.filePath(QStringLiteral("shared.mp3"));
        write(file, id3v2(700) + audio(5000) + v1());
        QVERIFY(::chmod(local(file).constData(), 0666) == 0);
        const ino_t ino = statOf(file).st_ino;
        const pid_t pid = ::fork();
        if (pid == 0) {
            qputenv("XDG_STATE_HOME", local(dir.filePath(QStringLiteral("state"))));
            bool removed = false;
            if (::setgid(65534) == 0 && ::setuid(65534) == 0) {
                try {
                    removed = RemoveAllTags(file);
                } catch (const CommandError&) {
                }
            }
            ::_exit(removed ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QCOMPARE(read(file), audio(5000));
        const struct stat after = statOf(file);
        QCOMPARE(after.st_uid, uid_t(0));
        QCOMPARE(after.st_ino, ino);
        QCOMPARE(after.st_mode & 07777, mode_t(0666));
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

    // A batch's group of removals: each file ends byte for byte as alone, keeping its own mode and
    // attributes; a replaced file is never kept for a later song, so a reader that holds one goes on
    // reading its old content and no name leads to it.
    void groupEndsEachAsAlone() {
        QTemporaryDir dir;
        struct Song {
            const char* name;
            QByteArray content, expected;
            mode_t mode;
        };
        const std::vector<Song> songs{
            {"a.mp3", id3v2(1000) + audio(9000, 'a') + v1(), audio(9000, 'a'), 0640},
            {"b.mp3", id3v2(300) + audio(4000, 'b'), audio(4000, 'b'), 0604},
            {"c.mp3", audio(3000, 'c') + v1(), audio(3000, 'c'), 0644},
            {"d.mp3", id3v2(200) + audio(20000, 'd') + v1(), audio(20000, 'd'), 0600},
            {"e.mp3", audio(500, 'e'), audio(500, 'e'), 0644},
        };
        for (const Song& song : songs) {
            const QString file = dir.filePath(QString::fromLatin1(song.name));
            write(file, song.content);
            QVERIFY(::chmod(local(file).constData(), song.mode) == 0);
        }
        const QByteArray first = local(dir.filePath(QStringLiteral("a.mp3")));
        const bool attributes = ::setxattr(first.constData(), "user.morwick", "a", 1, 0) == 0;
        const int held = ::open(first.constData(), O_RDONLY | O_CLOEXEC);
        {
            ChangeGroup group;
            for (const Song& song : songs) {
                QCOMPARE(RemoveAllTags(group, dir.filePath(QString::fromLatin1(song.name))),
                         song.content != song.expected);
                group.finish();
                // No replaced file is kept under another name for a later song.
                QCOMPARE(QDir(dir.path()).entryList({".*morwick*"}, QDir::AllEntries | QDir::Hidden),
                         QStringList());
            }
            QCOMPARE(group.leftAlone(), 0);
        }
        for (const Song& song : songs) {
            const QString file = dir.filePath(QString::fromLatin1(song.name));
            QCOMPARE(read(file), song.expected);
            QCOMPARE(statOf(file).st_mode & 07777, song.mode);
        }
        if (attributes) {
            QCOMPARE(attribute(dir.filePath(QStringLiteral("a.mp3")), "user.morwick"), QByteArray("a"));
            QCOMPARE(attribute(dir.filePath(QStringLiteral("b.mp3")), "user.morwick"), QByteArray());
        }
        QByteArray old(songs[0].content.size(), '\0');
        QCOMPARE(::pread(held, old.data(), size_t(old.size()), 0), ssize_t(old.size()));
        QCOMPARE(old, songs[0].content);
        ::close(held);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
                 5);
    }

    // Another program acts on a song between the moment Morwick read it and the moment its change
    // is made: the song is left alone with what the other program made of it, counted, and no
    // temporary is left. A hard link made meanwhile (a backup or dedup tool) is one such change:
    // the link keeps the song's own bytes, whatever the group does with the next song.
    void otherProgramActs_data() {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QString>("action");
        // As the change is given (after the read), while it is held, or right before the temporary
        // takes the file's place (after the last check: the exchange of names sees it).
        QTest::addColumn<QString>("when");
        for (const char* action : {"link", "save by rename", "write in place", "append"}) {
            QTest::addRow("renamed over, %s", action) << "renamed over" << action << "held";
            QTest::addRow("renamed over, %s after the last check", action)
                << "renamed over" << action << "placing";
            QTest::addRow("in place, %s", action) << "in place" << action << "given";
            QTest::addRow("cut, %s", action) << "cut" << action << "held";
        }
        QTest::addRow("renamed over, save by rename as it is given") << "renamed over"
                                                                     << "save by rename"
                                                                     << "given";
        QTest::addRow("cut, link as it is given") << "cut"
                                                  << "link"
                                                  << "given";
    }
    void otherProgramActs() {
        QFETCH(QString, shape);
        QFETCH(QString, action);
        QFETCH(QString, when);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("a.mp3"));
        const QString next = dir.filePath(QStringLiteral("b.mp3"));
        const QString backup = dir.filePath(QStringLiteral("backup.mp3"));
        const QByteArray content = (shape == "cut" ? QByteArray() : id3v2(700)) + audio(9000, 'a') + v1();
        write(file, content);
        write(next, id3v2(500) + audio(9000, 'b') + v1());
        QByteArray expected = content;
        const auto act = [&] {
            if (action == "link") {
                QVERIFY(::link(local(file).constData(), local(backup).constData()) == 0);
            } else if (action == "save by rename") {
                expected = audio(7000, 'n');
                write(backup, expected);
                QVERIFY(::rename(local(backup).constData(), local(file).constData()) == 0);
            } else if (action == "write in place") {
                expected.replace(5000, 4, "edit");
                QFile f(file);
                QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(5000) && f.write("edit") == 4);
            } else {
                expected += "appended";
                QFile f(file);
                QVERIFY(f.open(QIODevice::Append) && f.write("appended") == 8);
            }
        };
        const ChangeGivenHook hook([&](const QString& path) {
            if (when == "given" && path == file)
                act();
        });
        SetBeforePlaceHook([&](const QString& path) {
            if (when == "placing" && path == file)
                act();
        });
        const auto noHook = qScopeGuard([] { SetBeforePlaceHook({}); });
        {
            ChangeGroup group(shape == "in place" ? RewriteMode::InPlace : RewriteMode::Auto);
            QVERIFY(RemoveAllTags(group, file));
            if (when == "held")
                act();
            group.finish();
            QVERIFY(RemoveAllTags(group, next));
            group.finish();
            QCOMPARE(group.leftAlone(), 1);
        }
        QCOMPARE(read(file), expected);
        QCOMPARE(read(next), audio(9000, 'b'));
        if (action == "link")
            QCOMPARE(read(backup), content);
        QCOMPARE(QDir(dir.path()).entryList({".*morwick*"}, QDir::AllEntries | QDir::Hidden), QStringList());
    }

    // Root at work in a folder other users may change. A song of another owner is stripped through
    // its own descriptor, keeping its inode and owner; a symbolic link its owner flips to a file only
    // root may read, after Morwick read the song through it, never leads Morwick to that file; a
    // temporary another user moves away and replaces with a file of their own never takes the
    // song's place.
    void rootInSharedFolder_data() {
        QTest::addColumn<bool>("sticky");
        QTest::addColumn<QString>("game");
        for (const bool sticky : {false, true}) {
            const char* mode = sticky ? "01777" : "0777";
            QTest::addRow("%s, another owner's song", mode) << sticky << "none";
            QTest::addRow("%s, link flipped to a root-only file as the song is given", mode)
                << sticky << "flip";
            QTest::addRow("%s, link flipped before the group ends", mode) << sticky << "late flip";
            QTest::addRow("%s, root's song, its temporary replaced", mode) << sticky << "swap";
        }
    }
    void rootInSharedFolder() {
        QFETCH(bool, sticky);
        QFETCH(QString, game);
        if (::geteuid() != 0)
            QSKIP("other users and root-only files need root");
        QTemporaryDir dir;
        QVERIFY(::chmod(local(dir.path()).constData(), 0755) == 0);
        const QString shared = dir.filePath(QStringLiteral("shared"));
        const QString secret = dir.filePath(QStringLiteral("private/secret.mp3"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("shared")) &&
                QDir(dir.path()).mkdir(QStringLiteral("private")));
        // The other user's own folder: the kernel's guard on links in sticky folders (which covers
        // only links whose owner is not the folder's) leaves the game to Morwick.
        QVERIFY(::chown(local(shared).constData(), 65534, 65534) == 0);
        QVERIFY(::chmod(local(shared).constData(), sticky ? 01777 : 0777) == 0);
        QVERIFY(::chmod(local(dir.filePath(QStringLiteral("private"))).constData(), 0700) == 0);
        const QByteArray secretContent = id3v2(400) + audio(6000, 's') + v1();
        write(secret, secretContent);
        QVERIFY(::chmod(local(secret).constData(), 0600) == 0);
        // As the other user, in the shared folder.
        const auto asUser = [&](const QString& command) {
            QProcess shell;
            shell.setWorkingDirectory(shared);
            shell.start(QStringLiteral("setpriv"),
                        {"--reuid=65534", "--regid=65534", "--clear-groups", "sh", "-c", command});
            return shell.waitForFinished() && shell.exitStatus() == QProcess::NormalExit &&
                   shell.exitCode() == 0;
        };

        const QString song = shared + QStringLiteral("/song.mp3");
        const QByteArray content = id3v2(700) + audio(8000, 'a') + v1();
        write(song, content);
        const bool rootsSong = game == "swap";
        if (!rootsSong)
            QVERIFY(::chown(local(song).constData(), 65534, 65534) == 0);
        const struct stat before = statOf(song);
        QString given = song;
        if (game.contains("flip")) {
            QVERIFY(asUser(QStringLiteral("ln -s song.mp3 link.mp3")));
            given = shared + QStringLiteral("/link.mp3");
        }
        const QString flip = QStringLiteral("ln -sfn '%1' link.mp3").arg(secret);
        const ChangeGivenHook hook([&](const QString&) {
            if (game == "flip")
                QVERIFY(asUser(flip));
        });
        int leftAlone = 0;
        {
            ChangeGroup group;
            QVERIFY(RemoveAllTags(group, given));
            if (game == "late flip")
                QVERIFY(asUser(flip));
            if (game == "swap") // the folder's owner may move any entry, sticky or not
                QVERIFY(asUser(QStringLiteral("for f in .song.mp3.morwick-*; do mv \"$f\" moved && "
                                              "printf theirs > \"$f\"; done")));
            group.finish();
            leftAlone = group.leftAlone();
        }
        QCOMPARE(read(secret), secretContent);
        QCOMPARE(statOf(secret).st_uid, uid_t(0));
        QCOMPARE(statOf(secret).st_mode & 07777, mode_t(0600));
        const bool untouched = game == "flip" || game == "swap";
        QCOMPARE(leftAlone, untouched ? 1 : 0);
        QCOMPARE(read(song), untouched ? content : audio(8000, 'a'));
        const struct stat after = statOf(song);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_mode & 07777, before.st_mode & 07777);
        if (!rootsSong)
            QCOMPARE(after.st_ino, before.st_ino); // through its own descriptor
    }

    // A symbolic link someone else made may lead to any file: tags are written or removed through
    // it only when it is the user's own, root's, or made by the owner of the file it leads to.
    void linkOfAnotherUser_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<uint>("fileOwner");
        QTest::addColumn<bool>("allowed");
        for (const char* command : {"write tag", "update tag", "remove tags", "cut trailer"}) {
            QTest::addRow("%s, to a file of the user's", command) << command << uint(::geteuid()) << false;
            QTest::addRow("%s, to a file of the link's owner", command) << command << 65534u << true;
        }
    }
    void linkOfAnotherUser() {
        QFETCH(QString, command);
        QFETCH(uint, fileOwner);
        QFETCH(bool, allowed);
        if (::geteuid() != 0)
            QSKIP("a link of another user needs root to make");
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("target.mp3"));
        const QString link = dir.filePath(QStringLiteral("link.mp3"));
        const QByteArray content =
            (command == "cut trailer" ? QByteArray() : id3v2(300)) + audio(5000, 't') + v1();
        write(target, content);
        QVERIFY(::chown(local(target).constData(), fileOwner, fileOwner) == 0);
        QVERIFY(::chmod(local(target).constData(), 0644) == 0);
        QVERIFY(::symlink("target.mp3", local(link).constData()) == 0);
        QVERIFY(::lchown(local(link).constData(), 65534, 65534) == 0);

        bool done = false;
        QString error;
        try {
            if (command == "write tag") {
                done = WriteTag(link, FileTag{});
            } else if (command == "update tag") {
                done = UpdateTag(link, [](FileTag&) { return false; });
            } else {
                done = RemoveAllTags(link);
            }
        } catch (const CommandError& e) {
            error = e.message();
        }
        QCOMPARE(done, allowed);
        if (!allowed) {
            QCOMPARE(read(target), content);
            if (command.contains("tags") || command.contains("trailer"))
                QCOMPARE(error, QStringLiteral("File access denied"));
        }
        QCOMPARE(statOf(target).st_uid, uid_t(fileOwner));
    }

    // A held rewrite that cannot take its file's place ends the group there: the ones before it
    // are done, it and the ones after it stay as they were, and no temporary is left.
    void groupFailureDropsTheRest() {
        QTemporaryDir dir;
        const QStringList names{"a.mp3", "b.mp3", "c.mp3"};
        for (const QString& name : names)
            write(dir.filePath(name), id3v2(400) + audio(5000, name[0].toLatin1()));
        ChangeGroup group;
        for (const QString& name : names)
            QVERIFY(RemoveAllTags(group, dir.filePath(name)));
        for (const QString& temp :
             QDir(dir.path()).entryList({".b.mp3.morwick-*"}, QDir::Files | QDir::Hidden))
            QVERIFY(QFile::remove(dir.filePath(temp)));
        try {
            group.finish();
            QFAIL("the group ended whole");
        } catch (const GroupFailure& failure) {
            QCOMPARE(failure.path(), dir.filePath(QStringLiteral("b.mp3")));
            QCOMPARE(failure.message(), QStringLiteral("File not found"));
        }
        QCOMPARE(read(dir.filePath(QStringLiteral("a.mp3"))), audio(5000, 'a'));
        QCOMPARE(read(dir.filePath(QStringLiteral("b.mp3"))), id3v2(400) + audio(5000, 'b'));
        QCOMPARE(read(dir.filePath(QStringLiteral("c.mp3"))), id3v2(400) + audio(5000, 'c'));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), names);
    }

    // The same file through a second name: the held change is made before it is read again, so
    // the second finds nothing left to remove.
    void sameFileTwiceInAGroup() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("song.mp3"));
        write(file, id3v2(100) + audio(5000) + v1());
        QVERIFY(::symlink("song.mp3", local(dir.filePath(QStringLiteral("link.mp3"))).constData()) == 0);
        ChangeGroup group;
        QVERIFY(RemoveAllTags(group, file));
        QVERIFY(!RemoveAllTags(group, dir.filePath(QStringLiteral("link.mp3"))));
        group.finish();
        QCOMPARE(read(file), audio(5000));
    }
};

QTEST_GUILESS_MAIN(TestTagRemoval)
#include "TestTagRemoval.moc"
