#include "naming/RenameFromTags.h"

#include "commands/AskShortFilename.h"
#include "commands/RenameFile.h"
#include "core/AnsiText.h"
#include "core/Batch.h"
#include "core/Id3Tag.h"
#include "core/TagFile.h"
#include "naming/Formats.h"

namespace {

// A name part from a whole 30-byte tag field. Trimming takes off the padding; a zero byte left
// inside (text after the first zero) cannot go into a file name, so the part ends there.
QString NamePart(const char (&field)[kTextWidth]) {
    QString text = TrimControl(RemoveInvalidChars(FromAnsi(field, kTextWidth)));
    const qsizetype zero = text.indexOf(QChar(0));
    if (zero >= 0)
        text = TrimControl(text.left(zero));
    return text;
}

} // namespace

void RenameFromTags(FileSelection& files, Prompts& prompts, int filenameFormat, int numbersTo, bool ask64) {
    RunBatch(files, [&](const QString& name) {
        // An entry whose tag cannot be read (it vanished, or a folder took its name) must not be
        // named after whatever tag the buffer still holds: it starts from no tag and is skipped.
        CurrentTag = ID3Tag{};
        CurrentTag.genre = kNoGenre;
        HasTag = false;
        ReadTag(name);
        const QString title = NamePart(CurrentTag.title);
        const QString artist = NamePart(CurrentTag.artist);
        if (title.isEmpty() && artist.isEmpty())
            return BatchStep::Continue;
        const QString built = BuildFilename(CurrentTag.track, artist, title, filenameFormat, numbersTo);
        if (built.isEmpty()) // no filename format chosen
            return BatchStep::Continue;
        CandidateFilename = built;
        AskShortFilename(CandidateFilename, ask64, prompts);
        RenameFile(name, CandidateFilename);
        return BatchStep::Continue;
    });
}
