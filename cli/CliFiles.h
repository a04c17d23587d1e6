#pragma once

#include "core/Batch.h"

#include <QString>
#include <QStringList>
#include <sys/types.h>
#include <vector>

// The files a command line names, folder by folder, as the window would list them.

// One folder's share of the command line: the batch the window would run there.
struct FolderFiles {
    QString folder;    // absolute, as the working directory takes it
    QString shown;     // the folder as the user named it, for output ("" for the working directory)
    QStringList names; // bare names, in the window's list order
};

// What gathering found: the folders in the order first named (a folder's subfolders right
// after it with `recursive`), and the paths that are neither an existing file nor a folder.
struct GatheredFiles {
    std::vector<FolderFiles> folders;
    QStringList missing;
    QStringList unreadable; // folders that could not be listed, with their message
};

// A folder given means its MP3 files as the window lists them (ListDirectory); `recursive`
// takes its subfolders too, each after its parent, in listed order. Files given are put with
// their folder, in the window's list order, those it would not list (another extension, a hidden
// name) after them in the order given; a file named twice counts once. Relative paths count from
// the working directory.
GatheredFiles GatherFiles(const QStringList& paths, bool recursive);

// What became of one file a batch visited.
struct FileChange {
    QString oldName;
    QString newName; // the old name when it was not renamed
    bool renamed = false;
    bool rewritten = false; // its content changed
};

// The file list of one folder, every entry selected, for a batch command run in that folder (the
// working directory). It notes each file as the batch comes to it, so that afterwards it can say
// what changed: the content (size, times, identity, or the bytes where tags live) and the name (a
// renamed file is found again by its identity among the folder's new names).
class FolderSelection : public FileSelection {
public:
    explicit FolderSelection(const QStringList& names);

    int count() const override { return int(names_.size()); }
    const QString& name(int index) const override { return names_.at(index); }
    bool isSelected(int index) const override { return selected_.at(size_t(index)); }
    void deselect(int index) override;
    void reselect(int index) override;
    // A command line's list is not shown again: only the marks go.
    void reread() override;

    // The visited files that changed, in list order.
    std::vector<FileChange> changes() const;

    // A file's state as far as a command may change it.
    struct State {
        bool exists = false;
        dev_t dev = 0;
        ino_t ino = 0; // of the name itself (a link's own), which a rename keeps
        off_t size = 0;
        int64_t mtime = 0;
        int64_t ctime = 0;
        // A hash of the head (leading tag) and the last 128 bytes: a folder's worth of whole
        // heads would be most of the memory used, and their copies most of the time spent.
        size_t tagHash = 0;
    };

private:
    QStringList names_;
    std::vector<bool> selected_;
    std::vector<State> before_;
    std::vector<bool> visited_;
};
