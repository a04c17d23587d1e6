#include "commands/RemoveAllTagsCommand.h"

#include "core/TagRemoval.h"

BatchReport RemoveAllTagsCommand(const BatchContext& context) {
    return RunBatch(context.files, context.progress, [](const QString& name) {
        return RemoveAllTags(name) ? BatchStep::Changed : BatchStep::Unchanged;
    });
}
