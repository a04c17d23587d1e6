#include "app/DirectoryList.h"

#include "core/FileName.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStyle>
#include <algorithm>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace {

enum Role { PathRole = Qt::UserRole, NameRole };

QStringList subDirectories(const QString& path) {
    QStringList out;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(EncodeFileName(path).constData()), ::closedir);
    if (!dir)
        return out;
    const QString prefix = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    while (const dirent* entry = ::readdir(dir.get())) {
        if (entry->d_name[0] == '.')
            continue; // ".", ".." and hidden folders
        bool isDir = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            const QByteArray full = EncodeFileName(prefix) + entry->d_name;
            isDir = ::stat(full.constData(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (isDir)
            out.append(DecodeFileName(QByteArray(entry->d_name)));
    }
    std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    return out;
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
