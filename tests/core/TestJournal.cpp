#include "core/Batch.h"
#include "core/Directory.h"
#include "core/FileName.h"
#include "core/Id3Tag.h"
#include "core/Journal.h"
#include "core/JournalFormat.h"
#include "core/JournalHooks.h"
#include "core/RenameFile.h"
#include "core/TagFile.h"
#include "core/TagRemoval.h"
#include "core/TagValues.h"
#include "support/FakeSelection.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace testfiles;

namespace {

constexpr int kPage = 4096;

QByteArray oldTrailer() {
    return tagBytes(makeTag("Old Song", "Old Band", "Old Album", "1999", "old", 3, 12));
}

FileTag newTag() {
    return FileTag{makeTag("New Song", "New Band", "New Album", "2024", "new", 7, 17), true};
}

QByteArray newTrailer() {
    ID3Tag tag = newTag().tag;
    tag.zero = 0;
    return tagBytes(tag);
}

// Audio whose trailer begins `before` bytes ahead of a page boundary, so a write of it straddles
// two pages.
QByteArray straddling(int before) {
    return audio(3 * kPage - before);
}

// Morwick's temporaries in the working directory.
QStringList temporaries() {
    QStringList found;
    for (const QString& name : listing()) {
        if (name.contains(QLatin1String(".morwick-")))
            found << name;
    }
    return found;
}

} // namespace

class TestJournal : public QObject {
    Q_OBJECT

private:
    QTemporaryDir state_;

private slots:
    void initTestCase() {
        QVERIFY(state_.isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(state_.path()));
    }

    void init() {
        // Each case starts without a last command.
        QDir journals(state_.filePath(QStringLiteral("morwick")));
        for (const QString& name : journals.entryList(QDir::Files | QDir::Hidden | QDir::System))
            QVERIFY(journals.remove(name));
    }

    // The newest journal's path: the last command's.
    QString newestJournal() const {
        QDir journals(state_.filePath(QStringLiteral("morwick")));
        const QStringList names =
            journals.entryList({QStringLiteral("journal-*")}, QDir::Files | QDir::System, QDir::Name);
        return names.isEmpty() ? QString() : journals.filePath(names.last());
    }

    void journalIsPrivate() {
        WorkDir dir;
        write(QStringLiteral("a.mp3"), audio(1000) + oldTrailer());
        QVERIFY(WriteTag(QStringLiteral("a.mp3"), newTag()));
        struct stat folder {
        }, file{};
        QCOMPARE(::stat(QFile::encodeName(state_.filePath(QStringLiteral("morwick"))).constData(), &folder),
                 0);
        QCOMPARE(::stat(QFile::encodeName(newestJournal()).constData(), &file), 0);
        QCOMPARE(folder.st_mode & 0777, mode_t(0700));
        QCOMPARE(file.st_mode & 0777, mode_t(0600));
        QCOMPARE(JournalDirectory(), state_.filePath(QStringLiteral("morwick")));
    }

    // Tag files writes a trailer (over the old one, or appended) and renames; the undo gives back
    // names and bytes exactly, in reverse order.
    void undoTagAndRename() {
        WorkDir dir;
        const QByteArray tagged = audio(5000) + oldTrailer();
        const QByteArray bare = straddling(40);
        write(QStringLiteral("01 tagged.mp3"), tagged);
        write(QStringLiteral("02 bare.mp3"), bare);
        {
            const JournalCommand command(QStringLiteral("Tag files"));
            for (const QString& name : {QStringLiteral("01 tagged.mp3"), QStringLiteral("02 bare.mp3")}) {
                QVERIFY(WriteTag(name, newTag()));
                QVERIFY(RenameFile(name, QStringLiteral("New ") + name));
            }
        }
        QCOMPARE(read(QStringLiteral("New 01 tagged.mp3")), audio(5000) + newTrailer());
        QCOMPARE(read(QStringLiteral("New 02 bare.mp3")), bare + newTrailer());
        QVERIFY(CanUndo());
        QCOMPARE(UndoCommandName(), QStringLiteral("Tag files"));

        const UndoReport report = UndoLastCommand();
        QCOMPARE(report.restored, 2);
        QCOMPARE(report.notRestored, 0);
        QCOMPARE(listing(), QStringList({QStringLiteral("01 tagged.mp3"), QStringLiteral("02 bare.mp3")}));
        QCOMPARE(read(QStringLiteral("01 tagged.mp3")), tagged);
        QCOMPARE(read(QStringLiteral("02 bare.mp3")), bare);
        QVERIFY(!CanUndo()); // undo of an undo is not offered
    }

