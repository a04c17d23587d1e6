#pragma once

// Where journals live, and who may touch which. The state folder holds one journal per command
// ("journal-<start time>-<random>"), made under a temporary name ("journal.new-<random>") and
// renamed into place whole, so that no Morwick ever replaces another's journal; an earlier
// Morwick's single "journal" may stand beside them. A journal is held with flock while its command
// runs (and while recovery or an undo works on it); one that nobody holds and that does not end
// with an End record was cut short and waits for recovery. Nothing here is used unless it is the
// user's own and private: the folder is opened without following a symbolic link and checked,
// every journal is opened relative to it, without following a link, and checked the same way.

#include "core/JournalFormat.h"

#include <QByteArray>
#include <QStringList>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace journal {

// The folder part of an absolute path ("/" for a name at the root).
QByteArray FolderOf(const QByteArray& path);
// write(2) until every byte is written; false when it fails.
bool WriteAll(int fd, const QByteArray& bytes);

// The state folder's path ($XDG_STATE_HOME/morwick, else ~/.local/state/morwick); empty without a
// home.
QByteArray StateFolderPath();

// The state folder, held open for as long as this lives.
class StateFolder {
public:
    enum class Status {
        Missing,   // no home, or the folder is not there (and was not to be made)
        Usable,    // the user's own and private
        Untrusted, // a symbolic link, another user's, or open to others: never used
    };
    // Opens the folder, making it (0700, with its parents) first when `create` is set.
    explicit StateFolder(bool create);
    ~StateFolder();
    StateFolder(const StateFolder&) = delete;
    StateFolder& operator=(const StateFolder&) = delete;

    Status status() const { return status_; }
    bool usable() const { return status_ == Status::Usable; }
    int fd() const { return fd_; }
    const QByteArray& path() const { return path_; }
    // The journals' names, oldest first (an earlier Morwick's "journal" before all).
    std::vector<QByteArray> journalNames() const;

private:
    Status status_ = Status::Missing;
    int fd_ = -1;
    QByteArray path_;
};

// Whether a journal, or the folder of journals, described by `st` may be used: the user's own,
// nothing for group or others, and for a journal a regular file with one name.
bool PrivateFile(const struct stat& st);
bool PrivateFolder(const struct stat& st);

// A journal in the state folder, opened by name (never through a symbolic link) and checked.
class JournalFile {
public:
    enum class Status {
        Missing,   // gone meanwhile
        Untrusted, // a symbolic link, another user's, shared, or not a plain file
        Busy,      // another Morwick holds it (its command is running); open for reading only
        Open,      // open for reading, not held (opened without `lock`)
        Held,      // open and held with flock by this one
    };
    // With `lock`, takes the journal's lock without waiting for anybody.
    JournalFile(const StateFolder& folder, const QByteArray& name, bool lock);
    ~JournalFile();
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    Status status() const { return status_; }
    bool held() const { return status_ == Status::Held; }
    int fd() const { return fd_; }
    const QByteArray& name() const { return name_; }
    QByteArray path() const { return folderPath_ + '/' + name_; }
    int version() const { return version_; }
    bool endsWhole() const { return fd_ >= 0 && version_ != 0 && EndsWhole(fd_, version_); }
    // Appends records with write(2) at the end of the last sound one: bytes as they are, or a
    // record in the journal's own format.
    bool append(const QByteArray& bytes);
    bool append(const Record& r) { return append(Encode(r, version_)); }
    // Cuts what follows the last sound record: a torn record, or blocks reserved ahead.
    bool cutAfter(qint64 end);
    // Removes the journal, if its name still leads to the file held.
    void remove();

private:
    Status status_ = Status::Missing;
    int fd_ = -1;
    int dirFd_ = -1;
    int version_ = 0;
    QByteArray name_;
    QByteArray folderPath_;
};

// A new journal for a command, made whole under a temporary name and renamed into place, held
// with flock; its Begin record names `command`. Nothing when it cannot be made.
struct NewJournal {
    int fd = -1;
    QByteArray name;
};
NewJournal CreateJournal(const StateFolder& folder, const QString& command);

// Removes the journals older than `newest` that nobody holds and that ended whole: nothing can
// need them any more, and the newest is the one Undo takes back. Never one that was cut short.
void PruneJournals(const StateFolder& folder, const QByteArray& newest);

// Journals a command never got to rename into place.
void SweepJournalTemporaries(const StateFolder& folder);

// Whether the journal may be written through a shared mapping: only on a file system that
// overwrites blocks in place, where blocks reserved ahead are blocks written into. On one that
// copies on write, a full disk would show as SIGBUS in the middle of a record.
bool MappingIsSafe(int fd);

} // namespace journal
