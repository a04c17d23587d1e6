#include "commands/CopyTagCommand.h"

#include "core/Mp3Info.h"

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

CopiedTag CopyTagCommand(const BatchContext& context) {
    CopiedTag found;
    found.report = RunBatch(context.files, context.progress, [&](const QString& name) {
        const Mp3Info info = ReadMp3Info(name);
        if (info.hasTag)
            found.tag = TagTexts{info.title,   info.artist, info.album, info.year,
                                 info.comment, info.track,  info.genre};
        return BatchStep::Unchanged;
    });
    return found;
}
