#include "core/JournalSession.h"

#include "core/FileName.h"
#include "core/Journal.h"
#include "core/JournalHooks.h"
#include "core/JournalStore.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace journal {

namespace {

// What the file open as `fd` is now, identity included, in one system call (a Done record is
// written for every change, and fstat would cost the same).
bool describe(int fd, FileIdentity& id, struct stat& st) {
    int64_t birthNs = 0;
    if (!StatWithBirth(fd, st, birthNs))
        return false;
    id = birthNs != 0 ? FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino), birthNs} : IdentityOf(fd, st);
    return true;
}

void unmap(Session& s) {
    if (s.map != nullptr)
        ::munmap(s.map, size_t(s.mapSize));
    s.map = nullptr;
    s.mapSize = 0;
}

void closeJournal(Session& s) {
    unmap(s);
    if (s.fd >= 0)
        ::close(s.fd); // releases the lock: recovery and undo may read it now
    if (s.dirFd >= 0)
        ::close(s.dirFd);
    s.fd = -1;
    s.dirFd = -1;
    s.fileName.clear();
}

void dropJournal(Session& s) {
    // A journal that misses changes of its command must not offer to undo it; but one that names
    // a copy back not yet finished is what finishes it, and stays for recovery.
    if (s.fd >= 0 && s.openCopyBacks.empty() && !s.undoing)
        ::unlinkat(s.dirFd, s.fileName.constData(), 0);
    if (!s.undoing)
        closeJournal(s);
    s.fd = -1;
    s.used = -1;
    s.failed = true;
}

// Starts this command's journal: a file of its own, beside any other Morwick's.
bool ensureJournal(Session& s) {
    if (s.fd >= 0)
        return true;
    if (s.failed || s.undoing)
        return false;
    const StateFolder folder(true);
    const NewJournal made = CreateJournal(folder, s.name);
    if (made.fd < 0) {
        s.failed = true;
        return false;
    }
    s.fd = made.fd;
    s.dirFd = ::fcntl(folder.fd(), F_DUPFD_CLOEXEC, 0);
    s.fileName = made.name;
    s.nameSynced = false;
    s.used = MappingIsSafe(made.fd) ? qint64(::lseek(made.fd, 0, SEEK_CUR)) : -1;
    s.nextId = 1;
    s.version = kVersion;
    s.folder.clear();
    s.open.clear();
    s.openChanges = 0;
    s.openCopyBacks.clear();
    struct stat st {};
    if (::fstat(made.fd, &st) == 0)
        Touched(st.st_dev, made.fd);
    return true;
}

// The mapping grows by doubling from a small start, up to steps of kMapStep: a command's end
// gives back what its records did not use, and on a file system that discards freed blocks at
// once that costs in proportion to it.
constexpr qint64 kFirstMap = 64 << 10;
constexpr qint64 kMapStep = 1 << 20;

// How far a journal grows at once for the changes still expected.
constexpr qint64 kMostExpected = 4 << 20;

qint64 pageSize() {
    static const qint64 page = ::sysconf(_SC_PAGESIZE);
    return page;
}

// The size the mapping grows to for n more bytes, by its own steps.
qint64 steppedSize(const Session& s, qint64 n) {
    const qint64 step = std::clamp(s.mapSize, kFirstMap, kMapStep);
    return (s.used + n + step) / step * step;
}

// The same, or at once what the changes still expected take (at the rate of those journaled so
// far, and a little more) where that is further. Growing costs a reservation and a remapping each
// time, and what a command's end gives back costs in proportion to it.
qint64 expectedSize(const Session& s, qint64 n) {
    const qint64 stepped = steppedSize(s, n);
    const qint64 made = qint64(s.nextId) - 1;
    if (made <= 0 || s.expected <= made)
        return stepped;
    const qint64 rest = std::min((s.used / made) * (s.expected - made) * 17 / 16, kMostExpected);
    const qint64 page = pageSize();
    return std::max(stepped, (s.used + n + rest + page - 1) / page * page);
}

