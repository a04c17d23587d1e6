#pragma once

#include <QByteArray>

// The folder an entry stands in, held open, so that every later create, rename, link and unlink
// of that entry is made relative to this very folder and not to a path looked up again. The
// folder is opened with O_DIRECTORY | O_NOFOLLOW; when its last part is a symbolic link, the link
// is resolved once and the folder it leads to is opened the same way. A folder that may be entered
// but not read is held with O_PATH (fsync(2) then fails on it).
class HeldFolder {
public:
    HeldFolder() = default;
    // Holds the folder of `path` (encoded, see FileName.h; a bare name: the working directory).
    // `path` itself is not looked at: a symbolic link at its end stays the entry's name. Check
    // isOpen(); errno tells why it is not.
    explicit HeldFolder(const QByteArray& path);
    // Holds `folder` itself (encoded; empty: the working directory); name() is empty.
    static HeldFolder Folder(const QByteArray& folder);
    ~HeldFolder();
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    HeldFolder(HeldFolder&& other) noexcept;
    HeldFolder& operator=(HeldFolder&& other) noexcept;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // The entry's name within the folder.
    const QByteArray& name() const { return name_; }
    // The folder as it was reached (for the journal's records and messages): it ends in '/'
    // unless it is empty (the working directory).
    const QByteArray& folderPath() const { return folder_; }
    // folderPath() + name().
    QByteArray path() const { return folder_ + name_; }

private:
    void open(const QByteArray& folder);

    int fd_ = -1;
    QByteArray folder_;
    QByteArray name_;
};
