#include "core/TagSummary.h"

#include "core/AnsiText.h"

QString TagSummary(const Mp3Info& info) {
    return TagSummary(Id3v2Texts{info.title, info.artist, info.album, info.year, info.comment,
                                 info.track != 0 ? QString::number(info.track) : QString(), info.genreName});
}

QString TagSummary(const Id3v2Texts& texts) {
    const QString gap(10, QLatin1Char(' '));
    QString text;
    if (!texts.track.isEmpty())
        text += QLatin1Char('#') + texts.track;
    for (const QString* field : {&texts.artist, &texts.title, &texts.year, &texts.comment}) {
        if (!field->isEmpty())
            text += gap + *field;
    }
    if (!texts.genre.isEmpty())
        text += gap + QLatin1Char('[') + texts.genre + QLatin1Char(']');
    return TrimControl(text);
}