// Grows the journal and its mapping to `size` and makes the new pages writable at once. That
// also reserves their room on the disk: a store into a page the disk had no room for would kill
// the program instead of failing the command's journal. False, the mapping as it was, when
// there is no room.
bool growMapping(Session& s, qint64 size) {
    if (::ftruncate(s.fd, off_t(size)) != 0)
        return false;
    // A mapping that grows keeps its pages: unmapped and mapped again, each would be looked up
    // afresh.
    void* map = s.map != nullptr ? ::mremap(s.map, size_t(s.mapSize), size_t(size), MREMAP_MAYMOVE)
                                 : ::mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, s.fd, 0);
    if (map == MAP_FAILED)
        return false;
    const qint64 before = s.mapSize;
    s.map = static_cast<char*>(map);
    s.mapSize = size;
    // In one call, not by a fault per page as the records reach them (a fault costs about as
    // much as a rename). Room reserved this way, not by allocating blocks ahead, is given back
    // for nothing when the command's end trims the journal; allocated blocks would have to be
    // freed.
    const qint64 from = s.used / pageSize() * pageSize();
    if (::madvise(s.map + from, size_t(size - from), MADV_POPULATE_WRITE) == 0)
        return true;
    // A kernel before 5.14 cannot: the blocks are allocated instead, and the pages fault in.
    if (errno == EINVAL && ::posix_fallocate(s.fd, 0, off_t(size)) == 0)
        return true;
    // Back as it was. A smaller step tried next sets the file's size first, which gives back
    // the room the pages made writable here took.
    if (before == 0) {
        unmap(s);
    } else {
        ::munmap(s.map + before, size_t(size - before));
        s.mapSize = before;
    }
    return false;
}

// Where the next n bytes of the mapped journal go, the mapping grown for them; nullptr when it
// cannot grow.
char* reserveMapped(Session& s, qint64 n) {
    if (s.used + n > s.mapSize) {
        const qint64 stepped = steppedSize(s, n), expected = expectedSize(s, n);
        // Where the disk has no room for what is expected, it may still have room for a step.
        if (!growMapping(s, expected) && (expected == stepped || !growMapping(s, stepped))) {
            unmap(s);
            return nullptr;
        }
    }
    char* at = s.map + s.used;
    s.used += n;
    return at;
}

// The pending records, then `record`'s `n` bytes as `write` puts them at the place given.
template <typename Write> bool appendWith(Session& s, qint64 n, Write write) {
    if (s.fd < 0)
        return false;
    bool ok = false;
    if (s.used >= 0) {
        if (char* at = reserveMapped(s, s.pending.size() + n)) {
            std::memcpy(at, s.pending.constData(), size_t(s.pending.size()));
            write(at + s.pending.size());
            ok = true;
        }
    } else {
        QByteArray bytes = s.pending;
        bytes.resize(bytes.size() + n);
        write(bytes.data() + s.pending.size());
        ok = WriteAll(s.fd, bytes);
    }
    s.pending.resize(0); // keeps its buffer for the next Done records
    if (!ok)
        dropJournal(s);
    return ok;
}

// The mapped journal trimmed to its records; what follows is appended with write(2).
void trimJournal(Session& s) {
    if (s.fd < 0 || s.used < 0)
        return;
    unmap(s);
    if (::ftruncate(s.fd, off_t(s.used)) != 0 || ::lseek(s.fd, off_t(s.used), SEEK_SET) < 0)
        dropJournal(s);
    s.used = -1;
}

void flushPending(Session& s) {
    if (s.fd >= 0 && !s.pending.isEmpty())
        Append(s, {});
}

uint64_t syncCount = 0;

// The change is done: it no longer keeps the command from ending whole.
void settle(Session& s, uint32_t id) {
    if (id < s.open.size() && s.open[id]) {
        s.open[id] = false;
        --s.openChanges;
    }
}

// The working directory: taken once per command, within one.
QByteArray workingDirectory(Session& s) {
    if (s.depth > 0 && !s.cwd.isEmpty())
        return s.cwd;
    QByteArray buffer(4096, Qt::Uninitialized);
    while (::getcwd(buffer.data(), size_t(buffer.size())) == nullptr && errno == ERANGE)
        buffer.resize(buffer.size() * 2);
    QByteArray cwd(buffer.constData());
    if (s.depth > 0)
        s.cwd = cwd;
    return cwd;
}

// The paths as the record keeps them. In format 3 a bare name stays bare, and the folder it lies in
// is said once, by a Folder record ahead of it, not in every record: a command renames thousands
// of files in one folder. Any other path is made whole.
bool placePaths(Session& s, Record& r) {
    bool bare = false;
    for (QByteArray* path : {&r.path, &r.path2}) {
        if (path->isNull())
            continue;
        if (s.version >= 3 && !path->contains('/'))
            bare = true;
        else
            *path = AbsolutePath(*path);
    }
    if (!bare)
        return true;
    const QByteArray cwd = workingDirectory(s);
    if (cwd == s.folder)
        return true;
    Record folder;
    folder.kind = Kind::Folder;
    folder.path = cwd;
    if (!appendWith(s, EncodedSize(folder, s.version), [&](char* at) { EncodeInto(at, folder, s.version); }))
        return false;
    s.folder = cwd;
    return true;
}

uint32_t announce(Record r) {
    Session& s = CurrentSession();
    if (!ensureJournal(s) || !placePaths(s, r))
        return 0;
    r.id = s.nextId++;
    if (!appendWith(s, EncodedSize(r, s.version), [&](char* at) { EncodeInto(at, r, s.version); }))
        return 0;
    if (s.open.size() <= r.id)
        s.open.resize(r.id + 1);
    s.open[r.id] = true;
    ++s.openChanges;
    return r.id;
}

