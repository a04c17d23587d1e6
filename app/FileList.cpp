#include "app/FileList.h"

#include "core/Directory.h"
#include "core/FileName.h"

#include <QHelpEvent>
#include <QSignalBlocker>
#include <QToolTip>

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
}

void FileList::reread() {
    const QStringList names = ListDirectory(QStringLiteral("."), EntryKind::Mp3File);
    deselectedBegin_ = deselectedEnd_ = 0; // every mark goes with the old entries
    const QSignalBlocker blockList(this);
    const QSignalBlocker blockSelection(selectionModel());
    clear();
    for (const QString& n : names) {
        auto* item = new QListWidgetItem(DisplayFileName(n));
        item->setData(Qt::UserRole, n);
        addItem(item);
    }
    viewport()->update();
}

QString FileList::name(int index) const {
    const QListWidgetItem* it = item(index);
    return it ? it->data(Qt::UserRole).toString() : QString();
}

bool FileList::isSelected(int index) const {
    if (index >= deselectedBegin_ && index < deselectedEnd_)
        return false;
    return selectionModel()->isSelected(model()->index(index, 0));
}

void FileList::deselect(int index) {
    // Quietly: a batch loop deselecting is no selection change of the user's, so no status
    // line update, no repaint and no file read per entry. The owner repaints once afterwards.
    if (index >= deselectedBegin_ && index < deselectedEnd_)
        return;
    if (index != deselectedEnd_ || deselectedBegin_ == deselectedEnd_) {
        applyDeselections();
        deselectedBegin_ = index;
    }
    deselectedEnd_ = index + 1;
}

void FileList::endBatch() {
    applyDeselections();
}

void FileList::applyDeselections() {
    if (deselectedBegin_ == deselectedEnd_)
        return;
    const QItemSelection rows(model()->index(deselectedBegin_, 0), model()->index(deselectedEnd_ - 1, 0));
    deselectedBegin_ = deselectedEnd_ = 0;
    const QSignalBlocker block(selectionModel());
    selectionModel()->select(rows, QItemSelectionModel::Deselect);
}

bool FileList::event(QEvent* event) {
    applyDeselections();
    return QListWidget::event(event);
}

bool FileList::viewportEvent(QEvent* event) {
    applyDeselections();
    if (ShowCutEntryTip(*this, event, [this](int row) { return item(row)->text(); }))
        return true;
    return QListWidget::viewportEvent(event);
}

QString FileList::focusedName() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? name(current.row()) : QString();
}

void FileList::setAllSelected(bool selected) {
    // Marks only: the focus and the status line stay as they are.
    deselectedBegin_ = deselectedEnd_ = 0; // all marks are set anew
    {
        const QSignalBlocker block(selectionModel());
        if (selected)
            selectAll();
        else
            clearSelection();
    }
    viewport()->update();
}

bool ShowCutEntryTip(QListWidget& list, QEvent* event, const std::function<QString(int row)>& fullText) {
    if (event->type() != QEvent::ToolTip)
        return false;
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = list.indexAt(help->pos());
    // All entries share the first one's size, so a longer name runs past its cell or the edge.
    const QRect shown = list.visualRect(index).intersected(list.viewport()->rect());
    if (index.isValid() && list.sizeHintForIndex(index).width() > shown.width())
        QToolTip::showText(help->globalPos(), fullText(index.row()), list.viewport(), shown);
    else
        QToolTip::hideText();
    return true;
}
