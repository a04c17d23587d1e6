#pragma once

#include "core/IoError.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// What a batch command sees of the file list.
class FileSelection {
public:
    virtual ~FileSelection() = default;
    virtual int count() const = 0;
    // The entry's bare name (a Morwick name, see FileName.h), relative to the working directory.
    // Lent, not copied: a batch asks once per file, and a copy's reference count is shared with
    // the thread planning ahead.
    virtual const QString& name(int index) const = 0;
    virtual bool isSelected(int index) const = 0;
    // Removes the entry's selection mark quietly: this is not a user's selection change, so
    // nothing (status line, repaint of the whole list, file reads) follows from it.
    virtual void deselect(int index) = 0;
    // Gives an entry back the mark deselect removed: its work was dropped before it was done.
    virtual void reselect(int index) = 0;
    // Reads the directory again: new names shown, every selection mark gone.
    virtual void reread() = 0;
    // The batch's changes are all made and reread() follows once they are on disk: a list may
    // begin reading the folder now, on another thread, while the batch waits for the disk.
    virtual void prepareReread() {}
    // Called once when a batch loop ends, however it ends. A list may hold back the marks its
    // loop removed (isSelected already answers for them) and show them all here at once.
    virtual void endBatch() {}

    bool anySelected() const;
    int selectedCount() const;
    // The selected entries' names, in list order: the order a batch takes them in.
    QStringList selectedNames() const;
};

// Shows how far a batch has come, for a long one; core knows nothing of how. Whatever it does
// while the batch runs (repainting, taking a Stop), it must not let another command start or
// the list change.
class BatchProgress {
public:
    virtual ~BatchProgress() = default;
    // `files` selected entries will be visited.
    virtual void begin(int files) = 0;
    // `handled` of them have been worked on.
    virtual void advance(int handled) = 0;
    virtual void end() = 0;
    // Asked after each file: true ends the batch there, as a Stop from the work does.
    virtual bool stopRequested() { return false; }
};

// What the work on one file tells the batch loop: whether it changed the file (its tag or its
// name), and whether the batch goes on. Held: the change is begun and held, to be ended with
// others (see GroupedWork).
enum class BatchStep { Unchanged, Changed, Held, Stop };

// What a batch did.
struct BatchReport {
    bool ran = false; // something was selected, so the batch ran
    int changed = 0;  // entries whose work answered Changed
    // Entries whose held change was given up because another program changed the file meanwhile:
    // left as they were, and not counted in `changed`.
    int leftAlone = 0;
    // The list index of the entry the batch ended at, when the work stopped it or failed there.
    std::optional<int> stoppedAt;
    // The failure that ended the batch at `stoppedAt`.
    std::optional<CommandError> error;

    // Throws the failure, if there was one, for the one error box to show.
    void throwIfFailed() const {
        if (error)
            throw *error;
    }
};

// The pattern every command over the selection follows: nothing selected does nothing; the
// number of entries is taken once; each selected entry is deselected before its work; the
// list is re-read at the end unless the work stopped the batch or `reread` is false. A
// CommandError thrown by the work ends the batch at that entry, without the re-read, and is
// returned in the report. `progress` (may be null) is told how far the batch has come, and a
// Stop it asks for ends the batch after the current file just as the work's Stop does: the
// files handled stay handled, the later ones untouched and still selected.
BatchReport RunBatch(FileSelection& files, BatchProgress* progress,
                     const std::function<BatchStep(const QString& name)>& work, bool reread = true);

// Work whose changes may be held and ended together, several files at once (see ChangeGroup):
// `work` answers Held for a file whose change it holds; `end` ends every held change (throwing
// GroupFailure for the first that fails), and `full` says when enough is held to end it now. The
// batch ends what is held whenever `full` says so and before it ends, however it ends. A
// GroupFailure, from `end` or from `work` (which may end what is held itself), ends the batch at
// the entry it names, as a failure of its own work would: the entries held after it, and the one
// being worked on, are left untouched and selected again. `leftAlone` (may be empty) says how many
// of the changes given so far were left alone (their files changed meanwhile); the report carries
// it, however the batch ends.
struct GroupedWork {
    std::function<BatchStep(const QString& name)> work;
    std::function<void()> end;
    std::function<bool()> full;
    std::function<int()> leftAlone = {};
};
BatchReport RunBatch(FileSelection& files, BatchProgress* progress, const GroupedWork& work,
                     bool reread = true);
