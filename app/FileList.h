#pragma once

#include "core/Batch.h"

#include <QListWidget>

// The MP3 files of the working directory: regular files whose names end in ".mp3" in any
// letter case, hidden ones left out, sorted by name without regard to case. Several entries
// can be selected; the focused entry (current item) need not be selected.
class FileList : public QListWidget, public FileSelection {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);

    // The names (Morwick names, see FileName.h) of `dir`'s MP3 files, sorted.
    static QStringList ReadMp3Names(const QString& dir);

    // Re-reads the working directory: new names, no selection, no change signal.
    void reread() override;

    int count() const override { return QListWidget::count(); }
    QString name(int index) const override;
    bool isSelected(int index) const override;
    void deselect(int index) override;

    // The focused entry's name, or an empty string.
    QString focusedName() const;
    void setAllSelected(bool selected);
};
