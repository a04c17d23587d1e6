#include "commands/RemoveAllTagsCommand.h"

#include "commands/Prompts.h"
#include "core/TagRemoval.h"

BatchReport RemoveAllTagsCommand(const BatchContext& context) {
    // The files' changes end in groups: one sync serves many files.
    ChangeGroup group;
    const BatchReport report =
        RunBatch(context.files, context.progress,
                 GroupedWork{[&](const QString& name) {
                                 return RemoveAllTags(group, name) ? BatchStep::Held : BatchStep::Unchanged;
                             },
                             [&] { group.finish(); }, [&] { return group.full(); },
                             [&] { return group.leftAlone(); }});
    NoticeLeftAlone(context.prompts, report.leftAlone);
    return report;
}
