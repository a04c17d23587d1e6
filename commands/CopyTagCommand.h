#pragma once

#include "commands/BatchContext.h"
#include "commands/TagFields.h"

#include <optional>

// What Copy tag found: the tag of the last selected file, in list order, that had one.
struct CopiedTag {
    BatchReport report;
    std::optional<TagTexts> tag; // nothing when no selected file had a tag
};

// Which of the window's batch fields the user could type into right now (enabled and shown).
struct OpenFields {
    bool artist = true;
    bool album = true;
    bool year = true;
    bool comment = true;
    bool genre = true;
};

// The window's field values after Copy tag found `found`: its artist, album, year, comment and
// genre in the open fields (a genre byte that names no genre gives the empty entry, 255); the
// fields that are not open keep what they held, as the field marks left them.
TagFieldValues CopiedInto(TagFieldValues fields, const TagTexts& found, const OpenFields& open);

// "Copy tag": reads the tag of each selected file in turn. With `useId3v2` that is the file's
// ID3v2 tag when it has one with any text (ReadTagValues), its texts whole and the genre's byte
// found by name (a name not in the list gives 255); else, and always without `useId3v2`, its
// ID3v1 tag as ReadMp3Info reads it. A file without a tag, or one that cannot be opened, is
// passed over, so the last tagged file in list order wins. Writes no file. Re-reads the list at the end; an
// I/O failure ends the batch at that file, without the re-read, leaving the later entries selected (what was
// found before it is still returned). The window puts what was found into its fields through CopiedInto.
CopiedTag CopyTagCommand(const BatchContext& context, bool useId3v2);
