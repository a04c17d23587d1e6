#include "commands/AskShortFilename.h"

#include "commands/Prompts.h"
#include "core/RenameFile.h"
#include "core/TextLength.h"

void AskShortFilename(QString& candidate, bool ask64, Prompts& prompts) {
    if (!ask64)
        return;
    // Characters, not UTF-16 units: an emoji in a name counts once.
    while (CharCount(candidate) > kShortFilenameLimit) {
        const QString prompt = QStringLiteral("Enter new filename (current is ") +
                               QString::number(CharCount(candidate)) + QStringLiteral(" characters)");
        prompts.inputQuery(QStringLiteral("Filename exceeds 64 characters!"), prompt, candidate);
    }
}

bool RenameToCandidate(const QString& oldName, QString candidate, bool ask64, Prompts& prompts) {
    AskShortFilename(candidate, ask64, prompts);
    // Renaming a file to its own name can only fail; skipping it spares a system call per file.
    return candidate != oldName && RenameFile(oldName, candidate);
}
