// Undo: the newest journal that nobody holds is taken back, once it ended whole (recovery first), change by
// change in reverse order. Each change is read from the journal only when its turn comes.

#include "core/FileName.h"
#include "core/FileRewrite.h"
#include "core/IoError.h"
#include "core/Journal.h"
#include "core/JournalHooks.h"
#include "core/JournalRecovery.h"
#include "core/JournalSession.h"
#include "core/PosixFile.h"
#include "core/RenameFile.h"

#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace journal {

namespace {

enum class Undone {
    Restored,  // taken back (or found back already)
    LeftAlone, // the file changed since, or a name is taken again: never to be tried again
    Failed,    // an error stopped it (a full disk): the journal stays, to be finished or tried again
};

bool sameState(const NamedFile& file, const Record& done) {
    return file.st().st_size == done.size && MtimeNs(file.st()) == done.mtime &&
           file.last128() == done.newBytes;
}

Undone undoTrailer(const Record& c, const Record& done) {
    NamedFile file(c.path, done.file);
    if (!file.isOpen())
        return Undone::LeftAlone;
    const bool appended = c.oldBytes.isEmpty();
    const qint64 size = file.st().st_size;
    if (size == c.oldSize && (appended || file.read(c.offset, c.oldBytes.size()) == c.oldBytes))
        return Undone::Restored; // an undo cut short got here already
    // A head is far from the last bytes the state compares: it must still be the one written.
    if (!sameState(file, done) ||
        (c.kind == Kind::Head && file.read(c.offset, c.newBytes.size()) != c.newBytes))
        return Undone::LeftAlone;
    const bool ok =
        appended ? ::ftruncate(file.fd(), off_t(c.oldSize)) == 0 : file.write(c.oldBytes, c.offset);
    if (!ok)
        return Undone::Failed;
    if (mode_t(c.oldMode & 07777) != (file.st().st_mode & 07777))
        ::fchmod(file.fd(), mode_t(c.oldMode & 07777)); // the write gave the owner-write bit
    Touched(file.st().st_dev, file.fd());
    return Undone::Restored;
}

// A head written over in place (and a trailer with it): the old bytes go back where the new ones
// are, an appended trailer is cut off.
Undone undoHead(const Record& c, const Record& done) {
    NamedFile file(c.path, done.file);
    if (!file.isOpen())
        return Undone::LeftAlone;
    const QByteArray oldHead = c.oldBytes.left(c.size);
    const QByteArray newHead = c.newBytes.left(c.size);
    const QByteArray oldTrailer = c.oldBytes.mid(c.size);
    const QByteArray newTrailer = c.newBytes.mid(c.size);
    const qint64 size = file.st().st_size;
    const bool trailerBack =
        newTrailer.isEmpty() ||
        (oldTrailer.isEmpty() ? size == c.oldSize : file.read(c.offset, kTrailerBytes) == oldTrailer);
    if (size == c.oldSize && trailerBack && file.read(0, oldHead.size()) == oldHead)
        return Undone::Restored; // an undo cut short got here already
    // A head is far from the last bytes the state compares: it must still be the one written.
    if (!sameState(file, done) || file.read(0, newHead.size()) != newHead)
        return Undone::LeftAlone;
    bool ok = file.write(oldHead, 0);
    if (ok && !newTrailer.isEmpty())
        ok = oldTrailer.isEmpty() ? ::ftruncate(file.fd(), off_t(c.oldSize)) == 0
                                  : file.write(oldTrailer, c.offset);
    if (!ok)
        return Undone::Failed;
    if (mode_t(c.oldMode & 07777) != (file.st().st_mode & 07777))
        ::fchmod(file.fd(), mode_t(c.oldMode & 07777)); // the write gave the owner-write bit
    Touched(file.st().st_dev, file.fd());
    return Undone::Restored;
}

Undone undoRemoval(const Record& c, const Record& done) {
    const QByteArray& head = c.oldBytes;
    const QByteArray& tail = c.newBytes;
    struct stat st {};
    const std::optional<FileIdentity> now = IdentityAt(AT_FDCWD, c.path2.constData(), &st);
    if (!now)
        return Undone::LeftAlone;
    NamedFile file(c.path, *now);
    if (!file.isOpen())
        return Undone::LeftAlone;
    const qint64 size = file.st().st_size;
    if (!file.identity().sameFile(done.file) || !sameState(file, done)) {
        // An undo cut short may have put the tags back already.
        const bool back = size == c.oldSize && file.read(0, head.size()) == head &&
                          file.read(size - tail.size(), tail.size()) == tail;
        return back ? Undone::Restored : Undone::LeftAlone;
    }
    // Where the old content lies in the file now: after the head that took the old one's place
    // (a rewrite may also have put a new trailer after it).
    const qint64 newHead = c.offset;
    const qint64 kept = c.oldSize - head.size() - tail.size();
    if (head.isEmpty() && newHead == 0 && size == kept) { // only trailing bytes went: back on the end
        if (!file.write(tail, size)) {
            [[maybe_unused]] const int rc = ::ftruncate(file.fd(), off_t(size));
            return Undone::Failed;
        }
        Touched(file.st().st_dev, file.fd());
        return Undone::Restored;
    }
    try {
        PosixFile original;
        struct stat ost {};
        // Opened again: it must still be the file checked above, as it was then.
        if (!original.openRegular(DecodeFileName(c.path), O_RDWR, ost) ||
            !IdentityOf(original.fd(), ost).sameFile(done.file) || ost.st_size != size ||
            MtimeNs(ost) != done.mtime)
            return Undone::LeftAlone;
        const int in = original.fd();
        const bool placed = RewriteFile(DecodeFileName(c.path), std::move(original), ost, c.id,
                                        RewriteMode::Auto, [&](int out) {
                                            auto put = [&](const QByteArray& bytes, qint64 at) {
                                                WriteAllAt(out, bytes.constData(), bytes.size(), at);
                                            };
                                            put(head, 0);
                                            CopyRange(in, newHead, out, head.size(), kept);
                                            put(tail, head.size() + kept);
                                            return int64_t(head.size() + kept + tail.size());
                                        });
        if (!placed)
            return Undone::LeftAlone;
        // A tag write gave a read-only file the owner-write bit: it goes again with the old tags.
        if ((c.oldMode & S_IWUSR) == 0) {
            struct stat pst {};
            const std::optional<FileIdentity> placedId = IdentityAt(AT_FDCWD, c.path2.constData(), &pst);
            NamedFile back(c.path, placedId.value_or(FileIdentity{}));
            if (placedId && back.isOpen() && (back.st().st_mode & 07777) != (c.oldMode & 07777))
                ::fchmod(back.fd(), mode_t(c.oldMode & 07777));
        }
        return Undone::Restored;
    } catch (const CommandError&) {
        return Undone::Failed;
    }
}

Undone undoRename(const Record& c, const std::optional<Record>& done) {
    struct stat st {};
    const std::optional<FileIdentity> now = IdentityAt(AT_FDCWD, c.path2.constData(), &st);
    if (!now || !now->sameFile(c.file)) {
        const std::optional<FileIdentity> old = IdentityAt(AT_FDCWD, c.path.constData());
        return old && old->sameFile(c.file) ? Undone::Restored : Undone::LeftAlone;
    }
    // A file written since the rename keeps its name: it is no longer what the command left. A
    // folder's own size and time follow what is put into it, so only its identity counts.
    if (S_ISREG(st.st_mode) && done && (st.st_size != done->size || MtimeNs(st) != done->mtime))
        return Undone::LeftAlone;
    if (!RenameFile(DecodeFileName(c.path2), DecodeFileName(c.path)))
        return Undone::LeftAlone;
    TouchedFolder(st.st_dev, FolderOf(c.path));
    return Undone::Restored;
}

// The newest journal that nobody else holds, held: the last command's. Nothing when there is none,
// or when it did not end whole (an older command is not taken back in its place).
std::unique_ptr<JournalFile> newestJournal(const StateFolder& folder) {
    const std::vector<QByteArray> names = folder.journalNames();
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        auto journal = std::make_unique<JournalFile>(folder, *name, true);
        if (journal->held() && journal->version() >= 2)
            return journal;
    }
    return nullptr;
}

