#include "app/FileList.h"

#include "core/Directory.h"
#include "core/FileName.h"
#include "core/Id3v2Header.h"

#include <QHash>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <algorithm>

#include <QSignalBlocker>

namespace {

// Paints a small "ID3v2" mark right after the name of an entry whose file carries such a tag.
// The mark is placed from what is visible, not from the entry's rectangle, which reaches past
// the viewport when a name is wider than the list or a scroll bar takes room: there it would be
// cut or hidden. The name is elided where it would run under the mark.
class Id3v2MarkDelegate : public QStyledItemDelegate {
public:
    explicit Id3v2MarkDelegate(FileList* list) : QStyledItemDelegate(list), list_(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (!list_->hasId3v2Tag(index.row())) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QFont small = option.font;
        small.setPointSizeF(std::max(6.0, option.font.pointSizeF() * 0.8));
        const QFontMetrics markMetrics(small);
        const QString mark = QStringLiteral("ID3v2");
        const int padding = markMetrics.averageCharWidth() / 2 + 1;
        const int width = markMetrics.horizontalAdvance(mark) + 2 * padding;
        const int gap = markMetrics.averageCharWidth();

        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        QStyle* style = list_->style();
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, list_);
        const int visibleRight = std::min(option.rect.right(), list_->viewport()->rect().right());
        const int room = std::max(0, visibleRight - width - gap - textRect.left());
        item.text = item.fontMetrics.elidedText(item.text, list_->textElideMode(), room);
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, list_);

        // The mark's own background keeps it legible on a selected row too.
        const int left = textRect.left() + item.fontMetrics.horizontalAdvance(item.text) + gap;
        const QRect box(left, option.rect.top() + 1, width, option.rect.height() - 2);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(option.palette.color(QPalette::Link));
        painter->drawRoundedRect(box, 3, 3);
        painter->setPen(option.palette.color(QPalette::BrightText));
        painter->setFont(small);
        painter->drawText(box, Qt::AlignCenter, mark);
        painter->restore();
    }

private:
    FileList* list_;
};

} // namespace

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
    setItemDelegate(new Id3v2MarkDelegate(this));
}

bool FileList::hasId3v2Tag(int index) const {
    if (index < 0 || size_t(index) >= id3v2_.size())
        return false;
    if (id3v2_[size_t(index)] < 0)
        id3v2_[size_t(index)] = HasLeadingId3v2Tag(name(index)) ? 1 : 0;
    return id3v2_[size_t(index)] > 0;
}

QString FileList::id3v2Note() {
    return QStringLiteral("Also has an ID3v2 tag: most players show it instead of the ID3v1 tag.\n"
                          "Settings > Also use ID3v2 tags makes Morwick read and write it too; Remove all "
                          "tags removes both");
}

void FileList::prepareReread() {
    if (!listing_.valid())
        listing_ = std::async(std::launch::async,
                              [] { return ListDirectory(QStringLiteral("."), EntryKind::Mp3File); });
}

void FileList::reread() {
    names_ = listing_.valid() ? listing_.get() : ListDirectory(QStringLiteral("."), EntryKind::Mp3File);
    deselectedBegin_ = deselectedEnd_ = 0; // every mark goes with the old entries
    id3v2_.assign(size_t(names_.size()), -1);
    const QSignalBlocker blockList(this);
    if (names_.size() != count()) {
        const QSignalBlocker blockSelection(selectionModel());
        clear();
        // All rows in one insertion: one at a time, the model and the view would be told of each.
        QStringList shown;
        shown.reserve(names_.size());
        for (const QString& n : names_)
            shown.append(DisplayFileName(n));
        addItems(shown);
        viewport()->update();
        return;
    }
    // As many files as before, as after a batch of renames: the rows take their new texts in
    // place, which spares deleting and making one per file. The model tells nobody of each row;
    // the selection goes as it goes with new rows, quietly, and the view lays its rows out anew
    // as it does for new rows.
    selectionModel()->reset();
    {
        const QSignalBlocker blockModel(model());
        for (int row = 0; row < count(); ++row)
            item(row)->setText(DisplayFileName(names_[row]));
    }
    scheduleDelayedItemsLayout();
}

const QString& FileList::name(int index) const {
    static const QString none;
    return index >= 0 && index < names_.size() ? names_[index] : none;
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

void FileList::reselect(int index) {
    applyDeselections();
    const QSignalBlocker block(selectionModel());
    selectionModel()->select(model()->index(index, 0), QItemSelectionModel::Select);
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
    if (event->type() == QEvent::ToolTip) {
        // The full name, which a narrow list may cut, and what the ID3v2 mark means.
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        if (!index.isValid()) {
            QToolTip::hideText();
            return true;
        }
        QString tip = DisplayFileName(name(index.row()));
        if (hasId3v2Tag(index.row()))
            tip += QLatin1Char('\n') + id3v2Note();
        QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(index));
        return true;
    }
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

int FileList::selectNames(const QStringList& names) {
    applyDeselections();
    QHash<QString, int> rowOf; // a file manager may hand over thousands of names
    for (int row = 0; row < count(); ++row)
        rowOf.insert(name(row), row);
    QItemSelection rows;
    QModelIndex first;
    int found = 0;
    for (const QString& wanted : names) {
        const auto at = rowOf.constFind(wanted);
        if (at == rowOf.constEnd())
            continue;
        const QModelIndex entry = model()->index(*at, 0);
        rows.select(entry, entry);
        if (!first.isValid())
            first = entry;
        ++found;
    }
    if (!first.isValid())
        return 0;
    selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
    scrollTo(first);
    return found;
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
