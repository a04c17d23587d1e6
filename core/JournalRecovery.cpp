#include "core/JournalRecovery.h"

#include "core/FileName.h"
#include "core/FileRewrite.h"
#include "core/IoError.h"
#include "core/Journal.h"
#include "core/JournalTemporaries.h"

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace journal {

namespace {

QString shown(const QByteArray& path) {
    return DisplayFileName(DecodeFileName(path));
}

// Every byte is the one of `a` or of `b` at its place: what a write of b over a, cut anywhere,
// leaves.
bool mixOf(const QByteArray& bytes, const QByteArray& a, const QByteArray& b) {
    if (bytes.size() != a.size() || bytes.size() != b.size())
        return false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != a[i] && bytes[i] != b[i])
            return false;
    }
    return true;
}

Record mark(Kind kind, quint32 id) {
    Record r;
    r.kind = kind;
    r.id = id;
    return r;
}

Record copyDone(const Record& c) {
    Record r;
    r.kind = Kind::CopyDone;
    r.path2 = c.path2;
    return r;
}

// Removes `path`'s entry if it is still the file `expected`, acting on its folder held open.
bool unlinkIfSame(const QByteArray& path, const FileIdentity& expected) {
    const int dir = ::open(FolderOf(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return false;
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    const std::optional<FileIdentity> now = IdentityAt(dir, name.constData());
    const bool removed = now && now->sameFile(expected) && ::unlinkat(dir, name.constData(), 0) == 0;
    ::close(dir);
    return removed;
}

// Finishes a copy of a synced temporary back over its target that a kill (or an error) cut short.
// True when nothing of it is left to do.
bool finishCopyBack(JournalFile& journal, const Record& c, RecoveryFindings& findings) {
    const int temp = ::open(c.path2.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (temp < 0 && errno == ENOENT) {
        // Removed only after the copy was complete and synced.
        journal.append(copyDone(c));
        return true;
    }
    bool finished = false;
    struct stat tst {};
    if (temp >= 0 && ::fstat(temp, &tst) == 0 && S_ISREG(tst.st_mode) && tst.st_uid == ::geteuid() &&
        IdentityOf(temp, tst).sameFile(c.other) && ::flock(temp, LOCK_EX | LOCK_NB) == 0 &&
        tst.st_size == c.size) {
        // Only the very file the copy began on: a new file given a freed inode number is not it.
        NamedFile target(c.path, c.file);
        if (target.isOpen()) {
            try {
                CopyRange(temp, 0, target.fd(), 0, c.size);
                if (::ftruncate(target.fd(), off_t(c.size)) == 0 && ::fsync(target.fd()) == 0) {
                    unlinkIfSame(c.path2, c.other);
                    journal.append(copyDone(c));
                    finished = true;
                }
            } catch (const CommandError&) {
            }
        }
    }
    if (temp >= 0)
        ::close(temp);
    if (!finished)
        findings.notes << QCoreApplication::translate(
                              "Journal", "Morwick could not finish a change cut short: the new content of "
                                         "%1 is kept in %2. Remove that file once you no longer need it.")
                              .arg(shown(c.path), shown(c.path2));
    return finished;
}

// A head written over in place with, as the same change, a trailer written over or appended (see
// Kind::Head): where each part stands in the file now.
struct HeadParts {
    QByteArray oldHead, newHead, oldTrailer, newTrailer;
    explicit HeadParts(const Record& c)
        : oldHead(c.oldBytes.left(c.size)), newHead(c.newBytes.left(c.size)),
          oldTrailer(c.oldBytes.mid(c.size)), newTrailer(c.newBytes.mid(c.size)) {}
};

// Whether the file holds a mix of the change's old and new bytes, each part cut anywhere: `fresh`
// tells whether any new byte is there (else the change never started, or an undo ended).
bool headMix(const NamedFile& file, const Record& c, const HeadParts& p, bool& fresh, bool& whole) {
    const qint64 size = file.st().st_size;
    const QByteArray head = file.read(0, p.oldHead.size());
    if (!mixOf(head, p.oldHead, p.newHead))
        return false;
    fresh = head != p.oldHead;
    whole = head == p.newHead;
    if (p.newTrailer.isEmpty())
        return size == c.oldSize;
    if (!p.oldTrailer.isEmpty()) {
        if (size != c.oldSize)
            return false;
        const QByteArray trailer = file.read(c.offset, p.oldTrailer.size());
        if (!mixOf(trailer, p.oldTrailer, p.newTrailer))
            return false;
        fresh = fresh || trailer != p.oldTrailer;
        whole = whole && trailer == p.newTrailer;
        return true;
    }
    const qint64 written = size - c.oldSize;
    if (written < 0 || written > p.newTrailer.size() ||
        file.read(c.offset, written) != p.newTrailer.left(written))
        return false;
    fresh = fresh || written > 0;
    whole = whole && written == p.newTrailer.size();
    return true;
}

// Brings a head change cut short to its new bytes (any new byte written: it had begun).
bool finishHead(const NamedFile& file, const Record& c) {
    const HeadParts p(c);
    bool fresh = false, whole = false;
    if (!headMix(file, c, p, fresh, whole) || !fresh)
        return false;
    return whole || (file.write(p.newHead, 0) && file.write(p.newTrailer, c.offset));
}

// Brings a head change whose undo was cut short back to its old bytes.
void unwindHead(const NamedFile& file, const Record& c) {
    const HeadParts p(c);
    bool fresh = false, whole = false;
    if (!headMix(file, c, p, fresh, whole) || !fresh)
        return;
    file.write(p.oldHead, 0);
    if (!p.oldTrailer.isEmpty())
        file.write(p.oldTrailer, c.offset);
    else if (!p.newTrailer.isEmpty()) [[maybe_unused]]
        const int rc = ::ftruncate(file.fd(), off_t(c.oldSize));
}

// Confirms or settles one change that has neither: brings a torn trailer or head to its new bytes, and
// ends a rename that its link-then-unlink fallback left under both names.
void recoverChange(JournalFile& journal, const Record& c) {
    bool done = false;
    struct stat after {};
    FileIdentity afterId;
    QByteArray last128;
    if (c.kind == Kind::Rename) {
        struct stat st {};
        const std::optional<FileIdentity> moved = IdentityAt(AT_FDCWD, c.path2.constData(), &st);
        if (moved && moved->sameFile(c.file)) {
            const std::optional<FileIdentity> old = IdentityAt(AT_FDCWD, c.path.constData());
            // Both names lead to the file: the fallback was killed between its link and its unlink.
            done = !old || (old->sameFile(c.file) && !S_ISDIR(st.st_mode) && unlinkIfSame(c.path, c.file));
            after = st;
            afterId = *moved;
        }
    } else {
        NamedFile file(c.path, c.file);
        if (c.kind == Kind::Removal && !file.isOpen()) {
            // A rewrite renamed over the file gives it a new inode.
            struct stat st {};
            if (::stat(c.path.constData(), &st) == 0 && st.st_size == c.size) {
                const std::optional<FileIdentity> now = IdentityAt(AT_FDCWD, c.path2.constData());
                if (now) {
                    NamedFile renamed(c.path, *now);
                    if (renamed.isOpen()) {
                        done = true;
                        after = renamed.st();
                        afterId = renamed.identity();
                        last128 = renamed.last128();
                    }
                }
            }
        } else if (file.isOpen()) {
            const qint64 size = file.st().st_size;
            if (c.kind == Kind::Removal) {
                done = size == c.size;
            } else if (c.kind == Kind::Head) {
                done = finishHead(file, c);
            } else if (c.oldBytes.isEmpty()) { // an append
                const qint64 written = size - c.oldSize;
                if (written > 0 && written <= kTrailerBytes &&
                    file.read(c.oldSize, written) == c.newBytes.left(written)) {
                    done = written == kTrailerBytes || file.write(c.newBytes, c.oldSize);
                }
            } else if (size == c.oldSize) {
                // A trailer or a head written over in place.
                const QByteArray now = file.read(c.offset, c.newBytes.size());
                if (now == c.newBytes)
                    done = true;
                else if (now != c.oldBytes && mixOf(now, c.oldBytes, c.newBytes))
                    done = file.write(c.newBytes, c.offset);
            }
            if (done) {
                ::fsync(file.fd());
                file.refresh();
                after = file.st();
                afterId = file.identity();
                last128 = file.last128();
            }
        }
    }
    journal.append(done ? DoneRecord(c.id, afterId, after, last128) : mark(Kind::Settled, c.id));
}

// An undo that a kill cut short goes back to the old bytes entirely: a trailer written back, or
// removed trailing bytes appended again.
void recoverUndoStep(const Record& c, const Record& done) {
    NamedFile file(c.path, done.file);
    if (!file.isOpen())
        return;
    const qint64 size = file.st().st_size;
    if (c.kind == Kind::Removal && c.oldBytes.isEmpty() && c.offset == 0) {
        const qint64 put = size - done.size;
        if (put > 0 && size < c.oldSize && file.read(done.size, put) == c.newBytes.left(put) &&
            file.write(c.newBytes, done.size))
            ::fsync(file.fd());
        return;
    }
    if (c.kind == Kind::Head) {
        unwindHead(file, c);
        ::fsync(file.fd());
        return;
    }
    if (c.kind != Kind::Trailer)
        return;
    if (c.oldBytes.isEmpty()) {
        if (size > c.oldSize && size <= c.oldSize + kTrailerBytes &&
            file.read(c.oldSize, size - c.oldSize) == c.newBytes.left(size - c.oldSize))
            ::ftruncate(file.fd(), off_t(c.oldSize));
    } else if (size == c.oldSize) {
        const QByteArray now = file.read(c.offset, c.oldBytes.size());
        if (now != c.oldBytes && mixOf(now, c.oldBytes, c.newBytes))
            file.write(c.oldBytes, c.offset);
    }
    ::fsync(file.fd());
}

} // namespace

JournalIndex IndexJournal(Reader& reader) {
    JournalIndex index;
    Record r;
    qint64 offset = 0;
    while (reader.next(r, &offset)) {
        switch (r.kind) {
        case Kind::Begin:
            index.name = r.name;
            break;
        case Kind::End:
        case Kind::Folder: // taken in by the reader, which gives whole paths
            break;
        case Kind::Trailer:
        case Kind::Head:
        case Kind::Removal:
        case Kind::Rename: {
            ChangeEntry& entry = index.changes[r.id];
            entry.offset = offset;
            entry.kind = r.kind;
            index.folders.insert(FolderOf(r.path));
            if (r.kind != Kind::Trailer && r.kind != Kind::Head)
                index.folders.insert(FolderOf(r.path2));
            break;
        }
        case Kind::CopyBack:
            index.folders.insert(FolderOf(r.path2));
            index.copyBacks.push_back(std::move(r));
            break;
        case Kind::CopyDone: {
            const QByteArray temp = r.path2;
            index.copyBacks.erase(std::remove_if(index.copyBacks.begin(), index.copyBacks.end(),
                                                 [&](const Record& c) { return c.path2 == temp; }),
                                  index.copyBacks.end());
            break;
        }
        case Kind::Done:
            if (index.changes.count(r.id))
                index.changes[r.id].done = std::move(r);
            break;
        case Kind::Settled:
            if (index.changes.count(r.id))
                index.changes[r.id].settled = true;
            break;
        case Kind::UndoStep:
            if (index.changes.count(r.id))
                index.changes[r.id].undoStarted = true;
            break;
        case Kind::UndoDone:
            if (index.changes.count(r.id))
                index.changes[r.id].undone = true;
            break;
        }
    }
    index.end = reader.end();
    return index;
}

NamedFile::NamedFile(const QByteArray& path, const FileIdentity& expected) {
    fd_ = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0)
        return;
    if (::fstat(fd_, &st_) == 0 && S_ISREG(st_.st_mode)) {
        identity_ = IdentityOf(fd_, st_);
        if (identity_.sameFile(expected))
            return;
    }
    ::close(fd_);
    fd_ = -1;
}

NamedFile::~NamedFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

QByteArray NamedFile::read(qint64 at, qint64 n) const {
    if (at < 0 || n < 0)
        return {};
    QByteArray buf(n, Qt::Uninitialized);
    qint64 done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd_, buf.data() + done, size_t(n - done), off_t(at + done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        done += r;
    }
    buf.truncate(done);
    return buf;
}

QByteArray NamedFile::last128() const {
    const qint64 size = st_.st_size;
    return read(std::max<qint64>(0, size - kTrailerBytes), std::min<qint64>(size, kTrailerBytes));
}

bool NamedFile::write(const QByteArray& bytes, qint64 at) const {
    try {
        WriteAllAt(fd_, bytes.constData(), bytes.size(), at);
        return true;
    } catch (const CommandError&) {
        return false;
    }
}

void RecoverHeld(JournalFile& journal, RecoveryFindings& findings, std::set<QByteArray>* folders) {
    Reader reader(journal.fd());
    if (reader.version() < 2)
        return;
    JournalIndex index = IndexJournal(reader);
    // Records go on after the last sound one: a torn record, or the blocks a killed command
    // reserved, are cut off.
    if (!journal.cutAfter(index.end))
        return;
    bool whole = true;
    for (const Record& c : index.copyBacks)
        whole = finishCopyBack(journal, c, findings) && whole;
    for (const auto& [id, entry] : index.changes) {
        Record c;
        if (!entry.done && !entry.settled) {
            if (reader.readAt(entry.offset, c))
                recoverChange(journal, c);
        } else if (entry.undoStarted && !entry.undone && entry.done) {
            if (reader.readAt(entry.offset, c))
                recoverUndoStep(c, *entry.done);
        }
    }
    // What recovery settled is the command's end: the next start need not read it again. A copy
    // back that could not be finished keeps it open, and its temporary with it.
    if (whole && journal.append(EndRecordBytes(journal.version())))
        ::fsync(journal.fd());
    if (folders != nullptr)
        folders->insert(index.folders.begin(), index.folders.end());
}

void RecoverAll(const StateFolder& folder, RecoveryFindings& findings, std::set<QByteArray>* folders) {
    for (const QByteArray& name : folder.journalNames()) {
        JournalFile journal(folder, name, true);
        const QString path = shown(journal.path());
        switch (journal.status()) {
        case JournalFile::Status::Untrusted:
            findings.keepAllTemporaries = true;
            findings.notes << QCoreApplication::translate(
                                  "Journal", "The journal of changes %1 belongs to another user, is open to "
                                             "others or is not a plain file: Morwick leaves it alone, and "
                                             "every temporary file it may need.")
                                  .arg(path);
            break;
        case JournalFile::Status::Held:
            if (journal.endsWhole())
                break;
            if (journal.version() == 1)
                findings.notes << QCoreApplication::translate(
                                      "Journal", "The journal of changes %1 was left cut short by an earlier "
                                                 "version of Morwick, which this one cannot recover: the "
                                                 "files it names are left as they are.")
                                      .arg(path);
            else if (journal.version() >= 2)
                RecoverHeld(journal, findings, folders);
            break;
        default:
            break; // gone, or another Morwick's command is running on it
        }
    }
}

} // namespace journal

JournalReport RecoverJournal() {
    JournalReport report;
    const journal::StateFolder folder(false);
    if (folder.status() == journal::StateFolder::Status::Untrusted) {
        report.notes << QCoreApplication::translate(
                            "Journal", "The folder for Morwick's journal of changes, %1, belongs to another "
                                       "user or is open to others: Morwick works without undo and crash "
                                       "recovery until it is mended.")
                            .arg(journal::shown(folder.path()));
        return report;
    }
    if (!folder.usable())
        return report;
    journal::RecoveryFindings findings;
    std::set<QByteArray> folders;
    journal::RecoverAll(folder, findings, &folders);
    const journal::NeededTemporaries needed = journal::FindNeededTemporaries(folder);
    for (const QByteArray& dir : folders)
        journal::SweepFolder(dir, needed);
    journal::SweepJournalTemporaries(folder);
    report.notes = findings.notes;
    return report;
}
