#include "app/dialogs/GenreList.h"

#include "core/Id3Tag.h"

#include <QComboBox>
#include <QStringList>
#include <algorithm>

void FillGenreList(QComboBox* list) {
    QStringList names;
    names.reserve(kGenreCount + 1);
    for (const char* name : GenreNames)
        names.append(QString::fromLatin1(name));
    names.append(QString());
    // A sorted list, as the system's list sorting orders it: by text, without regard to case.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    list->clear();
    list->addItems(names);
    list->setCurrentIndex(0);
}

void SelectGenre(QComboBox* list, int genre) {
    const int index =
        (genre >= 0 && genre < kGenreCount) ? list->findText(GenreName(genre), Qt::MatchExactly) : 0;
    list->setCurrentIndex(std::max(index, 0));
}

int ChosenGenre(const QComboBox* list) {
    return GenreIndex(list->currentText());
}
