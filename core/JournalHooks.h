#pragma once

// What core's file operations tell the journal (see Journal.h). Paths are encoded (FileName.h)
// and made absolute here. Each announcement returns the change's id, or 0 when the change is not
// journaled (the journal cannot be written, or an undo is making the change); every later call
// with id 0 does nothing. Callers hold a JournalCommand while they change a file.

#include "core/FileIdentity.h"

#include <QByteArray>
#include <cstdint>
#include <sys/stat.h>
#include <sys/types.h>

namespace journal {

// A change made outside any JournalCommand is a command of its own: each of core's changing
// operations holds one of these, which nests into a running command.
class ChangeScope {
public:
    ChangeScope();
    ~ChangeScope();
    ChangeScope(const ChangeScope&) = delete;
    ChangeScope& operator=(const ChangeScope&) = delete;
};

// The running command is about to make up to `changes` changes (a batch over its selection): once
// its first records show what a change takes, the journal reserves room for the rest at once
// rather than growing step by step.
void ExpectChanges(int changes);

// The working directory joined to a relative path; an absolute one as it is.
QByteArray AbsolutePath(const QByteArray& path);
// The working directory changed (EnterDirectory): AbsolutePath, which takes it once per command,
// takes it again.
void WorkingDirectoryChanged();
// Where the content of the file named `path` lives: a symbolic link's target, else the path.
QByteArray ContentPath(const QByteArray& path);

// Recovery and undo come back to a file only when it is still the one announced: `file` is its
// identity (FileIdentity.h), `st` what fstat says of it before the change.

// `newBytes` (128) go at `offset` of the file: over `oldBytes` (128), or appended at the file's
// end when `oldBytes` is empty.
uint32_t AnnounceTrailer(const FileIdentity& file, const struct stat& st, const QByteArray& path,
                         int64_t offset, const QByteArray& oldBytes, const QByteArray& newBytes);
// Removal of `head` bytes from the front and `tail` bytes from the end of the file named `path`,
// whose content lives at `contentPath` (ContentPath: a symbolic link's target, where the rewrite's
// temporary is made). A rewrite that puts new bytes in their place gives `added` (how many in
// all) and `newHeadSize` (how many of them at the front), so that an undo knows where the old
// content lies.
uint32_t AnnounceRemoval(const FileIdentity& file, const struct stat& st, const QByteArray& path,
                         const QByteArray& contentPath, const QByteArray& head, const QByteArray& tail,
                         int64_t added = 0, int64_t newHeadSize = 0);
// `newHead` goes over `oldHead`, as long, at the file's first byte (a leading tag rewritten in its
// own space), and with it, as the same change, `newTrailer` (none: no trailer written) over
// `oldTrailer` at `trailerAt` (appended there when `oldTrailer` is empty).
uint32_t AnnounceHead(const FileIdentity& file, const struct stat& st, const QByteArray& path,
                      const QByteArray& oldHead, const QByteArray& newHead, int64_t trailerAt,
                      const QByteArray& oldTrailer, const QByteArray& newTrailer);
// Whether the running command's journal is begun (or an undo is running): a change that is
// announced and then fails costs nothing more than its records.
bool JournalBegun();
// A rename of the file or folder `file` (not following a symbolic link) from one path to the other.
uint32_t AnnounceRename(const FileIdentity& file, const QByteArray& oldPath, const QByteArray& newPath);

// A rewrite's synced temporary (open as `tempFd`, named `tempPath`) is about to be copied back
// over the file `target`, named `targetPath`. This record alone is synced before the change (the
// caller has synced the temporary's folder first, so its name holds): a cut-short copy costs the
// whole file. False when it could not be
// written (the copy must not start: nothing could finish it). Until CopyBackDone, the command
// does not end whole and its journal stays for recovery.
bool AnnounceCopyBack(uint32_t id, int tempFd, const QByteArray& tempPath, const FileIdentity& target,
                      const QByteArray& targetPath, int64_t size);
void CopyBackDone(const QByteArray& tempPath);

// The change is made; `fd` is the file as it now is. `last128`, when given, is what the file now
// ends in (saves a read).
void Done(uint32_t id, int fd, const char* last128 = nullptr);
// The change announced as `id` was given up before its file was touched (the file changed meanwhile
// and was left alone): the file is as it was.
void NotMade(uint32_t id);
// The rename is made.
void RenameDone(uint32_t id, const struct stat& st);

// The file system holding `fd` (or the folder `dir`) has changes to sync when the command ends.
void Touched(dev_t dev, int fd);
void TouchedFolder(dev_t dev, const QByteArray& dir);

// How many times a command's end has synced a file system so far: one per file system it changed,
// never one per file.
uint64_t SyncCount();

// Test seam: kill the process (SIGKILL) once `bytes` more bytes of file content have been written
// by core; the write that crosses the limit is cut there, as the kernel cuts a write that a kill
// interrupts at a page boundary. A negative value disarms.
void KillAfterBytes(int64_t bytes);
// Test seam: once `bytes` more bytes are written, every write of file content by core fails as on
// a full disk ("Disk full"). A negative value disarms.
void FailAfterBytes(int64_t bytes);
// How many of `wanted` bytes may be written now (0: the write fails); kills the process when the
// kill's limit is reached.
int64_t WritableBytes(int64_t wanted);
bool KillArmed();

} // namespace journal