void beginScope(const QString& name) {
    Session& s = CurrentSession();
    if (s.depth++ == 0) {
        s.name = name;
        s.failed = false;
    } else if (s.name.isEmpty()) {
        s.name = name;
    }
}

// A command's end makes what it changed durable; the outermost scope also ends the journal, with
// an End record only when every change it announced ended whole.
void endScope(bool command) {
    Session& s = CurrentSession();
    if (s.depth == 1) {
        flushPending(s);
        trimJournal(s);
    }
    if (command || s.depth == 1)
        SyncTouched(s);
    if (s.depth == 1 && s.fd >= 0 && !s.failed && !s.undoing && s.openChanges == 0 &&
        s.openCopyBacks.empty() && WriteAll(s.fd, EndRecordBytes(s.version))) {
        // After the sync: only a command that ended whole has it. Older journals that ended
        // whole are no longer needed by anyone.
        const StateFolder folder(false);
        PruneJournals(folder, s.fileName);
    }
    if (--s.depth > 0)
        return;
    closeJournal(s);
    s.failed = false;
    s.cwd.clear();
    s.name.clear();
    s.expected = 0;
}

int64_t killBudget = -1;
int64_t failBudget = -1;

} // namespace

Session& CurrentSession() {
    static Session s;
    return s;
}

bool Append(Session& s, const QByteArray& record) {
    return appendWith(s, record.size(),
                      [&](char* at) { std::memcpy(at, record.constData(), size_t(record.size())); });
}

void SyncTouched(Session& s) {
    flushPending(s);
    for (const auto& [dev, fd] : s.syncFds) {
        ++syncCount;
        if (::syncfs(fd) != 0)
            ::sync();
        ::close(fd);
    }
    s.syncFds.clear();
}

ChangeScope::ChangeScope() {
    beginScope({});
}

ChangeScope::~ChangeScope() {
    endScope(false);
}

void WorkingDirectoryChanged() {
    CurrentSession().cwd.clear();
}

QByteArray AbsolutePath(const QByteArray& path) {
    if (path.startsWith('/'))
        return path;
    return PathIn(workingDirectory(CurrentSession()), path);
}

QByteArray ContentPath(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char* real = ::realpath(path.constData(), nullptr);
    if (real == nullptr)
        return path;
    const QByteArray resolved(real);
    std::free(real);
    return resolved;
}

uint32_t AnnounceTrailer(const FileIdentity& file, const struct stat& st, const QByteArray& path,
                         int64_t offset, const QByteArray& oldBytes, const QByteArray& newBytes) {
    if (CurrentSession().undoing)
        return 0;
    Record r;
    r.kind = Kind::Trailer;
    r.file = file;
    r.path = path;
    r.offset = offset;
    r.oldSize = st.st_size;
    r.oldMode = st.st_mode;
    r.mtime = MtimeNs(st);
    r.oldBytes = oldBytes;
    r.newBytes = newBytes;
    return announce(r);
}

uint32_t AnnounceHead(const FileIdentity& file, const struct stat& st, const QByteArray& path,
                      const QByteArray& oldHead, const QByteArray& newHead, int64_t trailerAt,
                      const QByteArray& oldTrailer, const QByteArray& newTrailer) {
    if (CurrentSession().undoing)
        return 0;
    Record r;
    r.kind = Kind::Head;
    r.file = file;
    r.path = path;
    r.offset = trailerAt;
    r.size = newHead.size();
    r.oldSize = st.st_size;
    r.oldMode = st.st_mode;
    r.mtime = MtimeNs(st);
    r.oldBytes = oldHead + oldTrailer;
    r.newBytes = newHead + newTrailer;
    return announce(r);
}

uint32_t AnnounceRemoval(const FileIdentity& file, const struct stat& st, const QByteArray& path,
                         const QByteArray& contentPath, const QByteArray& head, const QByteArray& tail,
                         int64_t added, int64_t newHeadSize) {
    if (CurrentSession().undoing)
        return 0;
    Record r;
    r.kind = Kind::Removal;
    r.file = file;
    r.path = path;
    r.path2 = contentPath;
    r.oldSize = st.st_size;
    r.oldMode = st.st_mode;
    r.mtime = MtimeNs(st);
    r.oldBytes = head;
    r.newBytes = tail;
    r.offset = newHeadSize;
    r.size = st.st_size - head.size() - tail.size() + added;
    return announce(r);
}

void ExpectChanges(int changes) {
    CurrentSession().expected = changes;
}

bool JournalBegun() {
    return CurrentSession().fd >= 0;
}

