#include "commands/RenameFromTagsCommand.h"

#include "commands/AskShortFilename.h"
#include "commands/RenamePlan.h"

BatchReport RenameFromTagsCommand(const BatchContext& context, FilenameFormat format,
                                  TrackSeparator separator, bool askLongFilename, bool useId3v2) {
    return RenameByRule(context, RenameRule::fromTags(format, separator, useId3v2), askLongFilename);
}
