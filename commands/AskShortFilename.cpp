#include "commands/AskShortFilename.h"

#include "commands/BatchContext.h"
#include "commands/Prompts.h"
#include "commands/RenamePlan.h"
#include "core/PlanAhead.h"
#include "core/RenameFile.h"
#include "core/TextLength.h"

bool AskShortFilename(QString& candidate, bool ask64, Prompts& prompts) {
    if (!ask64)
        return false;
    bool asked = false;
    // Characters, not UTF-16 units: an emoji in a name counts once.
    while (CharCount(candidate) > kShortFilenameLimit) {
        const QString prompt = QStringLiteral("Enter new filename (current is ") +
                               QString::number(CharCount(candidate)) + QStringLiteral(" characters)");
        prompts.inputQuery(QStringLiteral("Filename exceeds 64 characters!"), prompt, candidate);
        asked = true;
    }
    return asked;
}

bool RenameToCandidate(const QString& oldName, QString candidate, bool ask64, Prompts& prompts,
                       const EntrySnapshot* seen) {
    // Whatever was seen of the file before the user was asked may be out of date by now.
    if (AskShortFilename(candidate, ask64, prompts))
        seen = nullptr;
    // Renaming a file to its own name can only fail; skipping it spares a system call per file.
    return candidate != oldName && RenameFile(oldName, candidate, seen);
}

BatchReport RenameByRule(const BatchContext& context, const RenameRule& rule, bool ask64) {
    PlanAhead<PlannedRename> plans(context.files.selectedNames(),
                                   [&rule](const QString& name) { return PlanRenameToMake(name, rule); });
    return RunBatch(context.files, context.progress, [&](const QString& name) {
        PlannedRename plan = plans.next(name);
        return plan.name && RenameToCandidate(name, std::move(*plan.name), ask64, context.prompts,
                                              plan.seen ? &*plan.seen : nullptr)
                   ? BatchStep::Changed
                   : BatchStep::Unchanged;
    });
}
