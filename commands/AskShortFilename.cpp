#include "commands/AskShortFilename.h"

#include "commands/Prompts.h"

QString CandidateFilename;

void AskShortFilename(QString& candidate, bool ask64, Prompts& prompts) {
    if (!ask64)
        return;
    while (candidate.size() > kShortFilenameLimit) {
        const QString prompt = QStringLiteral("Enter new filename (current is ") +
                               QString::number(candidate.size()) + QStringLiteral(" characters)");
        prompts.inputQuery(QStringLiteral("Filename exceeds 64 characters!"), prompt, candidate);
    }
}
