#pragma once

#include <QString>
#include <QStringList>

// The journal of changes: every change Morwick makes to a file (a trailer written or appended,
// an ID3v2 tag written over its own space or put in front by a rewrite, tags removed, a file or
// folder renamed) is announced in it before it is made, and confirmed
// after. It serves two ends:
//  - recovery: a change that a kill or a crash cut short is completed (or its leftovers removed)
//    at the next start, so a file never keeps half a trailer or half a copy;
//  - undo: the journal holds the last command that changed files, with what its changes replaced,
//    so that command can be taken back, even after a restart.
//
// Journals live in $XDG_STATE_HOME/morwick/ (else ~/.local/state/morwick/), folder 0700, files
// 0600, one per command ("journal-<start time>-<random>"), so that two Morwicks running at once
// never replace or delete a journal the other still needs. The file operations of core write them
// themselves: the commands need not know of them. A folder or journal that is not the user's own
// and private (or is a symbolic link) is never used. How it is built, one concern per file:
// JournalFormat (the records), JournalStore (the folder and its files, who may touch which),
// JournalSession (the running command's journal and the hooks), JournalRecovery, JournalUndo and
// JournalTemporaries (the leftovers' sweep).
//
// What holds when:
//  - Records are written before each change, unsynced: on a file system that overwrites in place
//    through a shared mapping of the journal whose blocks are reserved ahead (no system call per
//    record; a full disk fails the reservation, not a write into the mapping), elsewhere (copy on
//    write, where a reserved block is no promise) with write(2). A killed Morwick (or one that crashed)
//    leaves every record it wrote in the page cache, so after kill -9 at any instant each file is recovered
//    to its old content or its new one.
//  - When a command ends, everything it changed is synced (one syncfs(2) per file system it
//    touched, the journal's included). A power cut after that loses nothing of the command, nor
//    its undo.
//  - A power cut during a command may lose the records of that command and so leave a trailer
//    that was being written when the power went torn; a removal that rewrites a file in place is
//    the exception: its record is synced before it starts (after the folders that hold its
//    temporary and the journal, so their names survive too), since a cut there would cost the
//    whole file.

// One command that may change files. The first change within it begins a new journal (so a
// command that changes nothing leaves the last one, and its undo, in place); its end syncs what it
// changed and, when every change ended whole, closes the journal with an End record and removes
// the older ones that ended whole and that nobody holds. A command with a change left unfinished
// (a copy back cut short by an error) keeps its journal open for recovery at the next start. Scopes nest:
// only the outermost counts, and its name (the first non-empty one given) is what CanUndo's caller shows. A
// change made outside any scope is a command of its own. Not for use across threads.
class JournalCommand {
public:
    explicit JournalCommand(const QString& name = {});
    ~JournalCommand();
    JournalCommand(const JournalCommand&) = delete;
    JournalCommand& operator=(const JournalCommand&) = delete;
};

// The folder that holds the journals (created when missing, 0700). Empty when there is none, or
// when it is not the user's own and private.
QString JournalDirectory();

// What a start found that the user should be told, once: a journal folder or journal that is not
// the user's own or private, a change cut short that could not be finished (its temporary kept).
struct JournalReport {
    QStringList notes; // sentences, each whole
    bool isEmpty() const { return notes.isEmpty(); }
    QString text() const { return notes.join(QLatin1Char('\n')); }
};

// Completes or cleans up what a killed Morwick left, in every journal nobody holds that did not
// end whole: a change announced but not confirmed is brought to its new state where the file
// shows it was under way (a torn trailer gets the rest of its new bytes, a copy cut short is
// finished from its synced temporary), or left as it is where it never started; a file is
// recognised by its identity, never by its name or inode number alone. Leftover temporaries in the
// folders the journals name go, unless something may still need them. A journal that another
// running Morwick holds is left alone. Never throws; failures are skipped and reported.
JournalReport RecoverJournal();

// For a program that keeps running after its commands (the window): the journals a command
// prunes are closed on a thread of their own, started now, so that their blocks are given back
// off the command's path (where the file system discards freed blocks, that takes milliseconds).
// Call it at the start, before the program starts any other process.
void StartLateCloses();

// Removes Morwick's leftover temporary files (".<name>.morwick-XXXXXX") in `dir` that no running
// Morwick holds and nothing needs; a temporary that a journal still needs to finish a copy is used
// for that first. Never throws.
void RemoveStaleTemporaries(const QString& dir);

// Whether the journal holds a command that can be undone, and its name (may be empty).
bool CanUndo();
QString UndoCommandName();

struct UndoReport {
    int restored = 0;    // changes taken back
    int notRestored = 0; // changes left alone: the file changed since, or a name is taken again
};

// Takes back the last command, change by change in reverse order: old trailers and ID3v2 heads
// written back (or an appended trailer cut off, a rewritten file's old head put back in front of
// its content), removed tags put back byte for byte, names given back. A file whose size,
// modification time or last 128 bytes differ from what the command left is left alone, and a name
// to go back to that exists again is never replaced; both count as not restored, as does a change
// an error stopped. The journal is removed afterwards, unless an error left a change of the undo
// unfinished: the next start (or the next undo) finishes it. Space is reserved before a removed
// head is copied back, so a full disk fails before the file changes. A kill during the undo is
// recovered like any change, and an undo started again goes on where the first stopped. Never
// throws.
UndoReport UndoLastCommand();

// What the user is told of the changes an undo left alone: "1 file could not be restored: ..."
// or "<n> files could not be restored: ..."; empty when it left none alone.
QString NotRestoredMessage(const UndoReport& report);
