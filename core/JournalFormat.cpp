#include "core/JournalFormat.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace journal {

namespace {

constexpr qint64 kFrame = 12;            // u32 payload length, u64 hash
constexpr qint64 kReadChunk = 64 * 1024; // records are read in chunks of at least this much
constexpr quint32 kNull = 0xFFFFFFFFu;   // a null string or array, told apart from an empty one

// The earlier format's check: FNV-1a, a byte at a time.
quint64 fnv1a(const char* p, qint64 n) {
    quint64 h = 14695981039346656037ull;
    for (qint64 i = 0; i < n; ++i) {
        h ^= quint8(p[i]);
        h *= 1099511628211ull;
    }
    return h;
}

// This format's check: the same, eight bytes at a time, each step mixed down. It is computed over
// every record written before each trailer, so a byte at a time would cost more than the write.
// It only has to see a record cut short or overwritten, not withstand an adversary.
quint64 wordHash(const char* p, qint64 n) {
    quint64 h = 14695981039346656037ull ^ quint64(n);
    qint64 i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * 1099511628211ull;
        h ^= h >> 32;
    }
    for (; i < n; ++i)
        h = (h ^ quint8(p[i])) * 1099511628211ull;
    return h;
}

quint64 checkOf(const char* p, qint64 n, int version) {
    return version == 1 ? fnv1a(p, n) : wordHash(p, n);
}

// Writes a record's fields big-endian, by hand, into a buffer sized once: a record is written
// before every trailer, and a stream over a buffer costs several times the write it announces.
class Encoder {
public:
    explicit Encoder(char* at) : at_(at) {}
    static qint64 size(const QByteArray& b) { return 4 + b.size(); }
    static qint64 size(const QString& s) { return 4 + (s.isNull() ? 0 : s.size() * 2); }
    static constexpr qint64 kIdentity = 4 * 8;
    char* end() const { return at_; }
    void u8(quint8 v) { *at_++ = char(v); }
    void u16(quint16 v) {
        at_[0] = char(v >> 8);
        at_[1] = char(v);
        at_ += 2;
    }
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
    void bytes(const QByteArray& b) {
        if (b.isNull()) {
            u32(kNull);
            return;
        }
        u32(quint32(b.size()));
        std::memcpy(at_, b.constData(), size_t(b.size()));
        at_ += b.size();
    }
    void string(const QString& s) {
        if (s.isNull()) {
            u32(kNull);
            return;
        }
        u32(quint32(s.size() * 2));
        for (const QChar c : s) {
            u8(quint8(c.unicode() >> 8));
            u8(quint8(c.unicode()));
        }
    }
    void identity(const FileIdentity& id) {
        u64(id.dev);
        u64(id.ino);
        u64(quint64(id.birthNs));
        u64(id.generation);
    }
    void field(const QString& s) { string(s); }
    void field(const QByteArray& b) { bytes(b); }
    void field(const FileIdentity& id) { identity(id); }
    void field(qint64 v) { u64(quint64(v)); }
    void field(quint32 v) { u32(v); }

private:
    char* at_;
};

class Decoder {
public:
    Decoder(const char* at, qint64 n) : at_(at), end_(at + n) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return at_ == end_; }
    quint8 u8() { return have(1) ? quint8(*at_++) : 0; }
    quint16 u16() {
        if (!have(2))
            return 0;
        const auto* p = reinterpret_cast<const quint8*>(at_);
        at_ += 2;
        return quint16(p[0] << 8 | p[1]);
    }
    quint32 u32() {
        if (!have(4))
            return 0;
        const auto* p = reinterpret_cast<const quint8*>(at_);
        at_ += 4;
        return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
    }
    quint64 u64() {
        const quint64 high = u32();
        return high << 32 | u32();
    }
    QByteArray bytes() {
        const quint32 n = u32();
        if (n == kNull || !have(n))
            return {};
        QByteArray b(at_, qsizetype(n));
        at_ += n;
        return b;
    }
    QString string() {
        const quint32 n = u32();
        if (n == kNull || n % 2 != 0 || !have(n))
            return {};
        QString s(qsizetype(n / 2), Qt::Uninitialized);
        for (quint32 i = 0; i < n / 2; ++i)
            s[qsizetype(i)] = QChar(char16_t(quint8(at_[2 * i]) << 8 | quint8(at_[2 * i + 1])));
        at_ += n;
        return s;
    }
    FileIdentity identity() {
        FileIdentity id;
        id.dev = u64();
        id.ino = u64();
        id.birthNs = qint64(u64());
        id.generation = u64();
        return id;
    }
    void field(QString& s) { s = string(); }
    void field(QByteArray& b) { b = bytes(); }
    void field(FileIdentity& id) { id = identity(); }
    void field(qint64& v) { v = qint64(u64()); }
    void field(quint32& v) { v = u32(); }

