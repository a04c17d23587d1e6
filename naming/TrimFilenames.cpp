#include "naming/TrimFilenames.h"

#include "commands/AskShortFilename.h"
#include "commands/RenameFile.h"
#include "core/Batch.h"
#include "naming/TrimFilename.h"

void TrimFilenames(FileSelection& files, Prompts& prompts, int filenameFormat, int caseValue, int numbersTo,
                   bool ask64) {
    RunBatch(files, [&](const QString& name) {
        CandidateFilename = TrimFilename(name, filenameFormat, caseValue, numbersTo);
        AskShortFilename(CandidateFilename, ask64, prompts);
        RenameFile(name, CandidateFilename);
        return BatchStep::Continue;
    });
}
