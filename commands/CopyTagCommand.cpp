#include "commands/CopyTagCommand.h"

#include "core/Mp3Info.h"
#include "core/TagValues.h"

TagFieldValues CopiedInto(TagFieldValues fields, const TagTexts& found, const OpenFields& open) {
    if (open.artist)
        fields.artist = found.artist;
    if (open.album)
        fields.album = found.album;
    if (open.year)
        fields.year = found.year;
    if (open.comment)
        fields.comment = found.comment;
    if (open.genre)
        fields.genre = found.genre >= 0 && found.genre < kGenreCount ? found.genre : kNoGenre;
    return fields;
}

CopiedTag CopyTagCommand(const BatchContext& context, bool useId3v2) {
    CopiedTag found;
    found.report = RunBatch(context.files, context.progress, [&](const QString& name) {
        if (useId3v2) {
            const std::optional<TagValues> values = ReadTagValues(name, true);
            if (values && values->source == TagSource::Id3v2) {
                found.tag = TagTextsOf(values->texts);
                return BatchStep::Unchanged;
            }
        }
        // The ID3v1 tag exactly as without ID3v2 tags.
        const Mp3Info info = ReadMp3Info(name);
        if (info.hasTag)
            found.tag = TagTexts{info.title,   info.artist, info.album, info.year,
                                 info.comment, info.track,  info.genre};
        return BatchStep::Unchanged;
    });
    return found;
}
