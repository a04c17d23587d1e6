// The journal when others act: a second Morwick, another user's state, a full disk, a file given
// a freed inode number, a journal far larger than memory should hold.

#include "core/FileIdentity.h"
#include "core/FileName.h"
#include "core/Id3Tag.h"
#include "core/IoError.h"
#include "core/Journal.h"
#include "core/JournalHooks.h"
#include "core/RenameFile.h"
#include "core/TagFile.h"
#include "core/TagRemoval.h"
#include "support/FileSizeLimit.h"
#include "support/TestFiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testfiles;

namespace {

constexpr int kPage = 4096;

FileTag newTag() {
    return FileTag{makeTag("New Song", "New Band"), true};
}

// Morwick's temporaries in `dir` (the working directory by default).
QStringList temporaries(const QString& dir = QStringLiteral(".")) {
    QStringList found;
    for (const QString& name : QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (name.contains(QLatin1String(".morwick-")))
            found << name;
    }
    return found;
}

int openDescriptors() {
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                   .size());
}

ino_t inodeOf(const char* path) {
    struct stat st {};
    return ::lstat(path, &st) == 0 ? st.st_ino : 0;
}

// A song whose tags go by a copy back through its own descriptor (it has a second name), killed
// (or stopped by an error) once `cut` bytes are written: past 20000 the copy back is cut short.
const QByteArray kMusic = audio(20000);
const QByteArray kSong = id3v2Tag(2000) + kMusic + tagBytes(makeTag("Old Song"));
constexpr int kCutInCopyBack = 20000 + 3 * kPage + 61;

void killInCopyBack() {
    write(QStringLiteral("song.mp3"), kSong);
    QVERIFY(killedBySigkill(inChild([] {
        journal::KillAfterBytes(kCutInCopyBack);
        RemoveAllTags(QStringLiteral("song.mp3"), RewriteMode::InPlace);
    })));
    QVERIFY(read(QStringLiteral("song.mp3")) != kSong);
    QCOMPARE(temporaries().size(), 1);
}

// A peak of this process's resident memory, in KiB, from /proc/self/status.
qint64 statusKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// A small file system of its own (root only); unmounted when it goes.
class TmpfsMount {
public:
    explicit TmpfsMount(const char* size) {
        if (::geteuid() != 0 || !dir_.isValid())
            return;
        const QByteArray options = QByteArray("size=") + size + ",mode=0700";
        mounted_ = ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0,
                           options.constData()) == 0;
    }
    ~TmpfsMount() {
        if (mounted_)
            ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};

} // namespace

class TestJournalSafety : public QObject {
    Q_OBJECT

private:
    QTemporaryDir state_;

    QString stateFolder() const { return state_.filePath(QStringLiteral("morwick")); }

    QStringList journals() const {
        return QDir(stateFolder()).entryList({QStringLiteral("journal*")}, QDir::Files | QDir::System);
    }

private slots:
    void initTestCase() {
        QVERIFY(state_.isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(state_.path()));
        // A write past a file-size limit fails as a full disk would.
        std::signal(SIGXFSZ, SIG_IGN);
    }

