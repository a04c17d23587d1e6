#include "core/Journal.h"

#include "core/FileName.h"
#include "core/FileRewrite.h"
#include "core/IoError.h"
#include "core/JournalHooks.h"
#include "core/PosixFile.h"
#include "core/RenameFile.h"

#include <QDataStream>
#include <QIODevice>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The journal file: a magic line, then records, each framed as
//   u32 payload length, u64 FNV-1a hash of the payload, payload (QDataStream, big-endian)
// so a record cut short by a kill (its write stopped part-way) is seen as such and ends the
// journal: the change it announced had not started. Every record has the same fields; a kind
// uses those it needs.

namespace {

constexpr char kMagic[] = "MORWICK JOURNAL 1\n";
constexpr qint64 kMagicSize = sizeof kMagic - 1;
constexpr int kTrailerBytes = 128;

enum class Kind : quint8 {
    Begin = 1, // name: the command
    Trailer,   // id, dev, ino, path, offset, oldSize, oldMode, oldBytes (empty: appended), newBytes
    Removal,   // id, dev, ino, path, oldSize, oldMode, oldBytes = head, newBytes = tail, size = new size
    Rename,    // id, dev, ino, path = old, path2 = new
    CopyBack,  // id, dev, ino (target), path (target), path2 (temporary), size
    CopyDone,  // path2 (temporary)
    Done,      // id, dev, ino, size, mtime, newBytes = last 128 bytes
    Settled,   // id: examined by recovery, nothing to confirm (never started, or overtaken)
    UndoStep,  // id: an undo is taking the change back
    UndoDone,  // id, flag: taken back (or found back already)
    End,       // the command ended: every change confirmed and synced; nothing to recover
};

struct Record {
    Kind kind = Kind::Begin;
    quint32 id = 0;
    QString name;
    quint64 dev = 0;
    quint64 ino = 0;
    QByteArray path;
    QByteArray path2;
    qint64 offset = 0;
    qint64 oldSize = 0;
    qint64 size = 0;
    qint64 mtime = 0;
    quint32 oldMode = 0;
    QByteArray oldBytes;
    QByteArray newBytes;
    bool flag = false;
};

quint64 fnv1a(const char* p, qsizetype n) {
    quint64 h = 14695981039346656037ull;
    for (qsizetype i = 0; i < n; ++i) {
        h ^= quint8(p[i]);
        h *= 1099511628211ull;
    }
    return h;
}

// Writes a record's fields in QDataStream's big-endian layout (version 6.0), so that decode()
// reads them back; by hand, into a buffer sized once, because a QDataStream over a QBuffer costs
// several times more than the write of the trailer the record announces.
class Encoder {
public:
    explicit Encoder(char* at) : at_(at) {}
    static qsizetype size(const QByteArray& b) { return 4 + b.size(); }
    static qsizetype size(const QString& s) { return 4 + (s.isNull() ? 0 : s.size() * 2); }
    char* end() const { return at_; }
    void u8(quint8 v) { *at_++ = char(v); }
    void u32(quint32 v) {
        at_[0] = char(v >> 24);
        at_[1] = char(v >> 16);
        at_[2] = char(v >> 8);
        at_[3] = char(v);
        at_ += 4;
    }
    void u64(quint64 v) {
        u32(quint32(v >> 32));
        u32(quint32(v));
    }
    // A null array is told apart from an empty one, as QDataStream does.
    void bytes(const QByteArray& b) {
        if (b.isNull()) {
            u32(0xFFFFFFFFu);
            return;
        }
        u32(quint32(b.size()));
        std::memcpy(at_, b.constData(), size_t(b.size()));
        at_ += b.size();
    }
    void string(const QString& s) {
        if (s.isNull()) {
            u32(0xFFFFFFFFu);
            return;
        }
        u32(quint32(s.size() * 2));
        for (const QChar c : s) {
            u8(quint8(c.unicode() >> 8));
            u8(quint8(c.unicode()));
        }
    }

private:
    char* at_;
};

QByteArray encode(const Record& r) {
    constexpr qsizetype kFrame = 12; // u32 payload length, u64 hash
    const qsizetype length = 1 + 4 + Encoder::size(r.name) + 8 + 8 + Encoder::size(r.path) +
                             Encoder::size(r.path2) + 4 * 8 + 4 + Encoder::size(r.oldBytes) +
                             Encoder::size(r.newBytes) + 1;
    QByteArray framed(kFrame + length, Qt::Uninitialized);
    char* payload = framed.data() + kFrame;
    Encoder out(payload);
    out.u8(quint8(r.kind));
    out.u32(r.id);
    out.string(r.name);
    out.u64(r.dev);
    out.u64(r.ino);
    out.bytes(r.path);
    out.bytes(r.path2);
    out.u64(quint64(r.offset));
    out.u64(quint64(r.oldSize));
    out.u64(quint64(r.size));
    out.u64(quint64(r.mtime));
    out.u32(r.oldMode);
    out.bytes(r.oldBytes);
    out.bytes(r.newBytes);
    out.u8(r.flag ? 1 : 0);
    Q_ASSERT(out.end() == payload + length);
    Encoder frame(framed.data());
    frame.u32(quint32(length));
    frame.u64(fnv1a(payload, length));
    return framed;
}

// The records of a journal's content, up to the first that is torn or damaged.
// `end` receives where the last sound record ends.
std::vector<Record> decode(const QByteArray& bytes, qsizetype* end = nullptr) {
    std::vector<Record> records;
    if (end != nullptr)
        *end = 0;
    if (!bytes.startsWith(QByteArray(kMagic, kMagicSize)))
        return records;
    qsizetype at = kMagicSize;
    while (bytes.size() - at >= 12) {
        QDataStream head(bytes.mid(at, 12));
        quint32 length = 0;
        quint64 hash = 0;
        head >> length >> hash;
        if (qsizetype(length) > bytes.size() - at - 12)
            break;
        const char* payload = bytes.constData() + at + 12;
        if (fnv1a(payload, length) != hash)
            break;
        QDataStream in(QByteArray::fromRawData(payload, length));
        in.setVersion(QDataStream::Qt_6_0);
        Record r;
        quint8 kind = 0;
        in >> kind >> r.id >> r.name >> r.dev >> r.ino >> r.path >> r.path2 >> r.offset >> r.oldSize >>
            r.size >> r.mtime >> r.oldMode >> r.oldBytes >> r.newBytes >> r.flag;
        if (in.status() != QDataStream::Ok)
            break;
        r.kind = Kind(kind);
        records.push_back(std::move(r));
        at += 12 + length;
        if (end != nullptr)
            *end = at;
    }
    return records;
}

// The record that closes a command which ended whole. Its bytes are always the same, so a look at
// the journal's last bytes says whether anything could need recovery, without reading the rest:
// start-up and the Undo item stay cheap however large the last command was.
const QByteArray& endRecordBytes() {
    static const QByteArray bytes = [] {
        Record r;
        r.kind = Kind::End;
        return encode(r);
    }();
    return bytes;
}

bool endsWhole(int fd) {
    const QByteArray& end = endRecordBytes();
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < kMagicSize + end.size())
        return false;
    QByteArray tail(end.size(), Qt::Uninitialized);
    return ::pread(fd, tail.data(), size_t(tail.size()), off_t(st.st_size - end.size())) == tail.size() &&
           tail == end;
}

