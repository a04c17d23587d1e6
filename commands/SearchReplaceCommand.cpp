#include "commands/SearchReplaceCommand.h"

#include "commands/AskShortFilename.h"
#include "commands/Prompts.h"
#include "naming/ReplaceInName.h"

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
    return RunBatch(context.files, context.progress, [&](const QString& name) {
        const QString replaced = ReplaceInName(name, search, replacement).value_or(name);
        return RenameToCandidate(name, replaced, askLongFilename, context.prompts) ? BatchStep::Changed
                                                                                   : BatchStep::Unchanged;
    });
}
