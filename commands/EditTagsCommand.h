#pragma once

#include "commands/BatchContext.h"

struct TagEdit;

// "Edit tags": for each selected file in list order, deselects it, offers its tag and stream
// facts for editing (Prompts::editTag) and, on Save, writes all seven fields,
// the texts trimmed of codes 0..32 (the window shows them trimmed), as the file's ID3v1 tag.
// Cancel skips the file. The list is not re-read. A CommandError from reading or writing a file
// ends the batch there; the entries after it stay selected.
//
// With `useId3v2`, the fields take the texts whole: a file whose ID3v2 tag holds any of the seven
// texts shows those (the track as its text, "3/12"), else its ID3v1 tag as above; Save writes the
// ID3v1 tag as above (cut to its widths and transliterated, the track the number its text begins
// with) and then the seven fields, trimmed and whole, into the file's ID3v2 tag, every other frame
// kept (see WriteId3v2Tag). A genre shown from a name not in the list, left on the empty entry,
// keeps that name in the ID3v2 tag.
BatchReport EditTagsCommand(const BatchContext& context, bool useId3v2 = false);

// The texts of `edit` as Edit tags writes them: Title, Artist, Album and Comment, and with whole
// texts Track's text too, trimmed of codes 0..32; Year as typed. The window shows them so after Save.
void TrimEditedTexts(TagEdit& edit);