private:
    bool have(qint64 n) {
        ok_ = ok_ && end_ - at_ >= n;
        return ok_;
    }
    const char* at_;
    const char* end_;
    bool ok_ = true;
};

// Format 3 writes a mask of the fields a record uses, then those fields alone, in this order: a
// rename's confirmation, say, is its id, the file, its size and its time. A field left out reads
// as empty: a null text or array, zero, false.
enum Field : quint16 {
    kName = 1 << 0,
    kFile = 1 << 1,
    kPath = 1 << 2,
    kPath2 = 1 << 3,
    kOffset = 1 << 4,
    kOldSize = 1 << 5,
    kSize = 1 << 6,
    kMtime = 1 << 7,
    kOldMode = 1 << 8,
    kOldBytes = 1 << 9,
    kNewBytes = 1 << 10,
    kFlag = 1 << 11,
    kOther = 1 << 12,
    kAllFields = (1 << 13) - 1,
};

bool isSet(const FileIdentity& id) {
    return id.dev != 0 || id.ino != 0 || id.birthNs != 0 || id.generation != 0;
}

quint16 fieldsOf(const Record& r) {
    const std::pair<bool, Field> used[] = {{!r.name.isNull(), kName},
                                           {isSet(r.file), kFile},
                                           {!r.path.isNull(), kPath},
                                           {!r.path2.isNull(), kPath2},
                                           {r.offset != 0, kOffset},
                                           {r.oldSize != 0, kOldSize},
                                           {r.size != 0, kSize},
                                           {r.mtime != 0, kMtime},
                                           {r.oldMode != 0, kOldMode},
                                           {!r.oldBytes.isNull(), kOldBytes},
                                           {!r.newBytes.isNull(), kNewBytes},
                                           {r.flag, kFlag},
                                           {isSet(r.other), kOther}};
    quint16 fields = 0;
    for (const auto& [is, field] : used) {
        if (is)
            fields |= field;
    }
    return fields;
}

// The fields format 3 writes where a record uses them, in this order; `io` writes, reads or
// measures each (an Encoder, a Decoder, a Measure). One list, so the three cannot disagree.
template <typename Io, typename R> void eachField(Io& io, R& r, quint16 f) {
    if (f & kName)
        io.field(r.name);
    if (f & kFile)
        io.field(r.file);
    if (f & kPath)
        io.field(r.path);
    if (f & kPath2)
        io.field(r.path2);
    if (f & kOffset)
        io.field(r.offset);
    if (f & kOldSize)
        io.field(r.oldSize);
    if (f & kSize)
        io.field(r.size);
    if (f & kMtime)
        io.field(r.mtime);
    if (f & kOldMode)
        io.field(r.oldMode);
    if (f & kOldBytes)
        io.field(r.oldBytes);
    if (f & kNewBytes)
        io.field(r.newBytes);
    if (f & kOther)
        io.field(r.other);
}

struct Measure {
    qint64 n = 0;
    void field(const QString& s) { n += Encoder::size(s); }
    void field(const QByteArray& b) { n += Encoder::size(b); }
    void field(const FileIdentity&) { n += Encoder::kIdentity; }
    void field(qint64) { n += 8; }
    void field(quint32) { n += 4; }
};

