#pragma once

#include "core/FileRewrite.h"
#include "core/Id3Tag.h"
#include "core/Id3v2Tag.h"

#include <QString>

// The leading ID3v2 tag of the file at `path` (a Morwick name), parsed (see ParseId3v2Tag).
// Nothing when the file is missing, cannot be opened, is not a regular file or has no tag. Reads
// the first 10 bytes and the tag through one descriptor; a failure after the open throws
// CommandError.
std::optional<Id3v2Parsed> ReadId3v2Tag(const QString& path);

// What became of a file's ID3v2 tag.
enum class Id3v2Outcome {
    // Nothing written: the file is missing, not a regular file, cannot be opened for writing or
    // lacks its owner-write bit, or its tag claims more bytes than the file holds (where its
    // frames end and the audio begins cannot be told, so it is not guessed); or the tag already
    // held exactly these texts.
    Untouched,
    // Written over the old tag's own space (its padding took the growth): done.
    InPlace,
    // The file is rewritten with the new tag in front (held in the group, or made at once as the
    // group decides).
    Rewritten,
};

// Writes the fields marked in `mask` from `texts` into the leading ID3v2 tag of the file at `path`
// (a Morwick name), as RenderId3v2Tag makes it: the other frames stay byte for byte. A tag that
// fits in the old tag's space is written over it in place, the old bytes journaled first, so a
// kill mid-write is finished at the next start; one that does not (or a file without a tag) is
// put in front by a rewrite held in `group` (copied, synced and renamed into place, or copied back
// through the file's descriptor where that keeps its links and attributes), with the old head
// journaled so that an undo puts it back byte for byte. A file another program changes meanwhile
// is left alone (see ChangeGroup). A change held for the same file is ended first. Throws
// CommandError ("Disk full", "I/O error <errno>", "Read beyond end of file"); the file is then
// unchanged.
Id3v2Outcome WriteId3v2Tag(ChangeGroup& group, const QString& path, const Id3v2Texts& texts,
                           const Id3FieldMask& mask);

// As above for one file, ended before it returns. True when the file holds the new tag.
bool WriteId3v2Tag(const QString& path, const Id3v2Texts& texts, const Id3FieldMask& mask,
                   RewriteMode mode = RewriteMode::Auto);

// Both tags of the file as ONE change, so a kill leaves the file old or new as a whole: the ID3v2
// tag as WriteId3v2Tag writes it and the ID3v1 trailer `trailer` (its zero byte cleared) over the
// file's last 128 bytes when they begin with "TAG", else appended. In place, the head and then the
// trailer are written over their old bytes, announced together first; rewritten, the temporary
// holds the new head, the audio and the new trailer. A file without its owner-write bit gets it,
// as WriteTag gives it. When the ID3v2 tag is left alone (see Untouched) the trailer is still
// written (InPlace). Untouched: the file could not be opened for writing (missing, a folder).
// Throws CommandError; the file is then unchanged.
Id3v2Outcome WriteBothTags(ChangeGroup& group, const QString& path, const ID3Tag& trailer,
                           const Id3v2Texts& texts, const Id3FieldMask& mask);
// As above for one file, ended before it returns. True when something was written.
bool WriteBothTags(const QString& path, const ID3Tag& trailer, const Id3v2Texts& texts,
                   const Id3FieldMask& mask, RewriteMode mode = RewriteMode::Auto);
