#include "commands/RenameFromTagsCommand.h"

#include "commands/AskShortFilename.h"
#include "core/AnsiText.h"
#include "core/TagFile.h"

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

BatchReport RenameFromTagsCommand(const BatchContext& context, FilenameFormat format,
                                  TrackSeparator separator, bool askLongFilename) {
    return RunBatch(context.files, context.progress, [&](const QString& name) {
        // An entry whose tag cannot be read (it vanished, or a folder took its name) is skipped.
        const std::optional<FileTag> read = ReadTag(name);
        if (!read)
            return BatchStep::Unchanged;
        const QString title = NamePart(read->tag.title);
        const QString artist = NamePart(read->tag.artist);
        if (title.isEmpty() && artist.isEmpty())
            return BatchStep::Unchanged;
        const QString built = BuildFilename(read->tag.track, artist, title, format, separator);
        if (built.isEmpty()) // no filename format chosen
            return BatchStep::Unchanged;
        return RenameToCandidate(name, built, askLongFilename, context.prompts) ? BatchStep::Changed
                                                                                : BatchStep::Unchanged;
    });
}
