#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QMimeData;
class QWidget;

// The folder that dragged data stands for: the first local folder or file among its URLs
// (a file stands for its folder), as a Morwick name; empty when there is none.
QString DroppedFolder(const QMimeData* data);

// Lets a folder, or a file (its folder), be dropped onto a widget from the file manager.
// Drags that carry no local folder or file are left alone.
class FolderDrop : public QObject {
    Q_OBJECT

public:
    using OpenFolder = std::function<void(const QString& folder)>;

    // Makes `target` accept drops and calls `open` with each dropped folder, from the event
    // loop just after the drop. The helper is a child of `target` and goes with it.
    static FolderDrop* install(QWidget* target, OpenFolder open);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FolderDrop(QWidget* target, OpenFolder open);

    OpenFolder open_;
};
