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
    return selectionModel()->isSelected(model()->index(index, 0));
}

void FileList::deselect(int index) {
    // Quietly: a batch loop deselecting is no selection change of the user's, so no status
    // line update, no repaint and no file read per entry. The owner repaints once afterwards.
    const QSignalBlocker block(selectionModel());
    selectionModel()->select(model()->index(index, 0), QItemSelectionModel::Deselect);
}

QString FileList::focusedName() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? name(current.row()) : QString();
}

void FileList::setAllSelected(bool selected) {
    // Marks only: the focus and the status line stay as they are.
    {
        const QSignalBlocker block(selectionModel());
        if (selected)
            selectAll();
        else
            clearSelection();
    }
    viewport()->update();
}
