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
    if (report.leftAlone == 1)
        context.prompts.notice(
            QStringLiteral("1 file was changed by another program while Morwick worked and was left alone."));
    if (report.leftAlone > 1)
        context.prompts.notice(
            QStringLiteral(
                "%1 files were changed by another program while Morwick worked and were left alone.")
                .arg(report.leftAlone));
    return report;
}
