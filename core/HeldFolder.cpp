#include "core/HeldFolder.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

int openFolder(const QByteArray& folder) {
    const char* path = folder.isEmpty() ? "." : folder.constData();
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    // A folder that may be entered but not listed still serves every *at call.
    if (fd < 0 && errno == EACCES)
        fd = ::open(path, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return fd;
}

} // namespace

HeldFolder::HeldFolder(const QByteArray& path) {
    QByteArray entry = path;
    while (entry.size() > 1 && entry.endsWith('/'))
        entry.chop(1);
    const qsizetype slash = entry.lastIndexOf('/');
    name_ = entry.mid(slash + 1);
    open(entry.left(slash + 1));
}

HeldFolder HeldFolder::Folder(const QByteArray& folder) {
    HeldFolder held;
    held.open(folder.isEmpty() || folder.endsWith('/') ? folder : folder + '/');
    return held;
}

void HeldFolder::open(const QByteArray& folder) {
    folder_ = folder;
    fd_ = openFolder(folder_);
    if (fd_ < 0 && errno == ELOOP) {
        // The folder was reached through a symbolic link: the folder it leads to, resolved once.
        char* real = ::realpath(folder_.constData(), nullptr);
        if (real == nullptr)
            return;
        folder_ = QByteArray(real);
        std::free(real);
        if (!folder_.endsWith('/'))
            folder_ += '/';
        fd_ = openFolder(folder_);
    }
}

HeldFolder::~HeldFolder() {
    if (fd_ >= 0)
        ::close(fd_);
}

HeldFolder::HeldFolder(HeldFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), folder_(std::move(other.folder_)), name_(std::move(other.name_)) {}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        folder_ = std::move(other.folder_);
        name_ = std::move(other.name_);
    }
    return *this;
}
