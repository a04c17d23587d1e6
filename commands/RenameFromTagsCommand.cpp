#include "commands/RenameFromTagsCommand.h"

#include "commands/AskShortFilename.h"
#include "commands/RenamePlan.h"

BatchReport RenameFromTagsCommand(const BatchContext& context, FilenameFormat format,
                                  TrackSeparator separator, bool askLongFilename, bool useId3v2) {
    const RenameRule rule = RenameRule::fromTags(format, separator, useId3v2);
    return RunBatch(context.files, context.progress, [&](const QString& name) {
        std::optional<EntrySnapshot> seen;
        const std::optional<QString> planned = PlanRename(name, rule, &seen);
        return planned && RenameToCandidate(name, *planned, askLongFilename, context.prompts,
                                            seen ? &*seen : nullptr)
                   ? BatchStep::Changed
                   : BatchStep::Unchanged;
    });
}
