#pragma once

#include "commands/BatchFields.h"

class FileSelection;

// Copy tag: copies the tag of each selected file in turn (read with ReadMp3Info into the
// program-wide Mp3Info) into the batch tag fields that can take the focus (enabled and
// visible): artist, album, year, comment and genre. A file without a tag, or one that cannot
// be opened, leaves the fields alone, so the last tagged file in list order wins. Writes no
// file. Re-reads the list at the end; an I/O failure throws CommandError at that file,
// without the re-read, leaving the later entries selected.
void CopyTag(FileSelection& files, const BatchTagFields& fields);