// A file as an undo left it, for an earlier change of the same file.
struct Carried {
    FileIdentity file;
    qint64 mtime = 0;
};

std::pair<quint64, quint64> fileKey(const FileIdentity& file) {
    return {file.dev, file.ino};
}

std::optional<Carried> stateOf(const QByteArray& path) {
    struct stat st {};
    const std::optional<FileIdentity> id = IdentityAt(AT_FDCWD, path.constData(), &st);
    if (!id)
        return std::nullopt;
    return Carried{*id, MtimeNs(st)};
}

void writeMark(JournalFile& journal, Kind kind, quint32 id, bool flag = false) {
    Record r;
    r.kind = kind;
    r.id = id;
    r.flag = flag;
    journal.append(r);
}

} // namespace

} // namespace journal

bool CanUndo() {
    using namespace journal;
    const StateFolder folder(false);
    const std::unique_ptr<JournalFile> journal = folder.usable() ? newestJournal(folder) : nullptr;
    if (!journal)
        return false;
    // A command's journal is begun by its first change and deleted by its undo, so one that ended
    // whole always holds something to undo.
    if (journal->endsWhole())
        return true;
    // One cut short is recovered before an undo: whatever it confirms can be taken back.
    Reader reader(journal->fd());
    for (const auto& [id, entry] : IndexJournal(reader).changes) {
        if (entry.done && !entry.undone)
            return true;
    }
    return false;
}