bool writeAllTo(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        done += w;
    }
    return true;
}

QByteArray readAll(int fd) {
    QByteArray bytes;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return bytes;
        bytes.append(buf, n);
    }
}

qint64 mtimeNs(const struct stat& st) {
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

int openDirectory(const QByteArray& dir) {
    return ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

bool makeFolders(const QByteArray& path) {
    if (::mkdir(path.constData(), 0700) == 0 || errno == EEXIST)
        return true;
    if (errno != ENOENT)
        return false;
    const QByteArray parent = folderOf(path);
    return parent != path && makeFolders(parent) && (::mkdir(path.constData(), 0700) == 0 || errno == EEXIST);
}

QByteArray stateFolder() {
    QByteArray base = qgetenv("XDG_STATE_HOME");
    if (!base.startsWith('/')) {
        const QByteArray home = qgetenv("HOME");
        if (!home.startsWith('/'))
            return {};
        base = home + "/.local/state";
    }
    return base + "/morwick";
}

QByteArray journalPath() {
    const QByteArray folder = stateFolder();
    return folder.isEmpty() ? QByteArray() : folder + "/journal";
}

// Whether the journal's last command ended whole (see endRecordBytes); false when there is none.
bool journalEndsWhole() {
    const QByteArray path = journalPath();
    if (path.isEmpty())
        return false;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool whole = endsWhole(fd);
    ::close(fd);
    return whole;
}

// The journal of the running command, and what the command must sync when it ends.
struct Session {
    int depth = 0;
    QString name;
    int fd = -1;          // the command's journal, held with flock until the command ends
    bool failed = false;  // the journal could not be written: the command goes on without it
    bool undoing = false; // an undo makes the changes: announcements are not journaled
    quint32 nextId = 1;
    QByteArray pending;           // confirmations not yet written: they go out with the next record
    QByteArray cwd;               // the working directory, taken once per command
    std::map<dev_t, int> syncFds; // one descriptor per file system the command changed
    // The command's journal is appended through a shared mapping: a record is in the page cache,
    // safe from a kill, once copied, without a system call per record. Blocks are reserved ahead
    // (so a full disk fails the reservation, not a write to the mapping) and the file is trimmed
    // to its records when the command ends.
    char* map = nullptr;
    qint64 mapSize = 0;
    qint64 used = 0; // bytes of records in the mapped journal; -1: appended with write(2)
};

Session& session() {
    static Session s;
    return s;
}

void unmap(Session& s) {
    if (s.map != nullptr)
        ::munmap(s.map, size_t(s.mapSize));
    s.map = nullptr;
    s.mapSize = 0;
}

void dropJournal(Session& s) {
    unmap(s);
    s.used = -1;
    if (s.fd >= 0)
        ::close(s.fd);
    s.fd = -1;
    s.failed = true;
    // A journal that misses changes of its command must not offer to undo it.
    const QByteArray path = journalPath();
    if (!path.isEmpty())
        ::unlink(path.constData());
}

// Starts this command's journal, replacing the last command's in one rename.
bool ensureJournal(Session& s) {
    if (s.fd >= 0)
        return true;
    if (s.failed || s.undoing)
        return false;
    const QByteArray folder = stateFolder();
    if (folder.isEmpty() || !makeFolders(folder)) {
        s.failed = true;
        return false;
    }
    QByteArray temp = folder + "/journal.new-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        dropJournal(s);
        return false;
    }
    Record begin;
    begin.kind = Kind::Begin;
    begin.name = s.name;
    if (::flock(fd, LOCK_EX) != 0 || ::fchmod(fd, 0600) != 0 ||
        !writeAllTo(fd, QByteArray(kMagic, kMagicSize) + encode(begin)) ||
        ::rename(temp.constData(), (folder + "/journal").constData()) != 0) {
        ::close(fd);
        ::unlink(temp.constData());
        dropJournal(s);
        return false;
    }
    s.fd = fd;
    s.used = ::lseek(fd, 0, SEEK_CUR);
    s.nextId = 1;
    struct stat st {};
    if (::fstat(fd, &st) == 0)
        journal::Touched(st.st_dev, fd);
    return true;
}

constexpr qint64 kMapStep = 1 << 20;

bool appendMapped(Session& s, const QByteArray& bytes) {
    if (s.used + bytes.size() > s.mapSize) {
        const qint64 size = (s.used + bytes.size() + kMapStep) / kMapStep * kMapStep;
        unmap(s);
        if (::posix_fallocate(s.fd, 0, off_t(size)) != 0)
            return false;
        void* map = ::mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, s.fd, 0);
        if (map == MAP_FAILED)
            return false;
        s.map = static_cast<char*>(map);
        s.mapSize = size;
    }
    std::memcpy(s.map + s.used, bytes.constData(), size_t(bytes.size()));
    s.used += bytes.size();
    return true;
}

