#include "commands/TrimFilenamesCommand.h"

#include "commands/AskShortFilename.h"
#include "commands/RenamePlan.h"

BatchReport TrimFilenamesCommand(const BatchContext& context, FilenameFormat format, NameCase nameCase,
                                 TrackSeparator separator, bool askLongFilename) {
    return RenameByRule(context, RenameRule::trim(format, nameCase, separator), askLongFilename);
}