    // The owner-write bit that WriteTag gave goes again with the undo.
    // One command over two folders, entered in turn: the journal names each folder once, and the
    // undo finds every file by its whole path.
    void undoAcrossFolders() {
        WorkDir dir;
        QVERIFY(QDir().mkdir(QStringLiteral("first")) && QDir().mkdir(QStringLiteral("second")));
        for (const char* folder : {"first", "second"})
            write(QString::fromLatin1(folder) + QStringLiteral("/song.mp3"), audio(300) + oldTrailer());
        {
            const JournalCommand command(QStringLiteral("Rename from tags"));
            for (const char* folder : {"first", "second"}) {
                EnterDirectory(dir.filePath(QString::fromLatin1(folder)));
                QVERIFY(WriteTag(QStringLiteral("song.mp3"), newTag()));
                QVERIFY(RenameFile(QStringLiteral("song.mp3"), QStringLiteral("renamed.mp3")));
            }
        }
        EnterDirectory(dir.path());
        const UndoReport report = UndoLastCommand();
        QCOMPARE(report.restored, 2);
        QCOMPARE(report.notRestored, 0);
        for (const char* folder : {"first", "second"}) {
            const QString songs = QString::fromLatin1(folder);
            QCOMPARE(QDir(songs).entryList(QDir::Files), QStringList{QStringLiteral("song.mp3")});
            QCOMPARE(read(songs + QStringLiteral("/song.mp3")), audio(300) + oldTrailer());
        }
    }

    // A journal an earlier Morwick wrote in format 2, every field of every record written, is
    // still undone; one it left cut short is still recovered first. What an undo adds to it is
    // written in its own format.
    void formatTwoJournal_data() {
        QTest::addColumn<bool>("endedWhole");
        QTest::newRow("ended whole") << true;
        QTest::newRow("cut short") << false;
    }
    void formatTwoJournal() {
        QFETCH(bool, endedWhole);
        WorkDir dir;
        const QByteArray tagged = audio(5000) + oldTrailer();
        const QByteArray headed = id3v2Tag(3000) + audio(4000) + oldTrailer();
        write(QStringLiteral("tagged.mp3"), tagged);
        write(QStringLiteral("headed.mp3"), headed);
        {
            const JournalCommand command(QStringLiteral("Tag files"));
            QVERIFY(WriteTag(QStringLiteral("tagged.mp3"), newTag()));
            QVERIFY(RemoveAllTags(QStringLiteral("headed.mp3")));
            QVERIFY(RenameFile(QStringLiteral("tagged.mp3"), QStringLiteral("renamed.mp3")));
        }
        // The same records in format 2; cut short, without the End and the rename's Done.
        QFile journal(newestJournal());
        QVERIFY(journal.open(QIODevice::ReadWrite));
        std::vector<journal::Record> records;
        {
            journal::Reader reader(journal.handle());
            QCOMPARE(reader.version(), journal::kVersion);
            for (journal::Record r; reader.next(r);)
                records.push_back(r);
        }
        QCOMPARE(records.back().kind, journal::Kind::End);
        if (!endedWhole)
            records.resize(records.size() - 2);
        QByteArray earlier = journal::MagicOf(2);
        for (const journal::Record& r : records)
            earlier += journal::Encode(r, 2);
        QVERIFY(earlier.size() > journal.size()); // every field written
        QVERIFY(journal.resize(0) && journal.write(earlier) == earlier.size());
        journal.close();

        QVERIFY(RecoverJournal().isEmpty());
        QVERIFY(CanUndo());
        QCOMPARE(UndoCommandName(), QStringLiteral("Tag files"));
        const UndoReport report = UndoLastCommand();
        QCOMPARE(report.restored, 2);
        QCOMPARE(report.notRestored, 0);
        QCOMPARE(listing(), QStringList({QStringLiteral("headed.mp3"), QStringLiteral("tagged.mp3")}));
        QCOMPARE(read(QStringLiteral("tagged.mp3")), tagged);
        QCOMPARE(read(QStringLiteral("headed.mp3")), headed);
        QVERIFY(!CanUndo());
    }

