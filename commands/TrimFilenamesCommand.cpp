#include "commands/TrimFilenamesCommand.h"

#include "commands/AskShortFilename.h"
#include "commands/RenamePlan.h"

BatchReport TrimFilenamesCommand(const BatchContext& context, FilenameFormat format, NameCase nameCase,
                                 TrackSeparator separator, bool askLongFilename) {
    const RenameRule rule = RenameRule::trim(format, nameCase, separator);
    return RunBatch(context.files, context.progress, [&](const QString& name) {
        const std::optional<QString> planned = PlanRename(name, rule);
        return planned && RenameToCandidate(name, *planned, askLongFilename, context.prompts)
                   ? BatchStep::Changed
                   : BatchStep::Unchanged;
    });
}
