#include "core/JournalTemporaries.h"

#include "core/FileName.h"
#include "core/FileRewrite.h"
#include "core/Journal.h"
#include "core/JournalRecovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace journal {

namespace {

QByteArray baseName(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

std::vector<QByteArray> temporaryNames(int dirFd) {
    std::vector<QByteArray> names;
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (d == nullptr) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    while (const dirent* e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (IsTemporaryName(name))
            names.push_back(name);
    }
    ::closedir(d);
    return names;
}

} // namespace

NeededTemporaries FindNeededTemporaries(const StateFolder& folder) {
    NeededTemporaries needed;
    if (folder.status() == StateFolder::Status::Untrusted) {
        needed.all = true;
        return needed;
    }
    for (const QByteArray& name : folder.journalNames()) {
        // Read without its lock: a running Morwick's journal counts as much as any.
        const JournalFile journal(folder, name, false);
        if (journal.status() == JournalFile::Status::Untrusted) {
            needed.all = true;
            return needed;
        }
        if (journal.fd() < 0 || journal.endsWhole())
            continue;
        Reader reader(journal.fd());
        for (const Record& c : IndexJournal(reader).copyBacks)
            needed.names.insert(baseName(c.path2));
    }
    return needed;
}

void SweepFolder(const QByteArray& dir, const NeededTemporaries& needed) {
    if (needed.all)
        return;
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0)
        return;
    for (const QByteArray& name : temporaryNames(dfd)) {
        if (needed.names.count(name))
            continue;
        const int fd =
            ::openat(dfd, name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
        if (fd < 0)
            continue;
        struct stat held {
        }, named{};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
            held.st_uid == ::geteuid() &&
            ::fstatat(dfd, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev)
            ::unlinkat(dfd, name.constData(), 0);
        ::close(fd);
    }
    ::close(dfd);
}

} // namespace journal

void RemoveStaleTemporaries(const QString& dir) {
    const QByteArray folderPath = EncodeFileName(dir);
    const int dfd = ::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0)
        return;
    const bool any = !journal::temporaryNames(dfd).empty();
    ::close(dfd);
    if (!any)
        return;
    const journal::StateFolder folder(false);
    if (folder.usable()) {
        // A temporary may be what finishes a copy cut short: recovery goes first.
        journal::RecoveryFindings findings;
        journal::RecoverAll(folder, findings, nullptr);
    }
    journal::SweepFolder(folderPath, journal::FindNeededTemporaries(folder));
}
