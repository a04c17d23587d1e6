#include "core/TagSummary.h"

#include "core/AnsiText.h"

QString TagSummary(const Mp3Info& info) {
    const QString gap(10, QLatin1Char(' '));
    QString text;
    if (info.track != 0)
        text += QLatin1Char('#') + QString::number(info.track);
    for (const QString* field : {&info.artist, &info.title, &info.year, &info.comment}) {
        if (!field->isEmpty())
            text += gap + *field;
    }
    if (!info.genreName.isEmpty())
        text += gap + QLatin1Char('[') + info.genreName + QLatin1Char(']');
    return TrimControl(text);
}
