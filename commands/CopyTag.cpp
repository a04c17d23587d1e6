#include "commands/CopyTag.h"

#include "commands/GenreList.h"
#include "core/Batch.h"
#include "core/Mp3Info.h"

#include <QComboBox>
#include <QLineEdit>

namespace {

// A field the user could type into right now; disabled fields stay as the field mask left them.
bool CanFocus(const QWidget* field) {
    return field && field->isEnabled() && field->isVisible();
}

void CopyText(QLineEdit* field, const QString& text) {
    if (CanFocus(field))
        field->setText(text);
}

} // namespace

void CopyTag(FileSelection& files, const BatchTagFields& fields) {
    RunBatch(files, [&](const QString& name) {
        ReadMp3Info(name, Mp3Info);
        if (!Mp3Info.hastag)
            return BatchStep::Continue;
        CopyText(fields.artist, Mp3Info.artist);
        CopyText(fields.album, Mp3Info.album);
        CopyText(fields.year, Mp3Info.year);
        CopyText(fields.comment, Mp3Info.comment);
        if (CanFocus(fields.genre))
            SelectGenre(fields.genre, Mp3Info.genre);
        return BatchStep::Continue;
    });
}
