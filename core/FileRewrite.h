#pragma once

// Rewriting a whole file safely: the new content goes to a temporary file beside it first, and
// only a complete, synced copy ever takes the file's place. Used by tag removal and by its undo.

#include "core/PosixFile.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <vector>

class HeldFolder;

// How the finished temporary takes the file's place.
enum class RewriteMode {
    // Renamed over the file where that keeps everything the file had: one name, an owner and
    // group that can be given back, its mode, extended attributes and ACLs. Otherwise as InPlace.
    Auto,
    // Copied back over the file through its own descriptor, so the inode (owner, group, mode,
    // attributes, other hard links, other programs' open descriptors) stays; the copy is
    // journaled so that recovery finishes one cut short.
    InPlace,
};

// Leftover temporaries are named ".<name>.morwick-XXXXXX"; a live one is held with flock.
bool IsTemporaryName(const QByteArray& name);

// Replaces the content of `original` (open for writing, described by `st`, both as it was read;
// reached through `path`, a Morwick name; a symbolic link is followed) with what `fill` writes into
// the descriptor it is given from position 0; fill returns the new length. `id` is the journal's
// change id (0 for none); the change is confirmed in the journal when done. Returns true when the
// file holds the new content, false when it was left alone: another program replaced, moved,
// wrote, cut, appended to or linked it since it was read (nothing changed, no temporary left).
// Throws CommandError; the file is then unchanged and no temporary is left.
[[nodiscard]] bool RewriteFile(const QString& path, PosixFile original, const struct stat& st, uint32_t id,
                               RewriteMode mode, const std::function<int64_t(int fd)>& fill);

// Test seam: called with a file's path as a change to it is given to a ChangeGroup, after the file
// was read and before anything of the change is made or its place is looked up. Empty: none.
void SetChangeGivenHook(std::function<void(const QString& path)> hook);
// Test seam: called with a file's path right before its temporary takes its place, after the
// checks that precede it. Empty: none.
void SetBeforePlaceHook(std::function<void(const QString& path)> hook);

// Changes to many files ended together, so that a batch pays for durability once per group of
// files instead of once per file. Each change is begun when it is given (a rewrite's new content
// written into its temporary, with its writeback started) and held; finish() ends the held changes
// in the order given: every temporary is synced first, so one journal commit of the file system
// serves them all, then each takes its file's place. A kill or a power cut at any instant leaves
// each file old or new, as for a single change.
//
// Every change acts on the folder holding the file that was read, held open when the change is
// given; right before a change is made, the file's name must still lead to the file read and the
// file must be as it was read (size, times, links). Otherwise the file is left alone: nothing of
// the change is made, and it is counted (leftAlone()).
class ChangeGroup {
public:
    explicit ChangeGroup(RewriteMode mode = RewriteMode::Auto);
    // Drops what is still held: those files stay as they were.
    ~ChangeGroup();
    ChangeGroup(const ChangeGroup&) = delete;
    ChangeGroup& operator=(const ChangeGroup&) = delete;

    // Begins the rewrite of `original` as RewriteFile describes and holds it. A rewrite that can
    // only be copied back through the file's descriptor (see RewriteMode) is made whole at once,
    // after finish() has ended what was held before it; so is one of a file of another owner in a
    // folder others may change, where a rename could be steered to another file.
    void rewrite(const QString& path, PosixFile original, const struct stat& st, uint32_t id,
                 const std::function<int64_t(int fd)>& fill);
    // Holds the cut of `file` (described by `st` as it was read, its identity `identity`, reached
    // through `path`) to `length`; `last128` is what it will then end in (empty: read it again).
    void truncate(const QString& path, PosixFile file, const struct stat& st, const FileIdentity& identity,
                  int64_t length, uint32_t id, QByteArray last128);
    // Whether a change to the file `st` describes is held: it must be ended before the file is
    // read for another change.
    bool holds(const struct stat& st) const;
    // Whether enough is held to end it now.
    bool full() const;
    // Ends every held change, in the order given. Throws GroupFailure for the first that fails;
    // the ones held after it are dropped. Nothing is held afterwards either way.
    void finish();
    // How many of the changes given so far were left alone because their file changed meanwhile.
    int leftAlone() const { return leftAlone_; }

private:
    struct Held;
    // The change, its place found; nothing when the file is left alone. `identity`: the file's,
    // when the caller knows it already. `check`: whether the name is looked at now, to leave a
    // file moved or replaced since it was read alone before any work is done on it.
    std::unique_ptr<Held> give(const QString& path, PosixFile file, const struct stat& st, uint32_t id,
                               const FileIdentity* identity = nullptr, bool check = true);
    void leaveAlone(uint32_t id);
    std::shared_ptr<const HeldFolder> folderOf(const QByteArray& folder);
    void end(Held& held);
    void copyBack(std::unique_ptr<Held> held, int64_t length);

    RewriteMode mode_;
    std::vector<std::unique_ptr<Held>> held_;
    int64_t heldBytes_ = 0;
    int leftAlone_ = 0;
    std::shared_ptr<const HeldFolder> lastFolder_;
    QByteArray lastFolderPath_;
};

// Writes all n bytes at pos of fd, else throws "Disk full" (or the error's message).
void WriteAllAt(int fd, const void* buf, int64_t n, int64_t pos);

// Copies len bytes from `in` at inPos to `out` at outPos. Throws CommandError.
void CopyRange(int in, int64_t inPos, int out, int64_t outPos, int64_t len);
