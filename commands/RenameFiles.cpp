#include "commands/RenameFiles.h"

#include "commands/AskShortFilename.h"
#include "commands/Prompts.h"
#include "commands/RenameFile.h"
#include "core/Batch.h"

void RenameFiles(FileSelection& files, Prompts& prompts, bool ask64) {
    const QString extension = QStringLiteral(".mp3");
    RunBatch(files, [&](const QString& oldName) {
        CandidateFilename = oldName;
        if (!prompts.inputQuery(QStringLiteral("Rename file"), QStringLiteral("Enter new filename"),
                                CandidateFilename))
            return BatchStep::Continue;
        if (!CandidateFilename.endsWith(extension, Qt::CaseSensitive))
            CandidateFilename += extension;
        AskShortFilename(CandidateFilename, ask64, prompts);
        RenameFile(oldName, CandidateFilename);
        return BatchStep::Continue;
    });
}

std::optional<QString> RenameDirectory(const QString& fullPath, Prompts& prompts, bool isTreeRoot) {
    const qsizetype slash = fullPath.lastIndexOf(QLatin1Char('/'));
    if (isTreeRoot || slash < 0 || fullPath.size() == 1)
        return std::nullopt;
    const QString oldName = fullPath.mid(slash + 1);
    const QString answer = prompts.inputBox(QStringLiteral("Rename directory"),
                                            QStringLiteral("Enter new directoryname"), oldName);
    if (answer == oldName)
        return std::nullopt;
    const QString parentWithSlash = fullPath.left(slash + 1);
    RenameFile(fullPath, parentWithSlash + answer);
    return slash == 0 ? parentWithSlash : fullPath.left(slash);
}
