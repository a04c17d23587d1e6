#include "commands/EditTagsCommand.h"

#include "commands/Prompts.h"
#include "commands/TagDialog.h"
#include "core/AnsiText.h"
#include "core/FileName.h"
#include "core/Id3v2Write.h"
#include "core/Mp3Info.h"
#include "core/StreamInfo.h"
#include "core/TagFile.h"

namespace {

// The number a track text begins with ("3/12" gives 3), 0 when none; what the ID3v1 track byte
// takes from the Track field when it shows an ID3v2 text.
int LeadingNumber(const QString& text) {
    int number = 0;
    for (const QChar c : text.trimmed()) {
        if (c < u'0' || c > u'9' || number > 100000)
            break;
        number = number * 10 + (c.unicode() - u'0');
    }
    return number;
}

// Edit tags with the ID3v2 setting on: the fields whole, both tags written on Save.
BatchStep EditBothTags(const BatchContext& context, TagDialog& dialog, const QString& name) {
    dialog.setFileName(DisplayFileName(name));
    const Mp3Info info = ReadMp3Info(name);
    dialog.setWindowTitle(QStringLiteral("Edit"));
    dialog.setWholeTexts(true);
    // A tag without any of the seven texts (only a picture, say) does not hide the ID3v1 tag.
    const std::optional<Id3v2Parsed> id3v2 = ReadId3v2Tag(name);
    const bool fromId3v2 = id3v2 && id3v2->texts != Id3v2Texts{};
    if (fromId3v2)
        dialog.setTexts(id3v2->texts);
    else
        dialog.setTag({info.title, info.artist, info.album, info.year, info.comment, info.track, info.genre});
    dialog.setStreamFacts(StreamInfoLines(info));
    dialog.setAllEditable(true);
    if (context.prompts.showModal(dialog) != QDialog::Accepted)
        return BatchStep::Unchanged;

    Id3v2Texts texts = dialog.texts();
    for (QString* text : {&texts.title, &texts.artist, &texts.album, &texts.comment, &texts.track})
        *text = TrimControl(*text);
    // A genre the list does not name stays as it was unless another is chosen.
    if (fromId3v2 && texts.genre.isEmpty() && GenreIndex(id3v2->texts.genre) == kNoGenre)
        texts.genre = id3v2->texts.genre;
    TagTexts edited = dialog.tag();
    edited.title = texts.title;
    edited.artist = texts.artist;
    edited.album = texts.album;
    edited.comment = texts.comment;
    edited.track = LeadingNumber(texts.track) & 0xFF;
    dialog.setTexts(texts); // the fields show what is written
    ID3Tag trailer = EmptyTag();
    SetTagFields(trailer, edited);
    // Both tags as one change: a kill leaves the file old or new.
    return WriteBothTags(name, trailer, texts, Id3FieldMask{}) ? BatchStep::Changed : BatchStep::Unchanged;
}

} // namespace

BatchReport EditTagsCommand(const BatchContext& context, TagDialog& dialog, bool useId3v2) {
    if (useId3v2) {
        const BatchReport report = RunBatch(
            context.files, context.progress,
            [&](const QString& name) { return EditBothTags(context, dialog, name); }, /*reread=*/false);
        dialog.setWholeTexts(false); // the dialog's other use, Tag files' prompts, takes ID3v1 widths
        return report;
    }
    return RunBatch(
        context.files, context.progress,
        [&](const QString& name) {
            dialog.setFileName(DisplayFileName(name));
            const Mp3Info info = ReadMp3Info(name);
            dialog.setWindowTitle(QStringLiteral("Edit"));
            dialog.setTag(
                {info.title, info.artist, info.album, info.year, info.comment, info.track, info.genre});
            dialog.setStreamFacts(StreamInfoLines(info));
            dialog.setAllEditable(true);
            if (context.prompts.showModal(dialog) != QDialog::Accepted)
                return BatchStep::Unchanged;

            TagTexts edited = dialog.tag();
            for (QString* text : {&edited.title, &edited.artist, &edited.album, &edited.comment})
                *text = TrimControl(*text);
            dialog.setTag(edited); // the fields show what is written
            FileTag fileTag{EmptyTag(), info.hasTag};
            SetTagFields(fileTag.tag, edited);
            return WriteTag(name, fileTag) ? BatchStep::Changed : BatchStep::Unchanged;
        },
        /*reread=*/false);
}
