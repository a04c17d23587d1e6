#include "commands/TrimFilenamesCommand.h"

#include "commands/AskShortFilename.h"
#include "naming/TrimFilename.h"

BatchReport TrimFilenamesCommand(const BatchContext& context, FilenameFormat format, NameCase nameCase,
                                 TrackSeparator separator, bool askLongFilename) {
    return RunBatch(context.files, context.progress, [&](const QString& name) {
        const QString trimmed = TrimFilename(name, format, nameCase, separator);
        return RenameToCandidate(name, trimmed, askLongFilename, context.prompts) ? BatchStep::Changed
                                                                                  : BatchStep::Unchanged;
    });
}
