#include "core/FileIdentity.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

int64_t birthOf(const struct statx& sx) {
    if ((sx.stx_mask & STATX_BTIME) == 0)
        return 0;
    return int64_t(sx.stx_btime.tv_sec) * 1000000000 + sx.stx_btime.tv_nsec;
}

// What fstat(2) would have said, from what statx(2) said.
void toStat(const struct statx& sx, struct stat& st) {
    st = {};
    st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st.st_ino = ino_t(sx.stx_ino);
    st.st_mode = sx.stx_mode;
    st.st_nlink = sx.stx_nlink;
    st.st_uid = sx.stx_uid;
    st.st_gid = sx.stx_gid;
    st.st_rdev = makedev(sx.stx_rdev_major, sx.stx_rdev_minor);
    st.st_size = off_t(sx.stx_size);
    st.st_blksize = blksize_t(sx.stx_blksize);
    st.st_blocks = blkcnt_t(sx.stx_blocks);
    st.st_atim = {sx.stx_atime.tv_sec, long(sx.stx_atime.tv_nsec)};
    st.st_mtim = {sx.stx_mtime.tv_sec, long(sx.stx_mtime.tv_nsec)};
    st.st_ctim = {sx.stx_ctime.tv_sec, long(sx.stx_ctime.tv_nsec)};
}

void fillFromStat(FileIdentity& id, const struct stat& st) {
    id.dev = uint64_t(st.st_dev);
    id.ino = uint64_t(st.st_ino);
}

} // namespace

bool FileIdentity::sameFile(const FileIdentity& other) const {
    if (dev != other.dev || ino != other.ino)
        return false;
    if (birthNs != 0 && other.birthNs != 0 && birthNs != other.birthNs)
        return false;
    return generation == 0 || other.generation == 0 || generation == other.generation;
}

FileIdentity IdentityOf(int fd, const struct stat& st) {
    FileIdentity id;
    fillFromStat(id, st);
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_BTIME, &sx) == 0)
        id.birthNs = birthOf(sx);
    if (id.birthNs == 0 && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
        int generation = 0;
        if (::ioctl(fd, FS_IOC_GETVERSION, &generation) == 0)
            id.generation = uint64_t(uint32_t(generation)) + 1;
    }
    return id;
}

bool StatWithBirth(int fd, struct stat& st, int64_t& birthNs) {
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
        birthNs = 0;
        return errno == ENOSYS && ::fstat(fd, &st) == 0;
    }
    toStat(sx, st);
    birthNs = birthOf(sx);
    return true;
}

std::optional<FileIdentity> IdentityAt(int dirFd, const char* name, struct stat* st) {
    struct statx sx {};
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC, STATX_BASIC_STATS | STATX_BTIME,
                &sx) != 0)
        return std::nullopt;
    FileIdentity id;
    id.dev = uint64_t(makedev(sx.stx_dev_major, sx.stx_dev_minor));
    id.ino = sx.stx_ino;
    id.birthNs = birthOf(sx);
    if (st != nullptr)
        toStat(sx, *st);
    return id;
}