QString UndoCommandName() {
    using namespace journal;
    const StateFolder folder(false);
    const std::unique_ptr<JournalFile> journal = folder.usable() ? newestJournal(folder) : nullptr;
    if (!journal)
        return {};
    Reader reader(journal->fd());
    Record begin;
    return reader.next(begin) && begin.kind == Kind::Begin ? begin.name : QString();
}

UndoReport UndoLastCommand() {
    using namespace journal;
    UndoReport report;
    Session& s = CurrentSession();
    if (s.depth > 0)
        return report; // not inside a running command
    const StateFolder folder(false);
    if (!folder.usable())
        return report;
    {
        RecoveryFindings findings; // what recovery could not finish was said at the start
        RecoverAll(folder, findings, nullptr);
    }
    const std::unique_ptr<JournalFile> journal = newestJournal(folder);
    if (!journal || !journal->endsWhole())
        return report; // none, or one recovery could not finish: nothing older is taken back
    Reader reader(journal->fd());
    const JournalIndex index = IndexJournal(reader);

    JournalCommand scope;
    s.undoing = true;
    ::lseek(journal->fd(), 0, SEEK_END);
    s.fd = journal->fd(); // copies back during the undo are journaled here, in its own format
    s.version = journal->version();
    s.used = -1; // with write(2), after the records already there
    s.nameSynced = true;
    s.openCopyBacks.clear();
    bool whole = true;
    // Counted by file: a file that was tagged and renamed is one file however many changes it had.
    std::map<std::pair<quint64, quint64>, bool> files;
    // The file each identity before a change taken back now is, and its time.
    std::map<std::pair<quint64, quint64>, Carried> now;
    for (auto it = index.changes.rbegin(); it != index.changes.rend(); ++it) {
        const ChangeEntry& entry = it->second;
        Record c;
        if (!entry.done || entry.undone || !reader.readAt(entry.offset, c))
            continue;
        // A file changed twice by the command (its trailer, then its head) was brought back to
        // the state the first change left by the undo of the second, which a rewrite makes a new
        // file and any write gives a new time: the first is checked against the file as it is now.
        Record done = *entry.done;
        if (const auto carried = now.find(fileKey(done.file)); carried != now.end()) {
            done.file = carried->second.file;
            done.mtime = carried->second.mtime;
        }
        writeMark(*journal, Kind::UndoStep, c.id);
        Undone result = Undone::LeftAlone;
        switch (c.kind) {
        case Kind::Trailer:
            result = undoTrailer(c, done);
            break;
        case Kind::Head:
            result = undoHead(c, done);
            break;
        case Kind::Removal:
            result = undoRemoval(c, done);
            break;
        case Kind::Rename:
            result = undoRename(c, entry.done);
            break;
        default:
            break;
        }
        // A change an error stopped gets no mark: the next start completes what it began, and
        // the next undo tries it again.
        if (result == Undone::Failed)
            whole = false;
        else
            writeMark(*journal, Kind::UndoDone, c.id, result == Undone::Restored);
        if (result == Undone::Restored && c.kind != Kind::Rename) {
            if (const std::optional<Carried> state =
                    stateOf(c.kind == Kind::Removal ? c.path2 : ContentPath(c.path)))
                now[fileKey(c.file)] = *state;
        }
        const auto key = std::make_pair(c.file.dev, c.file.ino);
        const auto found = files.find(key);
        files[key] = (found == files.end() || found->second) && result == Undone::Restored;
    }
    for (const auto& [key, ok] : files)
        ++(ok ? report.restored : report.notRestored);
    SyncTouched(s);
    whole = whole && s.openCopyBacks.empty();
    s.fd = -1;
    s.undoing = false;
    // Undo of an undo is not offered: the journal goes, once nothing of it can be needed.
    if (whole) {
        journal->remove();
        PruneJournals(folder, journal->name());
    }
    return report;
}

QString NotRestoredMessage(const UndoReport& report) {
    if (report.notRestored == 1)
        return QStringLiteral(
            "1 file could not be restored: it changed since, or its old name is taken again");
    if (report.notRestored > 1)
        return QStringLiteral(
                   "%1 files could not be restored: they changed since, or their old names are taken "
                   "again")
            .arg(report.notRestored);
    return {};
}