    void undoGivesBackMode() {
        WorkDir dir;
        write(QStringLiteral("ro.mp3"), audio(300) + oldTrailer());
        QVERIFY(QFile::setPermissions(QStringLiteral("ro.mp3"), QFile::ReadOwner | QFile::ReadGroup));
        QVERIFY(WriteTag(QStringLiteral("ro.mp3"), newTag()));
        QVERIFY(QFile::permissions(QStringLiteral("ro.mp3")) & QFile::WriteOwner);
        QCOMPARE(UndoLastCommand().restored, 1);
        QCOMPARE(read(QStringLiteral("ro.mp3")), audio(300) + oldTrailer());
        QVERIFY(!(QFile::permissions(QStringLiteral("ro.mp3")) & QFile::WriteOwner));
    }

    void undoRemoval_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("inPlace");
        const QByteArray both = id3v2Tag(3000) + audio(9000) + oldTrailer();
        QTest::newRow("front and back, renamed over") << both << false;
        QTest::newRow("front and back, in place") << both << true;
        QTest::newRow("trailer only") << audio(9000) + oldTrailer() << false;
        QTest::newRow("nothing but a tag") << id3v2Tag(500) << false;
    }

    // The removed head and tail come back byte for byte, whichever way the removal went.
    void undoRemoval() {
        QFETCH(QByteArray, content);
        QFETCH(bool, inPlace);
        WorkDir dir;
        write(QStringLiteral("song.mp3"), content);
        write(QStringLiteral("plain.mp3"), audio(2000));
        {
            const JournalCommand command(QStringLiteral("Remove all tags"));
            QVERIFY(RemoveAllTags(QStringLiteral("song.mp3"),
                                  inPlace ? RewriteMode::InPlace : RewriteMode::Auto));
            QVERIFY(!RemoveAllTags(QStringLiteral("plain.mp3")));
        }
        QVERIFY(read(QStringLiteral("song.mp3")) != content);
        const UndoReport report = UndoLastCommand();
        QCOMPARE(report.restored, 1);
        QCOMPARE(report.notRestored, 0);
        QCOMPARE(read(QStringLiteral("song.mp3")), content);
        QCOMPARE(read(QStringLiteral("plain.mp3")), audio(2000));
        QCOMPARE(listing(), QStringList({QStringLiteral("plain.mp3"), QStringLiteral("song.mp3")}));
    }

    // Removals ended in groups: undo gives every file back byte for byte.
    void undoGroupedRemoval() {
        WorkDir dir;
        QStringList names;
        QList<QByteArray> contents;
        for (int i = 0; i < 12; ++i) {
            names << QStringLiteral("%1.mp3").arg(i, 2, 10, QLatin1Char('0'));
            QByteArray head("ID3\x03\0\0\0\0", 8);
            head += char((100 + 37 * i) >> 7) + QByteArray(1, char((100 + 37 * i) & 0x7F));
            contents << head + QByteArray(100 + 37 * i, 'h') + audio(3000 + 500 * (i % 5), char('a' + i));
            write(names.last(), contents.last());
        }
        {
            const JournalCommand command(QStringLiteral("Remove all tags"));
            ChangeGroup group;
            for (const QString& name : names) {
                QVERIFY(RemoveAllTags(group, name));
                if (group.full() || names.indexOf(name) % 4 == 3)
                    group.finish();
            }
        }
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(read(names[i]), contents[i].mid(10 + 100 + 37 * i));
        const UndoReport report = UndoLastCommand();
        QCOMPARE(report.restored, int(names.size()));
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(read(names[i]), contents[i]);
        QCOMPARE(listing(), names);
    }

    // A song changed after Remove all tags, before Undo or while Undo rewrites it, is left alone by
    // Undo and counted as not restored.
    void undoLeavesChangedSongAlone_data() {
        QTest::addColumn<bool>("duringUndo");
        QTest::newRow("changed before the undo") << false;
        QTest::newRow("changed while the undo rewrites it") << true;
    }
    void undoLeavesChangedSongAlone() {
        QFETCH(bool, duringUndo);
        WorkDir dir;
        write(QStringLiteral("song.mp3"), id3v2Tag(3000) + audio(9000) + oldTrailer());
        {
            const JournalCommand command(QStringLiteral("Remove all tags"));
            QVERIFY(RemoveAllTags(QStringLiteral("song.mp3")));
        }
        const auto append = [] {
            QFile file(QStringLiteral("song.mp3"));
            QVERIFY(file.open(QIODevice::Append) && file.write("more") == 4);
        };
        if (!duringUndo)
            append();
        SetChangeGivenHook([&](const QString&) {
            if (duringUndo)
                append();
        });
        const UndoReport report = UndoLastCommand();
        SetChangeGivenHook({});
        QCOMPARE(report.restored, 0);
        QCOMPARE(report.notRestored, 1);
        QCOMPARE(read(QStringLiteral("song.mp3")), audio(9000) + "more");
        QCOMPARE(temporaries(), QStringList());
    }

    void undoFolderRename() {
        WorkDir dir;
        QVERIFY(QDir().mkdir(QStringLiteral("Old Album")));
        write(QStringLiteral("Old Album/a.mp3"), audio(100));
        QVERIFY(
            RenameFile(dir.filePath(QStringLiteral("Old Album")), dir.filePath(QStringLiteral("New Album"))));
        QCOMPARE(UndoLastCommand().restored, 1);
        QCOMPARE(read(QStringLiteral("Old Album/a.mp3")), audio(100));
        QVERIFY(!QFileInfo::exists(QStringLiteral("New Album")));
    }

    // The journal is on disk: a command of another process (one that has ended, as after a
    // restart) is undone, non-UTF-8 names included.
    void undoAfterRestart() {
        WorkDir dir;
        const QString odd = DecodeFileName(QByteArray("caf\xe9.mp3"));
        const QByteArray content = audio(4000) + oldTrailer();
        write(QStringLiteral("x.mp3"), content);
        QVERIFY(::rename("x.mp3", EncodeFileName(odd).constData()) == 0);
        const int status = inChild([&] {
            const JournalCommand command(QStringLiteral("Rename from tags"));
            WriteTag(odd, newTag());
            RenameFile(odd, QStringLiteral("Renamed.mp3"));
        });
        QVERIFY(WIFEXITED(status));
        QCOMPARE(UndoCommandName(), QStringLiteral("Rename from tags"));
        QCOMPARE(UndoLastCommand().restored, 1);
        QVERIFY(!QFile::exists(QStringLiteral("Renamed.mp3")));
        const int fd = ::open(EncodeFileName(odd).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QByteArray back(content.size() + 1, '\0');
        back.truncate(::read(fd, back.data(), size_t(back.size())));
        ::close(fd);
        ::unlink(EncodeFileName(odd).constData()); // a name QTemporaryDir cannot remove
        QCOMPARE(back, content);
    }

    // A command that changes nothing (a failed rename, a file without tags) keeps the last
    // command's undo.
    void commandWithoutChangeKeepsUndo() {
        WorkDir dir;
        write(QStringLiteral("a.mp3"), audio(200) + oldTrailer());
        write(QStringLiteral("b.mp3"), audio(200));
        {
            const JournalCommand command(QStringLiteral("Tag files"));
            QVERIFY(WriteTag(QStringLiteral("a.mp3"), newTag()));
        }
        {
            const JournalCommand command(QStringLiteral("Rename files"));
            QVERIFY(!RenameFile(QStringLiteral("a.mp3"), QStringLiteral("b.mp3")));
            QVERIFY(!RemoveAllTags(QStringLiteral("b.mp3")));
        }
        QCOMPARE(UndoCommandName(), QStringLiteral("Tag files"));
        QCOMPARE(UndoLastCommand().restored, 1);
        QCOMPARE(read(QStringLiteral("a.mp3")), audio(200) + oldTrailer());
    }

    // A rename to a taken name, once the command has renamed something, fails as the first would:
    // nothing is replaced, and the command still ends whole and is undone whole. So does one given
    // what a tag read saw of the file.
    void takenNameLaterInCommand() {
        WorkDir dir;
        write(QStringLiteral("a.mp3"), audio(200) + oldTrailer());
        write(QStringLiteral("b.mp3"), audio(300));
        write(QStringLiteral("c.mp3"), audio(400));
        {
            const JournalCommand command(QStringLiteral("Rename files"));
            QVERIFY(RenameFile(QStringLiteral("a.mp3"), QStringLiteral("d.mp3")));
            QVERIFY(!RenameFile(QStringLiteral("b.mp3"), QStringLiteral("c.mp3")));
            const std::optional<TagValues> read = ReadTagValues(QStringLiteral("c.mp3"), false);
            QVERIFY(read && read->entry);
            QVERIFY(!RenameFile(QStringLiteral("c.mp3"), QStringLiteral("d.mp3"), &*read->entry));
            QVERIFY(RenameFile(QStringLiteral("c.mp3"), QStringLiteral("e.mp3"), &*read->entry));
        }
        // Nothing is left for the next start to recover.
        const int journal = ::open(QFile::encodeName(newestJournal()).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(journal >= 0);
        QVERIFY(journal::EndsWhole(journal));
        ::close(journal);
        QCOMPARE(read(QStringLiteral("b.mp3")), audio(300));
        QCOMPARE(read(QStringLiteral("d.mp3")), audio(200) + oldTrailer());
        QCOMPARE(read(QStringLiteral("e.mp3")), audio(400));
        const UndoReport undone = UndoLastCommand();
        QCOMPARE(undone.restored, 2);
        QCOMPARE(undone.notRestored, 0);
        QCOMPARE(listing(),
                 QStringList({QStringLiteral("a.mp3"), QStringLiteral("b.mp3"), QStringLiteral("c.mp3")}));
    }

    // The next command that changes files replaces the journal.
    void nextCommandReplaces() {
        WorkDir dir;
        write(QStringLiteral("a.mp3"), audio(200) + oldTrailer());
        {
            const JournalCommand command(QStringLiteral("Tag files"));
            QVERIFY(WriteTag(QStringLiteral("a.mp3"), newTag()));
        }
        {
            const JournalCommand command(QStringLiteral("Rename files"));
            QVERIFY(RenameFile(QStringLiteral("a.mp3"), QStringLiteral("b.mp3")));
        }
        QCOMPARE(UndoCommandName(), QStringLiteral("Rename files"));
        QCOMPARE(UndoLastCommand().restored, 1);
        QCOMPARE(read(QStringLiteral("a.mp3")), audio(200) + newTrailer());
    }

    // The undo never destroys: a file changed since the command, and a name taken again, are left
    // alone and counted; the rest is undone.
    void undoSkipsChangedSince() {
        WorkDir dir;
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
            write(QString::fromLatin1(name), audio(700) + oldTrailer());
        {
            const JournalCommand command(QStringLiteral("Tag files"));
            for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
                QVERIFY(WriteTag(QString::fromLatin1(name), newTag()));
            QVERIFY(RenameFile(QStringLiteral("d.mp3"), QStringLiteral("e.mp3")));
        }
        // a: another trailer (same size) written by another program; b: grown; d's name taken.
        QByteArray a = read(QStringLiteral("a.mp3"));
        a[a.size() - 100] = 'Z';
        {
            QFile f(QStringLiteral("a.mp3"));
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.write(a);
        }
        {
            QFile f(QStringLiteral("b.mp3"));
            QVERIFY(f.open(QIODevice::Append));
            f.write("more");
        }
        write(QStringLiteral("d.mp3"), "someone else");

        const UndoReport report = UndoLastCommand();
        QCOMPARE(report.restored, 1);
        QCOMPARE(report.notRestored, 3);
        QCOMPARE(read(QStringLiteral("a.mp3")), a);
        QCOMPARE(read(QStringLiteral("b.mp3")), audio(700) + newTrailer() + "more");
        QCOMPARE(read(QStringLiteral("c.mp3")), audio(700) + oldTrailer());
        QCOMPARE(read(QStringLiteral("d.mp3")), QByteArray("someone else"));
        QCOMPARE(read(QStringLiteral("e.mp3")), audio(700) + oldTrailer());
        QVERIFY(!CanUndo());
    }

    // A write the kernel stopped part-way (as at a page boundary when the process is killed):
    // after recovery the file holds the new trailer whole, and nothing stray.
    void killedTrailerWrite_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("cut");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray over = straddling(61) + oldTrailer();
        const QByteArray bare = straddling(2);
        for (int cut : {0, 1, 61, 127}) {
            QTest::addRow("over, %d bytes written", cut) << over << cut << straddling(61) + newTrailer();
            QTest::addRow("appended, %d bytes written", cut) << bare << cut << bare + newTrailer();
        }
    }

    void killedTrailerWrite() {
        QFETCH(QByteArray, content);
        QFETCH(int, cut);
        QFETCH(QByteArray, expected);
        WorkDir dir;
        write(QStringLiteral("song.mp3"), content);
        const int status = inChild([cut] {
            journal::KillAfterBytes(cut);
            WriteTag(QStringLiteral("song.mp3"), newTag());
        });
        QVERIFY(killedBySigkill(status));
        RecoverJournal();
        // Old or new, never a mix: nothing written yet is the old file still (so are the first
        // bytes, "TAG", which the two trailers share); anything more is completed.
        const QByteArray after = read(QStringLiteral("song.mp3"));
        QVERIFY(after == content || after == expected);
        QCOMPARE(after, cut == 0 ? content : cut > 3 ? expected : after);
        // The recovered change is part of the command: its undo gives the old file back.
        if (after != content) {
            QCOMPARE(UndoLastCommand().restored, 1);
            QCOMPARE(read(QStringLiteral("song.mp3")), content);
        }
    }

    // A removal killed while it writes its temporary leaves the file as it was; the temporary
    // goes at the next start. Killed while copying back in place, the copy is finished.
    void killedRemoval_data() {
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<int>("cut");
        QTest::newRow("renamed over, temporary half written") << false << 5000;
        QTest::newRow("in place, temporary half written") << true << 5000;
        QTest::newRow("in place, copy back cut on a page") << true << 20000 + kPage;
        QTest::newRow("in place, copy back cut mid-page") << true << 20000 + 3 * kPage + 61;
    }

    void killedRemoval() {
        QFETCH(bool, inPlace);
        QFETCH(int, cut);
        WorkDir dir;
        const QByteArray music = audio(20000);
        const QByteArray content = id3v2Tag(2000) + music + oldTrailer();
        write(QStringLiteral("song.mp3"), content);
        const int status = inChild([&] {
            journal::KillAfterBytes(cut);
            RemoveAllTags(QStringLiteral("song.mp3"), inPlace ? RewriteMode::InPlace : RewriteMode::Auto);
        });
        QVERIFY(killedBySigkill(status));
        QCOMPARE(temporaries().size(), 1);
        RecoverJournal();
        QCOMPARE(temporaries(), QStringList());
        QCOMPARE(read(QStringLiteral("song.mp3")), cut > 20000 ? music : content);
    }

    // An undo killed as it writes an old trailer back is completed to the old trailer.
    void killedUndo() {
        WorkDir dir;
        const QByteArray content = straddling(61) + oldTrailer();
        write(QStringLiteral("song.mp3"), content);
        QVERIFY(WriteTag(QStringLiteral("song.mp3"), newTag()));
        const int status = inChild([] {
            journal::KillAfterBytes(61);
            UndoLastCommand();
        });
        QVERIFY(killedBySigkill(status));
        RecoverJournal();
        QCOMPARE(read(QStringLiteral("song.mp3")), content);
        // An undo started again finds it done.
        const UndoReport report = UndoLastCommand();
        QCOMPARE(report.restored, 1);
        QCOMPARE(report.notRestored, 0);
    }

    // Leftover temporaries go when their folder is opened; one another Morwick holds stays.
    void staleTemporaries() {
        WorkDir dir;
        write(QStringLiteral(".song.mp3.morwick-Ab12Cd"), audio(300));
        write(QStringLiteral(".held.mp3.morwick-Zz99Yy"), audio(300));
        write(QStringLiteral(".other.morwick-file"), "not ours"); // not the pattern
        write(QStringLiteral("song.mp3"), audio(300));
        const int held = ::open(".held.mp3.morwick-Zz99Yy", O_RDONLY | O_CLOEXEC);
        QVERIFY(held >= 0);
        QCOMPARE(::flock(held, LOCK_EX), 0);
        RemoveStaleTemporaries(dir.path());
        QCOMPARE(listing(), QStringList({QStringLiteral(".held.mp3.morwick-Zz99Yy"),
                                         QStringLiteral(".other.morwick-file"), QStringLiteral("song.mp3")}));
        ::close(held);
        RemoveStaleTemporaries(dir.path());
        QCOMPARE(listing(), QStringList({QStringLiteral(".other.morwick-file"), QStringLiteral("song.mp3")}));
    }

    // What a batch changed is on disk before the list is read again: one sync of the file system
    // for the whole batch, none for a batch that changed nothing.
    void batchEndSyncsOnce() {
        WorkDir dir;
        QStringList names;
        for (int i = 0; i < 5; ++i) {
            names << QStringLiteral("%1.mp3").arg(i);
            write(names.last(), audio(300 + i) + oldTrailer());
        }
        struct Selection : FakeSelection {
            using FakeSelection::FakeSelection;
            void reread() override {
                syncsAtReread = journal::SyncCount();
                FakeSelection::reread();
            }
            uint64_t syncsAtReread = 0;
        };
        struct stat files {
        }, state{};
        QCOMPARE(::stat(".", &files), 0);
        QCOMPARE(::stat(QFile::encodeName(state_.path()).constData(), &state), 0);
        const uint64_t fileSystems = files.st_dev == state.st_dev ? 1 : 2;

        const uint64_t before = journal::SyncCount();
        Selection tagging(names);
        RunBatch(tagging, nullptr, [](const QString& name) {
            WriteTag(name, newTag());
            return BatchStep::Changed;
        });
        QCOMPARE(tagging.syncsAtReread - before, fileSystems);

        const uint64_t afterTagging = journal::SyncCount();
        Selection reading(names);
        RunBatch(reading, nullptr,
                 [](const QString& name) { return ReadTag(name) ? BatchStep::Unchanged : BatchStep::Stop; });
        QCOMPARE(reading.rereads, 1);
        QCOMPARE(reading.syncsAtReread, afterTagging);

        // A batch within a longer command (the command line's, over several folders) is synced
        // when it ends as well, before its list is read again.
        const JournalCommand outer;
        const uint64_t beforeInner = journal::SyncCount();
        Selection inner(names);
        RunBatch(inner, nullptr, [](const QString& name) {
            WriteTag(name, FileTag{makeTag("Inner Song"), true});
            return BatchStep::Changed;
        });
        QCOMPARE(inner.syncsAtReread - beforeInner, fileSystems);
    }

    // A journal torn in its last record (the kill came as it was written) reads up to that
    // record: the change it would have announced had not started.
    void tornJournalRecord() {
        WorkDir dir;
        write(QStringLiteral("a.mp3"), audio(100) + oldTrailer());
        write(QStringLiteral("b.mp3"), audio(100) + oldTrailer());
        {
            const JournalCommand command(QStringLiteral("Tag files"));
            QVERIFY(WriteTag(QStringLiteral("a.mp3"), newTag()));
            QVERIFY(WriteTag(QStringLiteral("b.mp3"), newTag()));
        }
        QFile journal(newestJournal());
        QVERIFY(journal.open(QIODevice::ReadWrite));
        const QByteArray bytes = journal.readAll();
        // Cut inside the record of b.mp3: its confirmation and most of its announcement go. The
        // record names it bare, the folder once before.
        const qsizetype at = bytes.lastIndexOf(QByteArray("b.mp3"));
        QVERIFY(at > 0);
        QVERIFY(journal.resize(at + 5));
        journal.close();
        RecoverJournal();
        const UndoReport report = UndoLastCommand();
        QCOMPARE(report.restored, 1);
        QCOMPARE(read(QStringLiteral("a.mp3")), audio(100) + oldTrailer());
        QCOMPARE(read(QStringLiteral("b.mp3")), audio(100) + newTrailer());
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "TestJournal.moc"