qint64 payloadSize(const Record& r, int version) {
    if (version >= 3) {
        Measure measure;
        eachField(measure, r, fieldsOf(r));
        return 1 + 4 + 2 + measure.n;
    }
    const qint64 length = 1 + 4 + Encoder::size(r.name) + Encoder::size(r.path) + Encoder::size(r.path2) +
                          4 * 8 + 4 + Encoder::size(r.oldBytes) + Encoder::size(r.newBytes) + 1;
    // The temporary's identity only where there is one: most records are written per file.
    const bool other = version != 1 && r.kind == Kind::CopyBack;
    return length + (version == 1 ? 2 * 8 : other ? 2 * Encoder::kIdentity : Encoder::kIdentity);
}

void encodeFields(Encoder& out, const Record& r) {
    const quint16 f = fieldsOf(r);
    out.u16(f);
    eachField(out, r, f);
}

// False for a mask naming a field this format does not have.
bool decodeFields(Decoder& in, Record& r) {
    const quint16 f = in.u16();
    eachField(in, r, f);
    r.flag = (f & kFlag) != 0;
    return (f & ~kAllFields) == 0;
}

// The framed record at `framed`, which has room for kFrame + payloadSize(r, version) bytes.
void encodeInto(char* framed, const Record& r, int version) {
    const qint64 length = payloadSize(r, version);
    const bool other = version != 1 && r.kind == Kind::CopyBack;
    char* payload = framed + kFrame;
    Encoder out(payload);
    out.u8(quint8(r.kind));
    out.u32(r.id);
    if (version >= 3) {
        encodeFields(out, r);
    } else {
        out.string(r.name);
        if (version == 1) {
            out.u64(r.file.dev);
            out.u64(r.file.ino);
        } else {
            out.identity(r.file);
        }
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
        if (other)
            out.identity(r.other);
    }
    Q_ASSERT(out.end() == payload + length);
    Encoder frame(framed);
    frame.u32(quint32(length));
    frame.u64(checkOf(payload, length, version));
}

QByteArray encode(const Record& r, int version) {
    QByteArray framed(kFrame + payloadSize(r, version), Qt::Uninitialized);
    encodeInto(framed.data(), r, version);
    return framed;
}

QByteArray endRecord(int version) {
    Record r;
    r.kind = Kind::End;
    return encode(r, version);
}

} // namespace

qint64 MtimeNs(const struct stat& st) {
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

Record DoneRecord(quint32 id, const FileIdentity& file, const struct stat& st, const QByteArray& last128) {
    Record d;
    d.kind = Kind::Done;
    d.id = id;
    d.file = file;
    d.size = st.st_size;
    d.mtime = MtimeNs(st);
    d.newBytes = last128;
    return d;
}

QByteArray Encode(const Record& r, int version) {
    return encode(r, version);
}

qint64 EncodedSize(const Record& r, int version) {
    return kFrame + payloadSize(r, version);
}

void EncodeInto(char* at, const Record& r, int version) {
    encodeInto(at, r, version);
}

void EncodeAppend(QByteArray& out, const Record& r, int version) {
    const qsizetype at = out.size();
    out.resize(at + EncodedSize(r, version));
    encodeInto(out.data() + at, r, version);
}

const QByteArray& EndRecordBytes(int version) {
    static const QByteArray v1 = endRecord(1), v2 = endRecord(2), v3 = endRecord(3);
    return version == 1 ? v1 : version == 2 ? v2 : v3;
}

bool EndsWhole(int fd, int version) {
    const QByteArray& end = EndRecordBytes(version);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < kMagicSize + end.size())
        return false;
    QByteArray tail(end.size(), Qt::Uninitialized);
    return ::pread(fd, tail.data(), size_t(tail.size()), off_t(st.st_size - end.size())) == tail.size() &&
           tail == end;
}

QByteArray PathIn(const QByteArray& folder, const QByteArray& name) {
    QByteArray whole;
    whole.reserve(folder.size() + 1 + name.size());
    whole.append(folder);
    if (!folder.endsWith('/'))
        whole.append('/');
    return whole.append(name);
}

namespace {

const char* magicBytes(int version) {
    return version == 1 ? kMagicV1 : version == 2 ? kMagicV2 : kMagic;
}

int versionOfMagic(const char* magic) {
    for (int version = kVersion; version >= 1; --version) {
        if (std::memcmp(magic, magicBytes(version), size_t(kMagicSize)) == 0)
            return version;
    }
    return 0;
}

} // namespace

QByteArray MagicOf(int version) {
    return QByteArray(magicBytes(version), kMagicSize);
}

