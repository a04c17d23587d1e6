#include "commands/SearchReplaceCommand.h"

#include "commands/AskShortFilename.h"
#include "commands/Prompts.h"
#include "commands/RenamePlan.h"

BatchReport SearchReplaceCommand(const BatchContext& context, bool askLongFilename) {
    if (!context.files.anySelected())
        return {};
    const QString caption = QStringLiteral("Search & replace text in filenames");
    QString search, replacement;
    if (!context.prompts.inputQuery(caption, QStringLiteral("Search for [case-sensitive]"), search) ||
        !context.prompts.inputQuery(caption, QStringLiteral("Replace with"), replacement)) {
        context.files.reread();
        return {};
    }
    return SearchReplaceCommand(context, askLongFilename, search, replacement);
}

BatchReport SearchReplaceCommand(const BatchContext& context, bool askLongFilename, const QString& search,
                                 const QString& replacement) {
    const RenameRule rule = RenameRule::replace(search, replacement);
    return RunBatch(context.files, context.progress, [&](const QString& name) {
        const std::optional<QString> planned = PlanRename(name, rule);
        return planned && RenameToCandidate(name, *planned, askLongFilename, context.prompts)
                   ? BatchStep::Changed
                   : BatchStep::Unchanged;
    });
}
