#include "app/FileList.h"

#include "core/FileName.h"
#include "core/IoError.h"

#include <QSignalBlocker>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace {

bool hasMp3Extension(const char* name, size_t length) {
    return length >= 4 && name[length - 4] == '.' && (name[length - 3] | 0x20) == 'm' &&
           (name[length - 2] | 0x20) == 'p' && name[length - 1] == '3';
}

} // namespace

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
}

QStringList FileList::ReadMp3Names(const QString& dir) {
    const QByteArray path = EncodeFileName(dir);
    std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(path.constData()), ::closedir);
    if (!handle)
        ThrowIoError(errno);
    QStringList names;
    errno = 0;
    while (const dirent* entry = ::readdir(handle.get())) {
        const char* name = entry->d_name;
        const size_t length = std::strlen(name);
        if (name[0] == '.' || !hasMp3Extension(name, length))
            continue;
        if (entry->d_type != DT_REG) {
            if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK)
                continue;
            struct stat st {};
            const QByteArray full = path + '/' + QByteArray(name, qsizetype(length));
            if (::stat(full.constData(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
        }
        names.append(DecodeFileName(QByteArray(name, qsizetype(length))));
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

void FileList::reread() {
    const QStringList names = ReadMp3Names(QStringLiteral("."));
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