bool append(Session& s, const QByteArray& record) {
    if (s.fd < 0)
        return false;
    const QByteArray bytes = s.pending + record;
    s.pending.clear();
    const bool ok = s.used >= 0 ? appendMapped(s, bytes) : writeAllTo(s.fd, bytes);
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
        append(s, {});
}

uint64_t syncCount = 0;

void syncTouched(Session& s) {
    flushPending(s);
    for (const auto& [dev, fd] : s.syncFds) {
        ++syncCount;
        if (::syncfs(fd) != 0)
            ::sync();
        ::close(fd);
    }
    s.syncFds.clear();
}

uint32_t announce(Record r) {
    Session& s = session();
    if (!ensureJournal(s))
        return 0;
    r.id = s.nextId++;
    return append(s, encode(r)) ? r.id : 0;
}

// ---------------------------------------------------------------------------------------------
// Reading a journal back: each change with what followed it.

struct Change {
    Record change;
    std::optional<Record> done;
    bool settled = false;
    bool undoStarted = false;
    bool undone = false;
};

struct Loaded {
    QString name;
    std::map<quint32, Change> changes;
    std::vector<Record> copyBacks; // not yet confirmed done
};

Loaded load(const std::vector<Record>& records) {
    Loaded l;
    for (const Record& r : records) {
        switch (r.kind) {
        case Kind::Begin:
            l.name = r.name;
            break;
        case Kind::End:
            break;
        case Kind::Trailer:
        case Kind::Removal:
        case Kind::Rename:
            l.changes[r.id].change = r;
            break;
        case Kind::CopyBack:
            l.copyBacks.push_back(r);
            break;
        case Kind::CopyDone:
            l.copyBacks.erase(std::remove_if(l.copyBacks.begin(), l.copyBacks.end(),
                                             [&](const Record& c) { return c.path2 == r.path2; }),
                              l.copyBacks.end());
            break;
        case Kind::Done:
            if (l.changes.count(r.id))
                l.changes[r.id].done = r;
            break;
        case Kind::Settled:
            if (l.changes.count(r.id))
                l.changes[r.id].settled = true;
            break;
        case Kind::UndoStep:
            if (l.changes.count(r.id))
                l.changes[r.id].undoStarted = true;
            break;
        case Kind::UndoDone:
            if (l.changes.count(r.id))
                l.changes[r.id].undone = true;
            break;
        }
    }
    return l;
}