int VersionOf(int fd) {
    char magic[kMagicSize];
    return ::pread(fd, magic, sizeof magic, 0) == kMagicSize ? versionOfMagic(magic) : 0;
}

Reader::Reader(int fd) : fd_(fd) {
    const char* magic = bytesAt(0, kMagicSize);
    if (magic == nullptr)
        return;
    version_ = versionOfMagic(magic);
    pos_ = version_ != 0 ? kMagicSize : 0;
}

const char* Reader::bytesAt(qint64 at, qint64 n) {
    if (at >= bufferAt_ && at + n <= bufferAt_ + bufferSize_)
        return buffer_.constData() + (at - bufferAt_);
    const qint64 want = std::max(n, kReadChunk);
    if (buffer_.size() < want)
        buffer_.resize(qsizetype(want));
    bufferAt_ = at;
    bufferSize_ = 0;
    while (bufferSize_ < want) {
        const ssize_t got =
            ::pread(fd_, buffer_.data() + bufferSize_, size_t(want - bufferSize_), off_t(at + bufferSize_));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        bufferSize_ += got;
    }
    return bufferSize_ >= n ? buffer_.constData() : nullptr;
}

bool Reader::decodeAt(qint64 at, Record& r, qint64& next) {
    if (version_ == 0)
        return false;
    const char* frame = bytesAt(at, kFrame);
    if (frame == nullptr)
        return false;
    Decoder head(frame, kFrame);
    const quint32 length = head.u32();
    const quint64 hash = head.u64();
    const char* payload = bytesAt(at + kFrame, length);
    if (payload == nullptr || checkOf(payload, length, version_) != hash)
        return false;
    Decoder in(payload, length);
    r = Record{};
    r.kind = Kind(in.u8());
    r.id = in.u32();
    bool known = true;
    if (version_ >= 3) {
        known = decodeFields(in, r);
    } else {
        r.name = in.string();
        if (version_ == 1) {
            r.file.dev = in.u64();
            r.file.ino = in.u64();
        } else {
            r.file = in.identity();
        }
        r.path = in.bytes();
        r.path2 = in.bytes();
        r.offset = qint64(in.u64());
        r.oldSize = qint64(in.u64());
        r.size = qint64(in.u64());
        r.mtime = qint64(in.u64());
        r.oldMode = in.u32();
        r.oldBytes = in.bytes();
        r.newBytes = in.bytes();
        r.flag = in.u8() != 0;
        if (version_ != 1 && r.kind == Kind::CopyBack)
            r.other = in.identity();
    }
    const Kind last = version_ >= 3 ? Kind::Folder : Kind::Head;
    if (!known || !in.ok() || !in.atEnd() || r.kind < Kind::Begin || r.kind > last || !wholePaths(at, r))
        return false;
    next = at + kFrame + length;
    return true;
}

// A path given as a bare name lies in the folder of the last Folder record before it; one that
// has none is damaged.
bool Reader::wholePaths(qint64 at, Record& r) const {
    if (r.kind == Kind::Folder)
        return r.path.startsWith('/');
    if (version_ < 3)
        return true;
    const auto after =
        std::lower_bound(folders_.begin(), folders_.end(), at,
                         [](const auto& folder, qint64 offset) { return folder.first < offset; });
    for (QByteArray* path : {&r.path, &r.path2}) {
        if (path->isNull() || path->startsWith('/'))
            continue;
        if (after == folders_.begin())
            return false;
        *path = PathIn(std::prev(after)->second, *path);
    }
    return true;
}

bool Reader::next(Record& r, qint64* offset) {
    for (;;) {
        qint64 after = 0;
        if (!decodeAt(pos_, r, after))
            return false;
        const qint64 at = std::exchange(pos_, after);
        if (r.kind == Kind::Folder) {
            if (folders_.empty() || folders_.back().first < at)
                folders_.emplace_back(at, r.path);
            continue;
        }
        if (offset != nullptr)
            *offset = at;
        return true;
    }
}

bool Reader::readAt(qint64 offset, Record& r) {
    qint64 after = 0;
    return decodeAt(offset, r, after) && r.kind != Kind::Folder;
}

} // namespace journal
