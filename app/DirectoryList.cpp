#include "app/DirectoryList.h"

#include "app/FileList.h"
#include "core/Directory.h"
#include "core/FileName.h"
#include "core/IoError.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStyle>

namespace {

enum Role { PathRole = Qt::UserRole, NameRole };

// The folders inside `path`; none when it cannot be read.
QStringList subDirectories(const QString& path) {
    try {
        return ListDirectory(path, EntryKind::Folder);
    } catch (const CommandError&) {
        return {};
    }
}

} // namespace

QString ParentDirectory(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString DirectoryName(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

DirectoryList::DirectoryList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { emit entryOpened(item->data(PathRole).toString()); });
}

void DirectoryList::showDirectory(const QString& path) {
    directory_ = path;
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    QStringList chain; // the current directory and its ancestors, up to the root
    for (QString p = path; p != QLatin1String("/"); p = ParentDirectory(p))
        chain.prepend(p);
    chain.prepend(QStringLiteral("/"));

    clear();
    auto add = [this](const QString& full, const QString& name, int depth, const QIcon& icon) {
        auto* item =
            new QListWidgetItem(icon, QString(depth * 2, QLatin1Char(' ')) + DisplayFileName(name), this);
        item->setData(PathRole, full);
        item->setData(NameRole, name);
    };
    int depth = 0;
    for (const QString& p : chain) {
        add(p, p == QLatin1String("/") ? p : DirectoryName(p), depth, open);
        ++depth;
    }
    const QString prefix = path == QLatin1String("/") ? path : path + QLatin1Char('/');
    for (const QString& name : subDirectories(path))
        add(prefix + name, name, depth, closed);
    setCurrentRow(int(chain.size()) - 1);
}

QString DirectoryList::entryPath(int row) const {
    const QListWidgetItem* it = item(row);
    return it ? it->data(PathRole).toString() : QString();
}

QString DirectoryList::entryName(int row) const {
    const QListWidgetItem* it = item(row);
    return it ? it->data(NameRole).toString() : QString();
}

bool DirectoryList::viewportEvent(QEvent* event) {
    if (ShowCutEntryTip(*this, event, [this](int row) { return DisplayFileName(entryName(row)); }))
        return true;
    return QListWidget::viewportEvent(event);
}
