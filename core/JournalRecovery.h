#pragma once

// Reading a journal back and completing what its command left half done. A journal is indexed in
// one pass of its records: each change with where its announcement lies and what followed it; the
// announcements themselves (which hold the removed tags) are read again one by one as each change
// is handled, so memory stays small whatever the journal's size.

#include "core/FileIdentity.h"
#include "core/JournalFormat.h"
#include "core/JournalStore.h"

#include <QByteArray>
#include <QStringList>
#include <map>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <vector>

namespace journal {

struct ChangeEntry {
    qint64 offset = 0; // of its announcement
    Kind kind = Kind::Begin;
    std::optional<Record> done;
    bool settled = false;
    bool undoStarted = false;
    bool undone = false;
};

struct JournalIndex {
    QString name; // the command's
    std::map<quint32, ChangeEntry> changes;
    std::vector<Record> copyBacks; // copies back not confirmed done
    std::set<QByteArray> folders;  // where the changes' files (and so their temporaries) live
    qint64 end = 0;                // where the last sound record ends
};

// Indexes the journal `reader` reads, from its first record.
JournalIndex IndexJournal(Reader& reader);

// A file reached by its path that is still the one a record names: opened first, then its
// identity checked on what was opened.
class NamedFile {
public:
    NamedFile(const QByteArray& path, const FileIdentity& expected);
    ~NamedFile();
    NamedFile(const NamedFile&) = delete;
    NamedFile& operator=(const NamedFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const struct stat& st() const { return st_; }
    const FileIdentity& identity() const { return identity_; }
    QByteArray read(qint64 at, qint64 n) const;
    QByteArray last128() const;
    bool write(const QByteArray& bytes, qint64 at) const;
    void refresh() { ::fstat(fd_, &st_); }

private:
    int fd_ = -1;
    struct stat st_ {};
    FileIdentity identity_;
};

// What a pass of recovery found that the user should be told, and which temporaries must stay.
struct RecoveryFindings {
    QStringList notes;
    bool keepAllTemporaries = false; // a journal could not be read: any temporary may be needed
};

// Brings a held journal's command to its end: copies back cut short are finished, announced
// changes confirmed or settled, an undo cut short within a change completed. When nothing is left
// unfinished the journal gets its End record; otherwise it stays as it is and each temporary that
// could not be used is noted. `folders`, when given, receives the folders its changes name.
void RecoverHeld(JournalFile& journal, RecoveryFindings& findings, std::set<QByteArray>* folders);

// Recovers every journal in the folder that nobody holds and that was cut short; notes (once) what
// is not the user's own or private, and a cut-short journal of an earlier version.
void RecoverAll(const StateFolder& folder, RecoveryFindings& findings, std::set<QByteArray>* folders);

} // namespace journal