uint32_t AnnounceRename(const FileIdentity& file, const QByteArray& oldPath, const QByteArray& newPath) {
    if (CurrentSession().undoing)
        return 0;
    Record r;
    r.kind = Kind::Rename;
    r.file = file;
    r.path = oldPath;
    r.path2 = newPath;
    return announce(r);
}

bool AnnounceCopyBack(uint32_t id, int tempFd, const QByteArray& tempPath, const FileIdentity& target,
                      const QByteArray& targetPath, int64_t size) {
    Session& s = CurrentSession();
    if (!s.undoing)
        ensureJournal(s);
    if (s.fd < 0)
        return false;
    Record r;
    r.kind = Kind::CopyBack;
    r.id = id;
    r.file = target;
    r.path = AbsolutePath(targetPath);
    r.path2 = AbsolutePath(tempPath);
    r.size = size;
    struct stat tst {};
    if (::fstat(tempFd, &tst) != 0)
        return false;
    r.other = IdentityOf(tempFd, tst);
    // The record is synced because recovery relies on it; so it must be able to rely on the
    // names it gives: the temporary's (its caller synced the folder it holds) and the journal's
    // own (once per journal).
    if (!s.nameSynced) {
        if (::fsync(s.dirFd) != 0)
            return false;
        s.nameSynced = true;
    }
    if (!Append(s, Encode(r, s.version)) || ::fdatasync(s.fd) != 0)
        return false;
    s.openCopyBacks.insert(r.path2);
    return true;
}

void CopyBackDone(const QByteArray& tempPath) {
    Session& s = CurrentSession();
    if (s.fd < 0)
        return;
    Record r;
    r.kind = Kind::CopyDone;
    r.path2 = AbsolutePath(tempPath);
    EncodeAppend(s.pending, r, s.version);
    s.openCopyBacks.erase(r.path2);
}

void Done(uint32_t id, int fd, const char* last128) {
    Session& s = CurrentSession();
    if (id == 0 || s.fd < 0 || s.undoing)
        return;
    FileIdentity file;
    struct stat st {};
    if (!describe(fd, file, st))
        return;
    QByteArray tail;
    if (last128 != nullptr) {
        tail = QByteArray(last128, kTrailerBytes);
    } else {
        const qint64 n = std::min<qint64>(st.st_size, kTrailerBytes);
        tail.resize(n);
        if (::pread(fd, tail.data(), size_t(n), off_t(st.st_size - n)) != n)
            tail.clear();
    }
    EncodeAppend(s.pending, DoneRecord(id, file, st, tail), s.version);
    settle(s, id);
}

void NotMade(uint32_t id) {
    Session& s = CurrentSession();
    if (id == 0 || s.fd < 0 || s.undoing)
        return;
    Record r;
    r.kind = Kind::Settled;
    r.id = id;
    EncodeAppend(s.pending, r, s.version);
    settle(s, id);
}

void RenameDone(uint32_t id, const struct stat& st) {
    Session& s = CurrentSession();
    if (id == 0 || s.fd < 0 || s.undoing)
        return;
    EncodeAppend(s.pending, DoneRecord(id, FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)}, st, {}),
                 s.version);
    settle(s, id);
}

void Touched(dev_t dev, int fd) {
    Session& s = CurrentSession();
    if (s.syncFds.count(dev))
        return;
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy >= 0)
        s.syncFds[dev] = copy;
}

void TouchedFolder(dev_t dev, const QByteArray& dir) {
    Session& s = CurrentSession();
    if (s.syncFds.count(dev))
        return;
    const int fd = ::open(AbsolutePath(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
        s.syncFds[dev] = fd;
    else
        ::sync(); // cannot reach the folder again: sync everything rather than nothing
}

uint64_t SyncCount() {
    return syncCount;
}

void KillAfterBytes(int64_t bytes) {
    killBudget = bytes;
}

void FailAfterBytes(int64_t bytes) {
    failBudget = bytes;
}

bool KillArmed() {
    return killBudget >= 0 || failBudget >= 0;
}

int64_t WritableBytes(int64_t wanted) {
    if (failBudget >= 0) {
        const int64_t n = std::min(wanted, failBudget);
        failBudget -= n;
        return n; // none: the write fails as on a full disk
    }
    if (killBudget < 0)
        return wanted;
    if (killBudget == 0)
        ::raise(SIGKILL);
    const int64_t n = std::min(wanted, killBudget);
    killBudget -= n;
    return n;
}

} // namespace journal

JournalCommand::JournalCommand(const QString& name) {
    journal::beginScope(name);
}

JournalCommand::~JournalCommand() {
    journal::endScope(true);
}

QString JournalDirectory() {
    const journal::StateFolder folder(true);
    return folder.usable() ? DecodeFileName(folder.path()) : QString();
}
