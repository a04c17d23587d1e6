#pragma once

#include "core/FileIdentity.h"
#include "core/FileRewrite.h"
#include "core/PosixFile.h"

#include <QByteArray>
#include <QString>
#include <sys/stat.h>

// Strips every tag Morwick knows from one file (a Morwick name, see FileName.h): a leading ID3v2
// tag (with its footer when flagged); at the end, the ID3v1 trailer at exactly 128 bytes before
// the end, a Lyrics3 version 2 block (its "LYRICSBEGIN" within the last 1024 bytes, or found
// through its size field) and a well-formed ID3v2 tag whose header lies within the last 4096
// bytes and which ends exactly where the file, or a trailer cut with it, ends. Each trailing kind
// is cut at most once, each search counting from the end left by the ones before it; a match at
// the first byte never cuts.
//
// Only the head and the tail of the file are read, so memory stays small for any size. When
// something goes from the front, the rest is copied into a temporary file beside the original,
// which then takes its place (see RewriteFile: renamed over it where that keeps owner, group,
// mode, attributes and links, else copied back through the file's own descriptor; `mode` forces
// the second way); when only trailing bytes go, the file is truncated in place. Either way the
// file is never left half-written, and the removed bytes are kept in the journal for an undo.
//
// Returns true when something was removed (the file was rewritten), false when the file had
// nothing to remove (it was only read). A file that another program changed while Morwick worked on
// it is left alone (see ChangeGroup) and still answers true; the group counts it. Throws CommandError with
// "File not found", "File access denied" (something to remove but no owner-write bit), "Range check error" (a
// leading tag larger than the file), "Read beyond end of file", "Disk full" or "I/O error <errno>"; the file
// is then unchanged and no temporary file is left behind.
bool RemoveAllTags(const QString& path, RewriteMode mode = RewriteMode::Auto);

// As above, for one file among many: the change is held in `group` (see ChangeGroup), which the
// caller ends; a change held for the same file is ended first. Returns true when something is to
// be removed (the change is held, or made).
bool RemoveAllTags(ChangeGroup& group, const QString& path);

// What removing the tags of one file needs to know, found by reading it and nothing more: the
// file open (for writing where the user may write it), what it is, which part of it stays, and
// the bytes that go. A batch looks at the files ahead of it on a second thread (see PlanAhead).
struct TagLook {
    PosixFile file;
    bool writable = false;
    struct stat st {};
    FileIdentity identity; // known only when something is to go
    int64_t keepBegin = 0, keepEnd = 0;
    QByteArray head;        // bytes [0, keepBegin)
    QByteArray removedTail; // bytes [keepEnd, size)
    QByteArray last128;     // a file only cut at its end: what it then ends in, when read already

    bool removes() const { return keepBegin != 0 || keepEnd != st.st_size; }
};

// Opens and reads `path` for RemoveAllTags; throws as RemoveAllTags does for a file it cannot
// read or that is no regular file. Only reads: safe on any thread.
TagLook LookForTags(const QString& path);

// RemoveAllTags with the file looked at already. A look taken before a change held for the same
// file (through another name) is taken again once that change is made.
bool RemoveAllTags(ChangeGroup& group, const QString& path, TagLook look);
