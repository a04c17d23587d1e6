#include "commands/SearchReplaceCommand.h"

#include "commands/AskShortFilename.h"
#include "commands/Prompts.h"
#include "commands/RenameFile.h"
#include "commands/SearchReplace.h"
#include "core/Batch.h"

void SearchAndReplace(FileSelection& files, Prompts& prompts, bool ask64) {
    if (!files.anySelected())
        return;
    const QString caption = QStringLiteral("Search & replace text in filenames");
    QString search, replacement;
    if (!prompts.inputQuery(caption, QStringLiteral("Search for [case-sensitive]"), search) ||
        !prompts.inputQuery(caption, QStringLiteral("Replace with"), replacement)) {
        files.reread();
        return;
    }
    RunBatch(files, [&](const QString& name) {
        CandidateFilename = ReplaceInName(name, search, replacement).value_or(name);
        AskShortFilename(CandidateFilename, ask64, prompts);
        RenameFile(name, CandidateFilename);
        return BatchStep::Continue;
    });
}