// An open journal, held with flock; nothing when there is none or another Morwick holds it.
class HeldJournal {
public:
    HeldJournal() {
        const QByteArray path = journalPath();
        if (path.isEmpty())
            return;
        fd_ = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd_ < 0)
            return;
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        // The journal may have been replaced between the open and the lock.
        struct stat held {
        }, named{};
        if (::fstat(fd_, &held) != 0 || ::stat(path.constData(), &named) != 0 ||
            held.st_ino != named.st_ino || held.st_dev != named.st_dev) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        // Records go on after the last sound one: a torn record, or the zeros a killed command
        // reserved, are cut off.
        qsizetype end = 0;
        loaded_ = load(decode(readAll(fd_), &end));
        if (end > 0 && (::ftruncate(fd_, off_t(end)) != 0 || ::lseek(fd_, off_t(end), SEEK_SET) < 0)) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~HeldJournal() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    HeldJournal(const HeldJournal&) = delete;
    HeldJournal& operator=(const HeldJournal&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    Loaded& loaded() { return loaded_; }
    void write(const Record& r) { writeAllTo(fd_, encode(r)); }
    void writeMark(Kind kind, quint32 id, bool flag = false) {
        Record r;
        r.kind = kind;
        r.id = id;
        r.flag = flag;
        write(r);
    }

private:
    int fd_ = -1;
    Loaded loaded_;
};

// A file reached by its path that is still the one a record names.
class NamedFile {
public:
    NamedFile(const QByteArray& path, quint64 dev, quint64 ino) {
        fd_ = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd_ < 0)
            return;
        if (::fstat(fd_, &st_) != 0 || !S_ISREG(st_.st_mode) || quint64(st_.st_dev) != dev ||
            quint64(st_.st_ino) != ino) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~NamedFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    NamedFile(const NamedFile&) = delete;
    NamedFile& operator=(const NamedFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const struct stat& st() const { return st_; }
    QByteArray read(qint64 at, qint64 n) const {
        if (at < 0 || n < 0)
            return {};
        QByteArray buf(n, Qt::Uninitialized);
        qint64 done = 0;
        while (done < n) {
            const ssize_t r = ::pread(fd_, buf.data() + done, size_t(n - done), off_t(at + done));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            done += r;
        }
        buf.truncate(done);
        return buf;
    }
    bool write(const QByteArray& bytes, qint64 at) const {
        try {
            WriteAllAt(fd_, bytes.constData(), bytes.size(), at);
            return true;
        } catch (const CommandError&) {
            return false;
        }
    }
    void refresh() { ::fstat(fd_, &st_); }

private:
    int fd_ = -1;
    struct stat st_ {};
};

// Every byte is the one of `a` or of `b` at its place: what a write of b over a, cut anywhere,
// leaves.
bool mixOf(const QByteArray& bytes, const QByteArray& a, const QByteArray& b) {
    if (bytes.size() != a.size() || bytes.size() != b.size())
        return false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != a[i] && bytes[i] != b[i])
            return false;
    }
    return true;
}

Record doneRecord(quint32 id, const struct stat& st, const QByteArray& last128) {
    Record d;
    d.kind = Kind::Done;
    d.id = id;
    d.dev = quint64(st.st_dev);
    d.ino = quint64(st.st_ino);
    d.size = st.st_size;
    d.mtime = mtimeNs(st);
    d.newBytes = last128;
    return d;
}

QByteArray lastBytes(const NamedFile& file) {
    const qint64 size = file.st().st_size;
    return file.read(std::max<qint64>(0, size - kTrailerBytes), std::min<qint64>(size, kTrailerBytes));
}

