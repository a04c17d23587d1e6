#pragma once

#include "core/Batch.h"

#include <QListWidget>
#include <functional>

// The MP3 files of the working directory: regular files whose names end in ".mp3" in any
// letter case, hidden ones left out, sorted by name without regard to case. Several entries
// can be selected; the focused entry (current item) need not be selected.
class FileList : public QListWidget, public FileSelection {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);

    // Re-reads the working directory: new names, no selection, no change signal.
    void reread() override;

    int count() const override { return QListWidget::count(); }
    QString name(int index) const override;
    bool isSelected(int index) const override;
    void deselect(int index) override;
    void endBatch() override;

    // The focused entry's name, or an empty string.
    QString focusedName() const;
    void setAllSelected(bool selected);

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // Deselecting one entry in the selection model costs microseconds, more than the work on
    // a small file, so a batch loop's deselections in a row are gathered here and handed over
    // at once: at the end of the batch, or before any event (a paint behind a prompt, a key).
    void applyDeselections();
    int deselectedBegin_ = 0; // rows [begin, end) are deselected but still marked in the model
    int deselectedEnd_ = 0;
};

// Answers a tooltip request (QEvent::ToolTip on `list`'s viewport): when the entry under the
// pointer is cut at the list's edge, shows `fullText(row)`; otherwise shows nothing. Returns
// false for any other event.
bool ShowCutEntryTip(QListWidget& list, QEvent* event, const std::function<QString(int row)>& fullText);