    void init() {
        // Each case starts without journals, in a folder that is the user's own and private.
        QDir folder(stateFolder());
        for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System))
            QVERIFY(folder.remove(name));
        journal::KillAfterBytes(-1);
        journal::FailAfterBytes(-1);
    }

    // A second Morwick's command, run while the first is killed or still running, neither replaces
    // nor removes the first one's journal: its copy back cut short is finished at the next start.
    void secondMorwickKeepsFirstsJournal_data() {
        QTest::addColumn<bool>("firstRunning");
        QTest::newRow("first killed before") << false;
        QTest::newRow("first running meanwhile") << true;
    }

    void secondMorwickKeepsFirstsJournal() {
        QFETCH(bool, firstRunning);
        WorkDir dir;
        write(QStringLiteral("other.mp3"), audio(3000));
        write(QStringLiteral("first.mp3"), audio(3000));
        const auto secondsCommand = [] {
            const JournalCommand command(QStringLiteral("Tag files"));
            QVERIFY(WriteTag(QStringLiteral("other.mp3"), newTag()));
        };
        if (!firstRunning) {
            killInCopyBack();
            secondsCommand();
        } else {
            write(QStringLiteral("song.mp3"), kSong);
            int ready[2], go[2];
            QCOMPARE(::pipe(ready), 0);
            QCOMPARE(::pipe(go), 0);
            const pid_t first = ::fork();
            if (first == 0) {
                const JournalCommand command(QStringLiteral("Remove all tags"));
                WriteTag(QStringLiteral("first.mp3"), newTag()); // its journal is begun, and held
                char c = 0;
                [[maybe_unused]] ssize_t n = ::write(ready[1], "r", 1);
                n = ::read(go[0], &c, 1);
                journal::KillAfterBytes(kCutInCopyBack);
                RemoveAllTags(QStringLiteral("song.mp3"), RewriteMode::InPlace);
                ::_exit(0);
            }
            char c = 0;
            QCOMPARE(::read(ready[0], &c, 1), 1);
            secondsCommand();
            QVERIFY(RecoverJournal().isEmpty()); // the running one's journal is left alone
            QCOMPARE(::write(go[1], "g", 1), 1);
            int status = 0;
            ::waitpid(first, &status, 0);
            QVERIFY(killedBySigkill(status));
            for (int fd : {ready[0], ready[1], go[0], go[1]})
                ::close(fd);
            QCOMPARE(temporaries().size(), 1);
        }
        QCOMPARE(journals().size(), 2);
        QVERIFY(RecoverJournal().isEmpty());
        QCOMPARE(read(QStringLiteral("song.mp3")), kMusic);
        QCOMPARE(temporaries(), QStringList());
    }

    // A state folder or journal that is not the user's own and private is not used: recovery
    // leaves it (and the temporaries it may need) alone and says so once; mended, it is used.
    void untrustedStateIsNotUsed_data() {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<bool>("needsRoot");
        QTest::newRow("journal open to others") << QStringLiteral("journal 0644") << false;
        QTest::newRow("journal of another user") << QStringLiteral("journal owner") << true;
        QTest::newRow("journal a symbolic link") << QStringLiteral("journal link") << false;
        QTest::newRow("folder open to others") << QStringLiteral("folder 0755") << false;
        QTest::newRow("folder of another user") << QStringLiteral("folder owner") << true;
        QTest::newRow("folder a symbolic link") << QStringLiteral("folder link") << false;
    }

    void untrustedStateIsNotUsed() {
        QFETCH(QString, shape);
        QFETCH(bool, needsRoot);
        if (needsRoot && ::geteuid() != 0)
            QSKIP("another user's files are made by root");
        WorkDir dir;
        killInCopyBack();
        const QByteArray torn = read(QStringLiteral("song.mp3"));
        QCOMPARE(journals().size(), 1);
        const QByteArray folder = QFile::encodeName(stateFolder());
        const QByteArray journal = folder + '/' + QFile::encodeName(journals().first());
        const QByteArray aside = QFile::encodeName(state_.filePath(QStringLiteral("aside")));
        std::function<void()> mend;
        if (shape == QLatin1String("journal 0644")) {
            QCOMPARE(::chmod(journal.constData(), 0644), 0);
            mend = [=] { ::chmod(journal.constData(), 0600); };
        } else if (shape == QLatin1String("journal owner")) {
            QCOMPARE(::chown(journal.constData(), 65534, 65534), 0);
            mend = [=] { [[maybe_unused]] int rc = ::chown(journal.constData(), 0, 0); };
        } else if (shape == QLatin1String("journal link")) {
            QCOMPARE(::rename(journal.constData(), aside.constData()), 0);
            QCOMPARE(::symlink(aside.constData(), journal.constData()), 0);
            mend = [=] { ::rename(aside.constData(), journal.constData()); };
        } else if (shape == QLatin1String("folder 0755")) {
            QCOMPARE(::chmod(folder.constData(), 0755), 0);
            mend = [=] { ::chmod(folder.constData(), 0700); };
        } else if (shape == QLatin1String("folder owner")) {
            QCOMPARE(::chown(folder.constData(), 65534, 65534), 0);
            mend = [=] { [[maybe_unused]] int rc = ::chown(folder.constData(), 0, 0); };
        } else {
            QCOMPARE(::rename(folder.constData(), aside.constData()), 0);
            QCOMPARE(::symlink(aside.constData(), folder.constData()), 0);
            mend = [=] {
                ::unlink(folder.constData());
                ::rename(aside.constData(), folder.constData());
            };
        }
        const JournalReport report = RecoverJournal();
        QCOMPARE(report.notes.size(), 1);
        QVERIFY(report.text().contains(QLatin1String("another user")));
        RemoveStaleTemporaries(dir.path());
        QCOMPARE(read(QStringLiteral("song.mp3")), torn);
        QCOMPARE(temporaries().size(), 1);
        QVERIFY(!CanUndo());

        mend();
        QVERIFY(RecoverJournal().isEmpty());
        QCOMPARE(read(QStringLiteral("song.mp3")), kMusic);
        QCOMPARE(temporaries(), QStringList());
    }

    // A copy back cut short by an error leaves its command without the End record: the next start
    // (after another command, too) finishes it from the temporary, which stays until then.
    void unfinishedCommandIsRecovered_data() {
        QTest::addColumn<bool>("anotherCommand");
        QTest::addColumn<bool>("recoveryFailsFirst");
        QTest::newRow("next start") << false << false;
        QTest::newRow("another command first") << true << false;
        QTest::newRow("a start whose recovery fails first") << false << true;
    }

    void unfinishedCommandIsRecovered() {
        QFETCH(bool, anotherCommand);
        QFETCH(bool, recoveryFailsFirst);
        WorkDir dir;
        write(QStringLiteral("song.mp3"), kSong);
        write(QStringLiteral("other.mp3"), audio(3000));
        {
            const JournalCommand command(QStringLiteral("Remove all tags"));
            journal::FailAfterBytes(kCutInCopyBack);
            QVERIFY_THROWS_EXCEPTION(CommandError,
                                     RemoveAllTags(QStringLiteral("song.mp3"), RewriteMode::InPlace));
            journal::FailAfterBytes(-1);
        }
        QVERIFY(read(QStringLiteral("song.mp3")) != kSong);
        QCOMPARE(temporaries().size(), 1);
        if (anotherCommand) {
            const JournalCommand command(QStringLiteral("Tag files"));
            QVERIFY(WriteTag(QStringLiteral("other.mp3"), newTag()));
        }
        if (recoveryFailsFirst) {
            // The disk is still full: the temporary recovery could not use stays, and is said.
            journal::FailAfterBytes(kPage);
            const JournalReport report = RecoverJournal();
            journal::FailAfterBytes(-1);
            QCOMPARE(report.notes.size(), 1);
            QCOMPARE(temporaries().size(), 1);
            QVERIFY(report.text().contains(temporaries().first()));
        }
        RemoveStaleTemporaries(dir.path()); // a folder opened: what still needs it keeps it
        QVERIFY(RecoverJournal().isEmpty());
        QCOMPARE(read(QStringLiteral("song.mp3")), kMusic);
        QCOMPARE(temporaries(), QStringList());
    }

    // An undo whose copy back is cut short by an error keeps its journal and its temporary: the
    // next start finishes it. Where space can be reserved, a full disk stops it before the file
    // changes at all, and the undo can be tried again once there is room.
    void undoOnFullDisk_data() {
        QTest::addColumn<bool>("fullTmpfs");
        QTest::newRow("error part-way through the copy back") << false;
        QTest::newRow("full disk, space reserved first") << true;
    }

    void undoOnFullDisk() {
        QFETCH(bool, fullTmpfs);
        TmpfsMount small("2m");
        if (fullTmpfs && !small.mounted())
            QSKIP("cannot mount a small tmpfs here (root only)");
        WorkDir work;
        if (fullTmpfs)
            QVERIFY(QDir::setCurrent(small.path()));
        const QByteArray head = id3v2Tag(300 * 1024);
        const QByteArray music = audio(500 * 1024);
        write(QStringLiteral("song.mp3"), head + music);
        // A second name: the file can only be changed through its own descriptor, in place.
        QCOMPARE(::link("song.mp3", "second name.mp3"), 0);
        QVERIFY(RemoveAllTags(QStringLiteral("song.mp3")));
        QCOMPARE(read(QStringLiteral("song.mp3")), music);

        std::function<void()> makeRoom = [] {};
        if (fullTmpfs) {
            struct statvfs fs {};
            QCOMPARE(::statvfs(".", &fs), 0);
            const qint64 free = qint64(fs.f_bavail) * qint64(fs.f_bsize);
            // Room for the undo's temporary, not for the file to grow as well.
            const qint64 fill = free - qint64(head.size() + music.size()) - 100 * 1024;
            QVERIFY(fill > 0);
            write(QStringLiteral("filler"), QByteArray(fill, 'f'));
            makeRoom = [] { QVERIFY(QFile::remove(QStringLiteral("filler"))); };
        } else {
            journal::FailAfterBytes(qint64(head.size() + music.size()) + 100 * 1024);
        }
        const UndoReport report = UndoLastCommand();
        journal::FailAfterBytes(-1);
        QCOMPARE(report.restored, 0);
        QCOMPARE(report.notRestored, 1);
        const QByteArray after = read(QStringLiteral("song.mp3"));
        if (fullTmpfs)
            QCOMPARE(after, music); // failed before the first byte changed
        QCOMPARE(journals().size(), 1);
        QCOMPARE(temporaries().size(), fullTmpfs ? 0 : 1);

        // The next start finishes the copy back; the next undo finds it done (or, where nothing
        // had changed, does it now).
        makeRoom();
        QVERIFY(RecoverJournal().isEmpty());
        if (!fullTmpfs)
            QCOMPARE(read(QStringLiteral("song.mp3")), head + music);
        QVERIFY(CanUndo());
        QCOMPARE(UndoLastCommand().restored, 1);
        QCOMPARE(read(QStringLiteral("song.mp3")), head + music);
        QCOMPARE(read(QStringLiteral("second name.mp3")), head + music);
        QCOMPARE(temporaries(), QStringList());
        QCOMPARE(journals(), QStringList());
        QVERIFY(QDir::setCurrent(work.path()));
    }

    // A batch that expects more changes than the disk has room to journal at once still journals
    // the changes it makes, the journal growing step by step: the command can be undone.
    void noRoomForWhatIsExpected_data() {
        QTest::addColumn<bool>("fullTmpfs");
        QTest::newRow("file-size limit") << false;
        QTest::newRow("journals on a small tmpfs") << true;
    }

    void noRoomForWhatIsExpected() {
        QFETCH(bool, fullTmpfs);
        TmpfsMount small("256k");
        if (fullTmpfs && !small.mounted())
            QSKIP("cannot mount a small tmpfs here (root only)");
        const QByteArray state = qgetenv("XDG_STATE_HOME");
        const auto restoreState = qScopeGuard([&] { qputenv("XDG_STATE_HOME", state); });
        if (fullTmpfs)
            qputenv("XDG_STATE_HOME", QFile::encodeName(small.path()));
        WorkDir work;
        constexpr int kFiles = 200;
        for (int i = 0; i < kFiles; ++i)
            write(QStringLiteral("old %1.mp3").arg(i), "x");
        {
            const JournalCommand command;
            journal::ExpectChanges(100000);
            std::optional<FileSizeLimit> limit;
            if (!fullTmpfs)
                limit.emplace(256 * 1024);
            for (int i = 0; i < kFiles; ++i)
                QVERIFY(RenameFile(QStringLiteral("old %1.mp3").arg(i), QStringLiteral("new %1.mp3").arg(i)));
        }
        QVERIFY(CanUndo());
        QCOMPARE(UndoLastCommand().restored, kFiles);
        QCOMPARE(QDir(QStringLiteral(".")).entryList({QStringLiteral("new *")}), QStringList());
        QCOMPARE(QDir(QStringLiteral(".")).entryList({QStringLiteral("old *")}).size(), kFiles);
    }

    // Records are read one by one: recovering or undoing a journal far larger than the memory
    // it may take leaves the peak of resident memory well below the journal's size.
    void memoryStaysFlat_data() {
        QTest::addColumn<bool>("undo");
        QTest::newRow("start") << false;
        QTest::newRow("undo") << true;
    }

    void memoryStaysFlat() {
        QFETCH(bool, undo);
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer keeps freed memory in quarantine: the peak says nothing here");
#endif
        WorkDir dir;
        constexpr int kRecords = 160;
        constexpr int kHead = 1 << 20;
        write(QStringLiteral("song.mp3"), audio(5000));
        // A command that removed a 1 MiB head from 160 songs, as the journal sees it; killed before
        // its end (start) or ended whole (undo).
        QVERIFY(WIFEXITED(inChild([&] {
            const JournalCommand command(QStringLiteral("Remove all tags"));
            const QByteArray head = id3v2Tag(kHead - 10);
            const int fd = ::open("song.mp3", O_RDONLY | O_CLOEXEC);
            struct stat st {};
            ::fstat(fd, &st);
            const FileIdentity file = IdentityOf(fd, st);
            for (int i = 0; i < kRecords; ++i) {
                st.st_size = kHead + 5000;
                const uint32_t id = journal::AnnounceRemoval(file, st, "song.mp3", "song.mp3", head, {});
                journal::Done(id, fd);
            }
            if (!undo)
                ::_exit(0); // the End record is never written
        })));
        qint64 size = 0;
        for (const QString& name : journals())
            size += QFileInfo(QDir(stateFolder()).filePath(name)).size();
        QVERIFY(size >= qint64(kRecords) * kHead);

        int report[2];
        QCOMPARE(::pipe(report), 0);
        QVERIFY(WIFEXITED(inChild([&] {
            const qint64 before = statusKiB("VmRSS:");
            if (undo)
                UndoLastCommand();
            else
                RecoverJournal();
            const qint64 grown = statusKiB("VmHWM:") - before;
            [[maybe_unused]] ssize_t n = ::write(report[1], &grown, sizeof grown);
        })));
        qint64 grownKiB = -1;
        QCOMPARE(::read(report[0], &grownKiB, sizeof grownKiB), qint64(sizeof grownKiB));
        ::close(report[0]);
        ::close(report[1]);
        QVERIFY2(
            grownKiB >= 0 && grownKiB < 64 * 1024,
            qPrintable(
                QStringLiteral("grew by %1 KiB over a journal of %2 KiB").arg(grownKiB).arg(size / 1024)));
    }

    // A file that took a freed inode number is not the file a record names: recovery never writes
    // a copy back over it, and an undo never renames a new folder that took an old one's number.
    void freedInodeNumberIsNotTheFile_data() {
        QTest::addColumn<bool>("folder");
        QTest::newRow("copy back at the next start") << false;
        QTest::newRow("folder rename undone") << true;
    }

    void freedInodeNumberIsNotTheFile() {
        QFETCH(bool, folder);
        WorkDir dir;
        const char* name = folder ? "New Album" : "song.mp3";
        if (folder) {
            QVERIFY(QDir().mkdir(QStringLiteral("Old Album")));
            QVERIFY(RenameFile(QStringLiteral("Old Album"), QStringLiteral("New Album")));
        } else {
            killInCopyBack();
        }
        const ino_t old = inodeOf(name);
        QVERIFY(folder ? ::rmdir(name) == 0 : ::unlink(name) == 0);
        bool reused = false;
        for (int i = 0; i < 200 && !reused; ++i) {
            const QByteArray candidate = "candidate " + QByteArray::number(i);
            if (folder)
                QCOMPARE(::mkdir(candidate.constData(), 0755), 0);
            else
                write(QString::fromLatin1(candidate), "the user's new file");
            reused = inodeOf(candidate.constData()) == old;
            if (reused)
                QCOMPARE(::rename(candidate.constData(), name), 0);
        }
        if (!reused)
            QSKIP("the file system gave no freed inode number again");
        if (folder) {
            const UndoReport report = UndoLastCommand();
            QCOMPARE(report.restored, 0);
            QCOMPARE(report.notRestored, 1);
            QVERIFY(QFileInfo(QStringLiteral("New Album")).isDir());
            QVERIFY(!QFileInfo::exists(QStringLiteral("Old Album")));
        } else {
            const JournalReport report = RecoverJournal();
            QCOMPARE(read(QStringLiteral("song.mp3")), QByteArray("the user's new file"));
            // The temporary recovery could not use stays, and is said.
            QCOMPARE(temporaries().size(), 1);
            QCOMPARE(report.notes.size(), 1);
            QVERIFY(report.text().contains(temporaries().first()));
        }
    }

    // A rename made by linking the new name and unlinking the old, killed between the two: the
    // file is under both names; recovery ends the rename, and its undo gives the old name back.
    void renameFallbackKilledBetweenSteps() {
        WorkDir dir;
        write(QStringLiteral("old.mp3"), audio(700));
        QVERIFY(killedBySigkill(inChild([] {
            const journal::ChangeScope scope;
            struct stat st {};
            const std::optional<FileIdentity> file = IdentityAt(AT_FDCWD, "old.mp3", &st);
            journal::AnnounceRename(*file, "old.mp3", "new.mp3");
            ::link("old.mp3", "new.mp3");
            ::raise(SIGKILL);
        })));
        QCOMPARE(listing(), QStringList({QStringLiteral("new.mp3"), QStringLiteral("old.mp3")}));
        QVERIFY(RecoverJournal().isEmpty());
        QCOMPARE(listing(), QStringList({QStringLiteral("new.mp3")}));
        QCOMPARE(read(QStringLiteral("new.mp3")), audio(700));
        QCOMPARE(UndoLastCommand().restored, 1);
        QCOMPARE(listing(), QStringList({QStringLiteral("old.mp3")}));
    }

    // An earlier version's journal, cut short, cannot be recovered by this one (its records do not
    // tell a file from one given its freed inode number): it is left as it is and said; one that
    // ended whole is pruned by the next command like any.
    void earlierVersionsJournal_data() {
        QTest::addColumn<bool>("endedWhole");
        QTest::newRow("cut short") << false;
        QTest::newRow("ended whole") << true;
    }

    void earlierVersionsJournal() {
        QFETCH(bool, endedWhole);
        WorkDir dir;
        QCOMPARE(JournalDirectory(), stateFolder());
        // Its End record: kind 11, then every field empty, in the earlier layout.
        QByteArray end = QByteArray("\x0b", 1) + QByteArray(4, '\0') + QByteArray(4, '\xff') +
                         QByteArray(16, '\0') + QByteArray(8, '\xff') + QByteArray(36, '\0') +
                         QByteArray(8, '\xff') + QByteArray(1, '\0');
        quint64 hash = 14695981039346656037ull;
        for (char c : end)
            hash = (hash ^ quint8(c)) * 1099511628211ull;
        QByteArray frame;
        for (int shift = 24; shift >= 0; shift -= 8)
            frame += char(end.size() >> shift);
        for (int shift = 56; shift >= 0; shift -= 8)
            frame += char(hash >> shift);
        const QString earlier = QDir(stateFolder()).filePath(QStringLiteral("journal"));
        write(earlier, QByteArray("MORWICK JOURNAL 1\n") + (endedWhole ? frame + end : QByteArray("torn")));
        QVERIFY(QFile::setPermissions(earlier, QFile::ReadOwner | QFile::WriteOwner));
        const JournalReport report = RecoverJournal();
        QCOMPARE(report.notes.size(), endedWhole ? 0 : 1);
        QVERIFY(endedWhole || report.text().contains(QLatin1String("earlier version")));
        QVERIFY(QFile::exists(earlier));
        QVERIFY(!CanUndo());
        write(QStringLiteral("a.mp3"), audio(300));
        QVERIFY(WriteTag(QStringLiteral("a.mp3"), newTag()));
        QCOMPARE(QFile::exists(earlier), !endedWhole);
    }

    // A journal on a copy-on-write file system that fills up: its records are written with
    // write(2), whose failure is an error, not through a mapping, where writing over a block
    // already on disk needs a new one and a full disk raises SIGBUS.
    void fullCopyOnWriteDisk() {
        if (::geteuid() != 0)
            QSKIP("mounting a file system takes root");
        QTemporaryDir mountPoint;
        QVERIFY(mountPoint.isValid());
        const QString image = mountPoint.path() + QStringLiteral(".img");
        const QByteArray point = QFile::encodeName(mountPoint.path());
        {
            QFile file(image);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(128 << 20));
        }
        const auto run = [](const QString& command) {
            return std::system(command.toLocal8Bit().constData());
        };
        if (run(QStringLiteral("mkfs.btrfs -q -f '%1' >/dev/null 2>&1").arg(image)) != 0 ||
            run(QStringLiteral("mount -o loop '%1' '%2' 2>/dev/null").arg(image, mountPoint.path())) != 0) {
            QFile::remove(image);
            QSKIP("cannot make a btrfs file system here");
        }
        const QByteArray state = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", point);
        WorkDir dir;
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
            write(QString::fromLatin1(name), audio(3000));
        const int status = inChild([&] {
            const JournalCommand command(QStringLiteral("Tag files"));
            WriteTag(QStringLiteral("a.mp3"), newTag());
            // The journal's first page on disk, then the disk full.
            const QDir journals(QString::fromLocal8Bit(point + "/morwick"));
            for (const QString& name : journals.entryList(QDir::Files)) {
                const int fd = ::open(QFile::encodeName(journals.filePath(name)).constData(), O_RDONLY);
                ::fsync(fd);
                ::close(fd);
            }
            const int filler = ::open((point + "/filler").constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            const QByteArray block(65536, 'f');
            for (qsizetype chunk : {block.size(), qsizetype(4096)}) {
                while (::write(filler, block.constData(), size_t(chunk)) > 0) {
                }
                ::fsync(filler);
            }
            ::close(filler);
            for (const char* name : {"b.mp3", "c.mp3", "d.mp3"})
                WriteTag(QString::fromLatin1(name), newTag());
        });
        ::umount2(point.constData(), MNT_DETACH);
        QFile::remove(image);
        qputenv("XDG_STATE_HOME", state);
        QVERIFY2(WIFEXITED(status), "the command was ended by a signal");
        QCOMPARE(read(QStringLiteral("d.mp3")).mid(3000, 3), QByteArray("TAG")); // and tagged
    }

    // A song reached through a symbolic link into another folder: the temporary a kill left beside
    // the song's content is swept at the next start.
    void temporaryBesideLinkTargetIsSwept() {
        WorkDir dir;
        QVERIFY(QDir().mkdir(QStringLiteral("links")));
        QVERIFY(QDir().mkdir(QStringLiteral("music")));
        write(QStringLiteral("music/song.mp3"), kSong);
        QCOMPARE(::symlink("../music/song.mp3", "links/song.mp3"), 0);
        QVERIFY(killedBySigkill(inChild([] {
            journal::KillAfterBytes(5000);
            RemoveAllTags(QStringLiteral("links/song.mp3"));
        })));
        QCOMPARE(temporaries(QStringLiteral("music")).size(), 1);
        QVERIFY(RecoverJournal().isEmpty());
        QCOMPARE(temporaries(QStringLiteral("music")), QStringList());
        QCOMPARE(read(QStringLiteral("music/song.mp3")), kSong);
    }

    // Last, since the thread cannot be stopped: the program's own thread for closing pruned
    // journals. A pruned journal's name goes at once and its descriptor soon after, and a child
    // forked right after a command (a player started) runs commands of its own to their end.
    void lateCloses() {
        WorkDir work;
        write(QStringLiteral("a.mp3"), "x");
        const auto renamed = [](const char* from, const char* to) {
            const JournalCommand command;
            return RenameFile(QString::fromLatin1(from), QString::fromLatin1(to));
        };
        StartLateCloses();
        QVERIFY(renamed("a.mp3", "b.mp3"));
        const int open = openDescriptors();
        for (int round = 0; round < 20; ++round) {
            const bool there = round % 2 == 0;
            QVERIFY(renamed(there ? "b.mp3" : "a.mp3", there ? "a.mp3" : "b.mp3"));
            QCOMPARE(journals().size(), 1);
            const pid_t child = ::fork();
            if (child == 0) {
                const bool done = renamed(there ? "a.mp3" : "b.mp3", "c.mp3") &&
                                  renamed("c.mp3", there ? "a.mp3" : "b.mp3");
                ::_exit(done ? 0 : 1);
            }
            QDeadlineTimer deadline(30000);
            int status = 0;
            while (::waitpid(child, &status, WNOHANG) == 0 && !deadline.hasExpired())
                QThread::msleep(2);
            if (deadline.hasExpired()) {
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                QFAIL("the forked child never ended");
            }
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(openDescriptors(), open, 5000);
    }
};

QTEST_GUILESS_MAIN(TestJournalSafety)
#include "TestJournalSafety.moc"
