#include "commands/RemoveAllTagsCommand.h"

#include "core/TagRemoval.h"

BatchReport RemoveAllTagsCommand(const BatchContext& context) {
    // The files' changes end in groups: one sync serves many files, and the blocks of the files
    // replaced are written over by the next ones instead of being freed and allocated again.
    ChangeGroup group(RewriteMode::Auto, /*reuseReplaced=*/true);
    return RunBatch(context.files, context.progress,
                    GroupedWork{[&](const QString& name) {
                                    return RemoveAllTags(group, name) ? BatchStep::Held
                                                                      : BatchStep::Unchanged;
                                },
                                [&] { group.finish(); }, [&] { return group.full(); }});
}
