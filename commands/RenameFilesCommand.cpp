#include "commands/RenameFilesCommand.h"

#include "commands/AskShortFilename.h"
#include "commands/Prompts.h"
#include "core/RenameFile.h"

BatchReport RenameFilesCommand(const BatchContext& context, bool askLongFilename) {
    const QString extension = QStringLiteral(".mp3");
    return RunBatch(context.files, context.progress, [&](const QString& oldName) {
        QString candidate = oldName;
        if (!context.prompts.inputQuery(QStringLiteral("Rename file"), QStringLiteral("Enter new filename"),
                                        candidate))
            return BatchStep::Unchanged;
        if (!candidate.endsWith(extension, Qt::CaseSensitive))
            candidate += extension;
        return RenameToCandidate(oldName, candidate, askLongFilename, context.prompts) ? BatchStep::Changed
                                                                                       : BatchStep::Unchanged;
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
