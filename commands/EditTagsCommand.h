#pragma once

#include "commands/BatchContext.h"

class TagDialog;

// "Edit tags": for each selected file in list order, deselects it, shows its tag and stream
// facts in `dialog` (titled "Edit", every field editable) and, on Save, writes all seven fields,
// the texts trimmed of codes 0..32 (the dialog shows them trimmed), as the file's ID3v1 tag.
// Cancel skips the file. The list is not re-read. A CommandError from reading or writing a file
// ends the batch there; the entries after it stay selected.
BatchReport EditTagsCommand(const BatchContext& context, TagDialog& dialog);