// Finishes a copy of a synced temporary back over its target that a kill cut short.
void finishCopyBack(HeldJournal& journal, const Record& c) {
    const int temp = ::open(c.path2.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (temp < 0) {
        // Removed only after the copy was complete and synced.
        if (errno == ENOENT)
            journal.write([&] {
                Record r;
                r.kind = Kind::CopyDone;
                r.path2 = c.path2;
                return r;
            }());
        return;
    }
    struct stat tst {};
    NamedFile target(c.path, c.dev, c.ino);
    if (::flock(temp, LOCK_EX | LOCK_NB) == 0 && ::fstat(temp, &tst) == 0 && tst.st_size == c.size &&
        target.isOpen()) {
        try {
            CopyRange(temp, 0, target.fd(), 0, c.size);
            if (::ftruncate(target.fd(), off_t(c.size)) == 0 && ::fsync(target.fd()) == 0) {
                ::unlink(c.path2.constData());
                Record r;
                r.kind = Kind::CopyDone;
                r.path2 = c.path2;
                journal.write(r);
            }
        } catch (const CommandError&) {
        }
    }
    ::close(temp);
}

// Confirms or settles one change that has neither: brings a torn trailer to its new bytes.
void recoverChange(HeldJournal& journal, const Record& c) {
    bool done = false;
    struct stat after {};
    QByteArray last128;
    if (c.kind == Kind::Rename) {
        struct stat st {
        }, old{};
        if (::lstat(c.path2.constData(), &st) == 0 && quint64(st.st_ino) == c.ino &&
            quint64(st.st_dev) == c.dev && ::lstat(c.path.constData(), &old) != 0) {
            done = true;
            after = st;
        }
    } else {
        NamedFile file(c.path, c.dev, c.ino);
        if (c.kind == Kind::Removal && !file.isOpen()) {
            // A rewrite renamed over the file gives it a new inode.
            struct stat st {};
            if (::stat(c.path.constData(), &st) == 0 && st.st_size == c.size) {
                NamedFile renamed(c.path, st.st_dev, st.st_ino);
                if (renamed.isOpen()) {
                    done = true;
                    after = renamed.st();
                    last128 = lastBytes(renamed);
                }
            }
        } else if (file.isOpen()) {
            const qint64 size = file.st().st_size;
            if (c.kind == Kind::Removal) {
                done = size == c.size;
            } else if (c.oldBytes.isEmpty()) { // an append
                const qint64 written = size - c.oldSize;
                if (written > 0 && written <= kTrailerBytes &&
                    file.read(c.oldSize, written) == c.newBytes.left(written)) {
                    done = written == kTrailerBytes || file.write(c.newBytes, c.oldSize);
                }
            } else if (size == c.oldSize) {
                const QByteArray now = file.read(c.offset, kTrailerBytes);
                if (now == c.newBytes)
                    done = true;
                else if (now != c.oldBytes && mixOf(now, c.oldBytes, c.newBytes))
                    done = file.write(c.newBytes, c.offset);
            }
            if (done) {
                ::fsync(file.fd());
                file.refresh();
                after = file.st();
                last128 = lastBytes(file);
            }
        }
    }
    if (done)
        journal.write(doneRecord(c.id, after, last128));
    else
        journal.writeMark(Kind::Settled, c.id);
}

// An undo that a kill cut short goes back to the old bytes entirely: a trailer written back, or
// removed trailing bytes appended again.
void recoverUndoStep(const Change& ch) {
    const Record& c = ch.change;
    if (!ch.done)
        return;
    if (c.kind == Kind::Removal && c.oldBytes.isEmpty()) {
        NamedFile file(c.path, ch.done->dev, ch.done->ino);
        const qint64 size = file.isOpen() ? file.st().st_size : -1;
        const qint64 put = size - ch.done->size;
        if (put > 0 && size < c.oldSize && file.read(ch.done->size, put) == c.newBytes.left(put) &&
            file.write(c.newBytes, ch.done->size))
            ::fsync(file.fd());
        return;
    }
    if (c.kind != Kind::Trailer)
        return;
    NamedFile file(c.path, ch.done->dev, ch.done->ino);
    if (!file.isOpen())
        return;
    const qint64 size = file.st().st_size;
    if (c.oldBytes.isEmpty()) {
        if (size > c.oldSize && size <= c.oldSize + kTrailerBytes &&
            file.read(c.oldSize, size - c.oldSize) == c.newBytes.left(size - c.oldSize))
            ::ftruncate(file.fd(), off_t(c.oldSize));
    } else if (size == c.oldSize) {
        const QByteArray now = file.read(c.offset, kTrailerBytes);
        if (now != c.oldBytes && mixOf(now, c.oldBytes, c.newBytes))
            file.write(c.oldBytes, c.offset);
    }
    ::fsync(file.fd());
}

std::set<QByteArray> foldersOf(const Loaded& l) {
    std::set<QByteArray> folders;
    for (const auto& [id, ch] : l.changes) {
        folders.insert(folderOf(ch.change.path));
        if (ch.change.kind == Kind::Rename)
            folders.insert(folderOf(ch.change.path2));
    }
    return folders;
}

void recoverHeld(HeldJournal& journal) {
    Loaded& l = journal.loaded();
    for (const Record& c : l.copyBacks)
        finishCopyBack(journal, c);
    for (const auto& [id, ch] : l.changes) {
        if (!ch.done && !ch.settled)
            recoverChange(journal, ch.change);
        else if (ch.undoStarted && !ch.undone)
            recoverUndoStep(ch);
    }
}

// Temporaries in `dir` that no one holds; unlinked once held and checked to be the named file.
void sweep(const QByteArray& dir) {
    const int dfd = openDirectory(dir);
    if (dfd < 0)
        return;
    DIR* d = ::fdopendir(dfd);
    if (d == nullptr) {
        ::close(dfd);
        return;
    }
    while (const dirent* e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (!IsTemporaryName(name))
            continue;
        const int fd = ::openat(dfd, e->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
        if (fd < 0)
            continue;
        struct stat held {
        }, named{};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
            ::fstatat(dfd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev)
            ::unlinkat(dfd, e->d_name, 0);
        ::close(fd);
    }
    ::closedir(d);
}

bool hasStaleCandidates(const QByteArray& dir) {
    DIR* d = ::opendir(dir.constData());
    if (d == nullptr)
        return false;
    bool found = false;
    while (const dirent* e = ::readdir(d)) {
        if (IsTemporaryName(QByteArray(e->d_name))) {
            found = true;
            break;
        }
    }
    ::closedir(d);
    return found;
}

// Journals a command never got to rename into place.
void sweepJournalTemporaries() {
    const QByteArray folder = stateFolder();
    DIR* d = folder.isEmpty() ? nullptr : ::opendir(folder.constData());
    if (d == nullptr)
        return;
    while (const dirent* e = ::readdir(d)) {
        if (!QByteArray(e->d_name).startsWith("journal.new-"))
            continue;
        const QByteArray path = folder + '/' + e->d_name;
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        if (fd >= 0)
            ::close(fd);
    }
    ::closedir(d);
}

// ---------------------------------------------------------------------------------------------
// Undo of one change. True when the change is taken back (or was already).

bool sameState(const NamedFile& file, const Record& done) {
    return file.st().st_size == done.size && mtimeNs(file.st()) == done.mtime &&
           lastBytes(file) == done.newBytes;
}

bool undoTrailer(const Change& ch) {
    const Record& c = ch.change;
    NamedFile file(c.path, ch.done->dev, ch.done->ino);
    if (!file.isOpen())
        return false;
    const bool appended = c.oldBytes.isEmpty();
    const qint64 size = file.st().st_size;
    if (size == c.oldSize && (appended || file.read(c.offset, kTrailerBytes) == c.oldBytes))
        return true; // an undo cut short got here already
    if (!sameState(file, *ch.done))
        return false;
    const bool ok =
        appended ? ::ftruncate(file.fd(), off_t(c.oldSize)) == 0 : file.write(c.oldBytes, c.offset);
    if (ok && mode_t(c.oldMode & 07777) != (file.st().st_mode & 07777))
        ::fchmod(file.fd(), mode_t(c.oldMode & 07777)); // the write gave the owner-write bit
    if (ok)
        journal::Touched(file.st().st_dev, file.fd());
    return ok;
}

bool undoRemoval(const Change& ch) {
    const Record& c = ch.change;
    const Record& done = *ch.done;
    const QByteArray& head = c.oldBytes;
    const QByteArray& tail = c.newBytes;
    struct stat st {};
    if (::stat(c.path.constData(), &st) != 0)
        return false;
    NamedFile file(c.path, st.st_dev, st.st_ino);
    if (!file.isOpen())
        return false;
    const qint64 size = file.st().st_size;
    const bool isDone =
        quint64(st.st_dev) == done.dev && quint64(st.st_ino) == done.ino && sameState(file, done);
    if (!isDone) {
        // An undo cut short may have put the tags back already.
        return size == c.oldSize && file.read(0, head.size()) == head &&
               file.read(size - tail.size(), tail.size()) == tail;
    }
    if (head.isEmpty()) { // only trailing bytes went: they go back on the end
        if (!file.write(tail, size)) {
            ::ftruncate(file.fd(), off_t(size));
            return false;
        }
        journal::Touched(file.st().st_dev, file.fd());
        return true;
    }
    try {
        PosixFile original;
        struct stat ost {};
        // Opened again: it must still be the file checked above, as it was then.
        if (!original.openRegular(DecodeFileName(c.path), O_RDWR, ost) || ost.st_ino != st.st_ino ||
            ost.st_size != size || mtimeNs(ost) != done.mtime)
            return false;
        const int in = original.fd();
        return RewriteFile(DecodeFileName(c.path), std::move(original), ost, c.id, RewriteMode::Auto,
                           [&](int out) {
                               auto put = [&](const QByteArray& bytes, qint64 at) {
                                   WriteAllAt(out, bytes.constData(), bytes.size(), at);
                               };
                               put(head, 0);
                               CopyRange(in, 0, out, head.size(), size);
                               put(tail, head.size() + size);
                               return int64_t(head.size() + size + tail.size());
                           });
    } catch (const CommandError&) {
        return false;
    }
}

bool undoRename(const Change& ch) {
    const Record& c = ch.change;
    struct stat st {};
    if (::lstat(c.path2.constData(), &st) != 0 || quint64(st.st_ino) != c.ino ||
        quint64(st.st_dev) != c.dev) {
        struct stat old {};
        return ::lstat(c.path.constData(), &old) == 0 && quint64(old.st_ino) == c.ino &&
               quint64(old.st_dev) == c.dev;
    }
    // A file written since the rename keeps its name: it is no longer what the command left. A
    // folder's own size and time follow what is put into it, so only its identity counts.
    if (S_ISREG(st.st_mode) && ch.done && (st.st_size != ch.done->size || mtimeNs(st) != ch.done->mtime))
        return false;
    if (!RenameFile(DecodeFileName(c.path2), DecodeFileName(c.path)))
        return false;
    journal::TouchedFolder(st.st_dev, folderOf(c.path));
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------

namespace {

void beginScope(const QString& name) {
    Session& s = session();
    if (s.depth++ == 0) {
        s.name = name;
        s.failed = false;
    } else if (s.name.isEmpty()) {
        s.name = name;
    }
}

// A command's end makes what it changed durable; the outermost scope also ends the journal.
void endScope(bool command) {
    Session& s = session();
    if (s.depth == 1) {
        flushPending(s);
        trimJournal(s);
    }
    if (command || s.depth == 1)
        syncTouched(s);
    if (s.depth == 1 && s.fd >= 0 && !s.failed && !s.undoing)
        writeAllTo(s.fd, endRecordBytes()); // after the sync: only a command that ended whole has it
    if (--s.depth > 0)
        return;
    if (s.fd >= 0)
        ::close(s.fd); // releases the lock: recovery and undo may read it now
    s.fd = -1;
    s.failed = false;
    s.cwd.clear();
    s.name.clear();
}

} // namespace

JournalCommand::JournalCommand(const QString& name) {
    beginScope(name);
}

JournalCommand::~JournalCommand() {
    endScope(true);
}

journal::ChangeScope::ChangeScope() {
    beginScope({});
}

journal::ChangeScope::~ChangeScope() {
    endScope(false);
}

QString JournalDirectory() {
    const QByteArray folder = stateFolder();
    if (folder.isEmpty() || !makeFolders(folder))
        return {};
    return DecodeFileName(folder);
}

void RecoverJournal() {
    if (journalEndsWhole()) {
        sweepJournalTemporaries();
        return; // the last command ended whole: nothing of it to complete or sweep
    }
    {
        HeldJournal journal;
        if (journal.isOpen()) {
            recoverHeld(journal);
            // What recovery settled is the command's end: the next start need not read it again.
            ::lseek(journal.fd(), 0, SEEK_END);
            writeAllTo(journal.fd(), endRecordBytes());
            ::fsync(journal.fd());
            for (const QByteArray& folder : foldersOf(journal.loaded()))
                sweep(folder);
        }
    }
    sweepJournalTemporaries();
}

void RemoveStaleTemporaries(const QString& dir) {
    const QByteArray folder = EncodeFileName(dir);
    if (!hasStaleCandidates(folder))
        return;
    {
        // A temporary may be what finishes a copy cut short: recovery goes first.
        HeldJournal journal;
        if (journal.isOpen())
            recoverHeld(journal);
    }
    sweep(folder);
}

bool CanUndo() {
    // A command's journal is begun by its first change and deleted by an undo, so one that ended
    // whole always holds something to undo.
    if (journalEndsWhole())
        return true;
    HeldJournal journal;
    if (!journal.isOpen())
        return false;
    for (const auto& [id, ch] : journal.loaded().changes) {
        if (ch.done && !ch.undone)
            return true;
    }
    return false;
}

QString UndoCommandName() {
    HeldJournal journal;
    return journal.isOpen() ? journal.loaded().name : QString();
}

UndoReport UndoLastCommand() {
    UndoReport report;
    Session& s = session();
    if (s.depth > 0)
        return report; // not inside a running command
    HeldJournal journal;
    if (!journal.isOpen())
        return report;
    recoverHeld(journal);
    // Reload: recovery may have confirmed changes.
    ::lseek(journal.fd(), 0, SEEK_SET);
    Loaded l = load(decode(readAll(journal.fd())));
    s.used = -1; // the undo's records are appended with write(2)

    JournalCommand scope;
    s.undoing = true;
    s.fd = journal.fd(); // copies back during the undo are journaled here
    // Counted by file: a file that was tagged and renamed is one file however many changes it had.
    std::map<std::pair<quint64, quint64>, bool> files;
    for (auto it = l.changes.rbegin(); it != l.changes.rend(); ++it) {
        const Change& ch = it->second;
        if (!ch.done || ch.undone)
            continue;
        journal.writeMark(Kind::UndoStep, ch.change.id);
        bool ok = false;
        switch (ch.change.kind) {
        case Kind::Trailer:
            ok = undoTrailer(ch);
            break;
        case Kind::Removal:
            ok = undoRemoval(ch);
            break;
        case Kind::Rename:
            ok = undoRename(ch);
            break;
        default:
            break;
        }
        journal.writeMark(Kind::UndoDone, ch.change.id, ok);
        const auto key = std::make_pair(ch.change.dev, ch.change.ino);
        const auto found = files.find(key);
        files[key] = (found == files.end() || found->second) && ok;
    }
    for (const auto& [key, ok] : files)
        ++(ok ? report.restored : report.notRestored);
    syncTouched(s);
    s.fd = -1;
    s.undoing = false;
    // Undo of an undo is not offered: the journal goes.
    const QByteArray path = journalPath();
    ::unlink(path.constData());
    return report;
}

// ---------------------------------------------------------------------------------------------

namespace journal {

QByteArray AbsolutePath(const QByteArray& path) {
    if (path.startsWith('/'))
        return path;
    Session& s = session();
    QByteArray cwd = s.depth > 0 ? s.cwd : QByteArray();
    if (cwd.isEmpty()) {
        QByteArray buffer(4096, Qt::Uninitialized);
        while (::getcwd(buffer.data(), size_t(buffer.size())) == nullptr && errno == ERANGE)
            buffer.resize(buffer.size() * 2);
        cwd = QByteArray(buffer.constData());
        if (s.depth > 0)
            s.cwd = cwd;
    }
    return cwd.endsWith('/') ? cwd + path : cwd + '/' + path;
}

uint32_t AnnounceTrailer(const struct stat& st, const QByteArray& path, int64_t offset,
                         const QByteArray& oldBytes, const QByteArray& newBytes) {
    if (session().undoing)
        return 0;
    Record r;
    r.kind = Kind::Trailer;
    r.dev = st.st_dev;
    r.ino = st.st_ino;
    r.path = AbsolutePath(path);
    r.offset = offset;
    r.oldSize = st.st_size;
    r.oldMode = st.st_mode;
    r.mtime = mtimeNs(st);
    r.oldBytes = oldBytes;
    r.newBytes = newBytes;
    return announce(r);
}

uint32_t AnnounceRemoval(const struct stat& st, const QByteArray& path, const QByteArray& head,
                         const QByteArray& tail) {
    if (session().undoing)
        return 0;
    Record r;
    r.kind = Kind::Removal;
    r.dev = st.st_dev;
    r.ino = st.st_ino;
    r.path = AbsolutePath(path);
    r.oldSize = st.st_size;
    r.oldMode = st.st_mode;
    r.mtime = mtimeNs(st);
    r.oldBytes = head;
    r.newBytes = tail;
    r.size = st.st_size - head.size() - tail.size();
    return announce(r);
}

uint32_t AnnounceRename(const struct stat& st, const QByteArray& oldPath, const QByteArray& newPath) {
    if (session().undoing)
        return 0;
    Record r;
    r.kind = Kind::Rename;
    r.dev = st.st_dev;
    r.ino = st.st_ino;
    r.path = AbsolutePath(oldPath);
    r.path2 = AbsolutePath(newPath);
    return announce(r);
}

bool AnnounceCopyBack(uint32_t id, const QByteArray& tempPath, const struct stat& target,
                      const QByteArray& targetPath, int64_t size) {
    Session& s = session();
    if (!s.undoing)
        ensureJournal(s);
    if (s.fd < 0)
        return false;
    Record r;
    r.kind = Kind::CopyBack;
    r.id = id;
    r.dev = target.st_dev;
    r.ino = target.st_ino;
    r.path = AbsolutePath(targetPath);
    r.path2 = AbsolutePath(tempPath);
    r.size = size;
    return append(s, encode(r)) && ::fdatasync(s.fd) == 0;
}

void CopyBackDone(const QByteArray& tempPath) {
    Session& s = session();
    if (s.fd < 0)
        return;
    Record r;
    r.kind = Kind::CopyDone;
    r.path2 = AbsolutePath(tempPath);
    s.pending += encode(r);
}

void Done(uint32_t id, int fd, const char* last128) {
    Session& s = session();
    if (id == 0 || s.fd < 0 || s.undoing)
        return;
    struct stat st {};
    if (::fstat(fd, &st) != 0)
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
    s.pending += encode(doneRecord(id, st, tail));
}

void NotMade(uint32_t id) {
    Session& s = session();
    if (id == 0 || s.fd < 0 || s.undoing)
        return;
    Record r;
    r.kind = Kind::Settled;
    r.id = id;
    s.pending += encode(r);
}

void RenameDone(uint32_t id, const struct stat& st) {
    Session& s = session();
    if (id == 0 || s.fd < 0 || s.undoing)
        return;
    s.pending += encode(doneRecord(id, st, {}));
}

void Touched(dev_t dev, int fd) {
    Session& s = session();
    if (s.syncFds.count(dev))
        return;
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy >= 0)
        s.syncFds[dev] = copy;
}

void TouchedFolder(dev_t dev, const QByteArray& dir) {
    Session& s = session();
    if (s.syncFds.count(dev))
        return;
    const int fd = openDirectory(AbsolutePath(dir));
    if (fd >= 0)
        s.syncFds[dev] = fd;
    else
        ::sync(); // cannot reach the folder again: sync everything rather than nothing
}

uint64_t SyncCount() {
    return syncCount;
}

namespace {
int64_t killBudget = -1;
}

void KillAfterBytes(int64_t bytes) {
    killBudget = bytes;
}

bool KillArmed() {
    return killBudget >= 0;
}

int64_t WritableBytes(int64_t wanted) {
    if (killBudget < 0)
        return wanted;
    if (killBudget == 0)
        ::raise(SIGKILL);
    const int64_t n = std::min(wanted, killBudget);
    killBudget -= n;
    return n;
}

} // namespace journal
