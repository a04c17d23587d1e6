#pragma once

#include "core/Batch.h"

#include <QListWidget>
#include <functional>
#include <future>
#include <vector>

// The MP3 files of the working directory: regular files whose names end in ".mp3" in any
// letter case, hidden ones left out, sorted by name without regard to case. Several entries
// can be selected; the focused entry (current item) need not be selected.
class FileList : public QListWidget, public FileSelection {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);

    // Re-reads the working directory: new names, no selection, no change signal.
    void reread() override;
    void prepareReread() override;

    int count() const override { return QListWidget::count(); }
    const QString& name(int index) const override;
    bool isSelected(int index) const override;
    void deselect(int index) override;
    void reselect(int index) override;
    void endBatch() override;

    // The focused entry's name, or an empty string.
    QString focusedName() const;
    void setAllSelected(bool selected);
    // Selects the entries named in `names` (bare names; names not in the list are passed over)
    // and puts the focus frame on the first of them that is there, scrolled into view. Returns
    // how many were found. The selection changes as a user's would, so the status line follows.
    int selectNames(const QStringList& names);

    // Whether the entry's file begins with an ID3v2 tag, which most players show instead of its
    // ID3v1 tag. Found out the first time it is asked (its first 10 bytes are read), which the
    // list does when it paints the entry, so opening a large folder reads no file.
    bool hasId3v2Tag(int index) const;
    // The tooltip of a marked entry, after its name: what the mark means and the setting that
    // makes Morwick use that tag.
    static QString id3v2Note();

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
    // Per entry: -1 not looked at yet, 0 no ID3v2 tag, 1 one.
    // Each entry's own name, beside the text shown (which differs for a name that is not UTF-8):
    // a batch asks for it per file, and a QVariant per call is not free.
    QStringList names_;
    // The folder's listing, begun on another thread while a batch's changes go to the disk.
    std::future<QStringList> listing_;
    mutable std::vector<signed char> id3v2_;
};

// Answers a tooltip request (QEvent::ToolTip on `list`'s viewport): when the entry under the
// pointer is cut at the list's edge, shows `fullText(row)`; otherwise shows nothing. Returns
// false for any other event.
bool ShowCutEntryTip(QListWidget& list, QEvent* event, const std::function<QString(int row)>& fullText);
