#include "commands/EditTagsCommand.h"

#include "commands/Prompts.h"
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
BatchStep EditBothTags(const BatchContext& context, const QString& name) {
    TagEdit edit{DisplayFileName(name), {}, true, {}, {}};
    const Mp3Info info = ReadMp3Info(name);
    // A tag without any of the seven texts (only a picture, say) does not hide the ID3v1 tag.
    const std::optional<Id3v2Parsed> id3v2 = ReadId3v2Tag(name);
    const bool fromId3v2 = id3v2 && id3v2->texts != Id3v2Texts{};
    if (fromId3v2)
        edit.texts = id3v2->texts;
    else
        edit.texts = {info.title,           info.artist,
                      info.album,           info.year,
                      info.comment,         info.track == 0 ? QString() : QString::number(info.track),
                      GenreName(info.genre)};
    edit.streamFacts = StreamInfoLines(info);
    if (!context.prompts.editTag(edit))
        return BatchStep::Unchanged;

    TrimEditedTexts(edit);
    Id3v2Texts& texts = edit.texts;
    const int genre = GenreIndex(texts.genre);
    // A genre the list does not name stays as it was unless another is chosen.
    if (fromId3v2 && texts.genre.isEmpty() && GenreIndex(id3v2->texts.genre) == kNoGenre)
        texts.genre = id3v2->texts.genre;
    const TagTexts edited{texts.title, texts.artist,  texts.album,
                          texts.year,  texts.comment, LeadingNumber(texts.track) & 0xFF,
                          genre};
    ID3Tag trailer = EmptyTag();
    SetTagFields(trailer, edited);
    // Both tags as one change: a kill leaves the file old or new.
    return WriteBothTags(name, trailer, texts, Id3FieldMask{}) ? BatchStep::Changed : BatchStep::Unchanged;
}

} // namespace

void TrimEditedTexts(TagEdit& edit) {
    if (edit.whole) {
        Id3v2Texts& texts = edit.texts;
        for (QString* text : {&texts.title, &texts.artist, &texts.album, &texts.comment, &texts.track})
            *text = TrimControl(*text);
    } else {
        TagTexts& tag = edit.tag;
        for (QString* text : {&tag.title, &tag.artist, &tag.album, &tag.comment})
            *text = TrimControl(*text);
    }
}

BatchReport EditTagsCommand(const BatchContext& context, bool useId3v2) {
    if (useId3v2)
        return RunBatch(
            context.files, context.progress, [&](const QString& name) { return EditBothTags(context, name); },
            /*reread=*/false);
    return RunBatch(
        context.files, context.progress,
        [&](const QString& name) {
            const Mp3Info info = ReadMp3Info(name);
            TagEdit edit{
                DisplayFileName(name),
                StreamInfoLines(info),
                false,
                {info.title, info.artist, info.album, info.year, info.comment, info.track, info.genre},
                {}};
            if (!context.prompts.editTag(edit))
                return BatchStep::Unchanged;

            TrimEditedTexts(edit);
            FileTag fileTag{EmptyTag(), info.hasTag};
            SetTagFields(fileTag.tag, edit.tag);
            return WriteTag(name, fileTag) ? BatchStep::Changed : BatchStep::Unchanged;
        },
        /*reread=*/false);
}
