#pragma once

#include <QListWidget>

// A classic directory list box: the ancestors of the current directory from the root down,
// the current directory, then its sub-folders. Entry 0 is the root. A single click selects an
// entry; a double click or Enter opens it (the owner decides what opening does).
class DirectoryList : public QListWidget {
    Q_OBJECT

public:
    explicit DirectoryList(QWidget* parent = nullptr);

    // Rebuilds the entries for `path` (a Morwick path, absolute, without a trailing "/") and
    // selects the current directory's entry. Unreadable sub-folders are simply not listed.
    void showDirectory(const QString& path);
    const QString& directory() const { return directory_; }

    // The full path and the own name of entry `row`.
    QString entryPath(int row) const;
    QString entryName(int row) const;

signals:
    void entryOpened(const QString& path);

protected:
    bool viewportEvent(QEvent* event) override;

private:
    QString directory_;
};

// The parent of a "/"-separated path ("/a/b" -> "/a", "/a" -> "/") and its own name.
QString ParentDirectory(const QString& path);
QString DirectoryName(const QString& path);
