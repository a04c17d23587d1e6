#pragma once

#include "commands/BatchContext.h"

// "Remove all tags": strips every known tag (see RemoveAllTags) from each selected file, in
// list order; the list is re-read at the end. A failure ends the batch at that file, which is
// left unchanged; the later entries stay selected. Files that another program changed while the
// command worked on them are left alone and counted in one notice at the end.
BatchReport RemoveAllTagsCommand(const BatchContext& context);
