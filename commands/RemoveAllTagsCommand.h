#pragma once

#include "commands/BatchContext.h"

// "Remove all tags": strips every known tag (see RemoveAllTags) from each selected file, in
// list order; the list is re-read at the end. A failure ends the batch at that file, which is
// left unchanged; the later entries stay selected.
BatchReport RemoveAllTagsCommand(const BatchContext& context);
