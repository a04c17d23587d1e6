#include "app/FolderDrop.h"

#include "app/CommandLine.h"
#include "core/FileName.h"
#include "core/PosixFile.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace {

// A file URL's path as a Morwick name. The URL carries the name's bytes percent-encoded, so a
// name that is not UTF-8 arrives whole (QUrl::toLocalFile would read it as UTF-8).
QString LocalPath(const QUrl& url) {
    if (!url.isLocalFile())
        return {};
    const QString host = url.host();
    if (!host.isEmpty() && host != QLatin1String("localhost"))
        return {};
    return DecodeFileName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

} // namespace

QString DroppedFolder(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls()) {
        const QString path = LocalPath(url);
        if (!path.isEmpty() && StatFile(path).exists)
            return FolderToOpen(path);
    }
    return {};
}

FolderDrop* FolderDrop::install(QWidget* target, OpenFolder open) {
    return new FolderDrop(target, std::move(open));
}

FolderDrop::FolderDrop(QWidget* target, OpenFolder open) : QObject(target), open_(std::move(open)) {
    target->setAcceptDrops(true);
    target->installEventFilter(this);
}

bool FolderDrop::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (DroppedFolder(drag->mimeData()).isEmpty())
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString folder = DroppedFolder(drop->mimeData());
        if (folder.isEmpty())
            return false;
        drop->acceptProposedAction();
        // Opened once the drop is over: the file manager waits for the drop to end, and opening
        // may show the error box.
        QMetaObject::invokeMethod(
            this, [open = open_, folder] { open(folder); }, Qt::QueuedConnection);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
