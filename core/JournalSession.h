#pragma once

// The running command's side of the journal: its own journal file (made by its first change),
// the records appended to it, and what the command must sync when it ends. JournalCommand and
// the hooks of JournalHooks.h work on it; an undo borrows it to journal its copies back.

#include "core/JournalFormat.h"

#include <QByteArray>
#include <QString>
#include <map>
#include <set>
#include <sys/types.h>
#include <vector>

namespace journal {

struct Session {
    int depth = 0;
    QString name;
    int fd = -1;             // the command's journal, held with flock until the command ends
    int dirFd = -1;          // the state folder holding it
    QByteArray fileName;     // its name there
    bool failed = false;     // the journal could not be written: the command goes on without it
    bool undoing = false;    // an undo makes the changes: announcements are not journaled
    bool nameSynced = false; // the journal's name is on disk (its folder was synced)
    quint32 nextId = 1;
    int version = kVersion;       // the journal's format: an undo appends to an earlier one
    QByteArray pending;           // confirmations not yet written: they go out with the next record
    QByteArray cwd;               // the working directory, taken once per command
    QByteArray folder;            // the folder the journal's last Folder record names (none yet)
    std::map<dev_t, int> syncFds; // one descriptor per file system the command changed
    // What has not ended whole yet: announced changes without their Done, copies back without
    // theirs. A command with any left gets no End record: recovery looks at it at the next start.
    std::vector<bool> open; // by change id: announced, not yet done
    size_t openChanges = 0;
    std::set<QByteArray> openCopyBacks;
    // On a file system that overwrites in place, the journal is appended through a shared mapping:
    // a record is in the page cache, safe from a kill, once copied, without a system call per
    // record. Room is reserved ahead (so a full disk fails the reservation, not a write to the
    // mapping) and the file is trimmed to its records when the command ends.
    char* map = nullptr;
    qint64 mapSize = 0;
    qint64 used = 0;  // bytes of records in the mapped journal; -1: appended with write(2)
    int expected = 0; // changes the command expects to make (0: unknown)
};

Session& CurrentSession();

// Appends a record (after the confirmations pending); on failure the journal is dropped.
bool Append(Session& s, const QByteArray& record);
// Syncs every file system the command changed (the pending confirmations written first).
void SyncTouched(Session& s);

} // namespace journal
