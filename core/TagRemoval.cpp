#include "core/TagRemoval.h"

#include "core/FileName.h"
#include "core/FileRewrite.h"
#include "core/Id3Tag.h"
#include "core/Id3v2Header.h"
#include "core/IoError.h"
#include "core/JournalHooks.h"
#include "core/PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int64_t kId3HeaderSize = 10;
constexpr int64_t kId3FooterSize = 10;
constexpr uint8_t kId3FooterFlag = 0x10;
constexpr int64_t kTrailingId3Window = 4096;
constexpr int64_t kLyricsWindow = 1024;
constexpr char kLyricsBegin[] = "LYRICSBEGIN";
constexpr char kLyricsEnd[] = "LYRICS200";
constexpr int64_t kLyricsBeginSize = sizeof kLyricsBegin - 1;
constexpr int64_t kLyricsEndSize = sizeof kLyricsEnd - 1;
constexpr int64_t kLyricsSizeDigits = 6;

bool bytesAt(const QByteArray& buf, int64_t at, const char* text, int64_t n) {
    return at >= 0 && at + n <= buf.size() && std::memcmp(buf.constData() + at, text, size_t(n)) == 0;
}

// The whole size of the ID3v2 tag whose 10-byte header starts at h: header, body and footer.
int64_t id3v2TagSize(const uint8_t* h) {
    const int64_t body = (int64_t(h[6] & 0x7F) << 21) | (int64_t(h[7] & 0x7F) << 14) |
                         (int64_t(h[8] & 0x7F) << 7) | int64_t(h[9] & 0x7F);
    return body + kId3HeaderSize + ((h[5] & kId3FooterFlag) ? kId3FooterSize : 0);
}

// The file's last bytes, read once. Unless a trailing ID3v2 tag moves the end back, every search
// stays within them: the ID3v2 window, that above an ID3v1 trailer included, and the ID3v1
// trailer and the Lyrics3 window below it lie inside. A read outside them (below a trailing ID3v2
// tag, or a Lyrics3 block found through its size field) goes to the file.
constexpr int64_t kTailBytes = kTrailingId3Window + kTagSize;
static_assert(kTailBytes >= kTagSize + kLyricsWindow + kLyricsSizeDigits + kLyricsEndSize);

class TailReader {
public:
    TailReader(const PosixFile& file, int64_t size)
        : file_(file), from_(std::max<int64_t>(0, size - kTailBytes)) {
        tail_.resize(qsizetype(size - from_));
        file.readExactly(tail_.data(), size - from_, from_);
    }
    void readExactly(void* buf, int64_t n, int64_t pos) const {
        if (const char* held = at(pos, n))
            std::memcpy(buf, held, size_t(n));
        else
            file_.readExactly(buf, n, pos);
    }
    // The n bytes at pos when they were read, else nullptr.
    const char* at(int64_t pos, int64_t n) const {
        return pos >= from_ && pos + n <= from_ + tail_.size() ? tail_.constData() + (pos - from_) : nullptr;
    }

private:
    const PosixFile& file_;
    int64_t from_;
    QByteArray tail_;
};

QByteArray readRange(const TailReader& file, int64_t from, int64_t to) {
    QByteArray buf(qsizetype(to - from), Qt::Uninitialized);
    file.readExactly(buf.data(), to - from, from);
    return buf;
}

// Bytes [from, to) of the file: where the tail holds them, in place; else read into `storage`.
const char* bytesOf(const TailReader& file, int64_t from, int64_t to, QByteArray& storage) {
    if (const char* held = file.at(from, to - from))
        return held;
    storage = readRange(file, from, to);
    return storage.constData();
}

// The part of the file that stays: bytes [begin, end).
struct Span {
    int64_t begin = 0;
    int64_t end = 0;
};

// A well-formed ID3v2 tag that ends exactly at the end, its header within the window; the first one
// decides. A header whose tag ends earlier (a song appended to another, a tag block in front of the
// last frames) is audio as far as the end is concerned: nothing is cut for it.
bool cutTrailingId3v2(const TailReader& file, Span& keep) {
    const int64_t from = std::max(keep.begin, keep.end - kTrailingId3Window);
    if (keep.end - from < kId3HeaderSize)
        return false;
    QByteArray storage;
    const auto* bytes = reinterpret_cast<const uint8_t*>(bytesOf(file, from, keep.end, storage));
    // Only where an "I" stands can a header start: the search skips the rest at memchr's pace.
    const uint8_t* const last = bytes + (keep.end - from - kId3HeaderSize);
    for (const uint8_t* h = bytes; h <= last; ++h) {
        h = static_cast<const uint8_t*>(std::memchr(h, 'I', size_t(last - h + 1)));
        if (h == nullptr)
            return false;
        const int64_t p = from + (h - bytes);
        if (!IsWellFormedId3v2Header(h) || p + id3v2TagSize(h) != keep.end)
            continue;
        if (p == keep.begin) // a header at the first byte never cuts
            return false;
        keep.end = p;
        return true;
    }
    return false;
}

bool cutId3v1(const TailReader& file, Span& keep) {
    if (keep.end - keep.begin <= kTagSize) // a trailer at the first byte never goes
        return false;
    char magic[kMagicWidth];
    file.readExactly(magic, kMagicWidth, keep.end - kTagSize);
    if (std::memcmp(magic, kTagMagic, kMagicWidth) != 0)
        return false;
    keep.end -= kTagSize;
    return true;
}

// A Lyrics3 version 2 block ends in six digits (the size of the block from "LYRICSBEGIN" up to
// those digits) and "LYRICS200". Where that size is sound it finds a block of any length;
// otherwise a "LYRICSBEGIN" in the last kilobyte followed by "LYRICS200" marks it.
bool cutLyrics3v2(const TailReader& file, Span& keep) {
    const int64_t trailer = kLyricsSizeDigits + kLyricsEndSize;
    if (keep.end - keep.begin >= trailer + kLyricsBeginSize) {
        const QByteArray tail = readRange(file, keep.end - trailer, keep.end);
        bool digits = bytesAt(tail, kLyricsSizeDigits, kLyricsEnd, kLyricsEndSize);
        int64_t size = 0;
        for (int64_t i = 0; digits && i < kLyricsSizeDigits; ++i) {
            const char c = tail[qsizetype(i)];
            digits = c >= '0' && c <= '9';
            size = size * 10 + (c - '0');
        }
        const int64_t start = keep.end - trailer - size;
        if (digits && start >= keep.begin &&
            bytesAt(readRange(file, start, start + kLyricsBeginSize), 0, kLyricsBegin, kLyricsBeginSize)) {
            if (start == keep.begin)
                return false;
            keep.end = start;
            return true;
        }
    }
    const int64_t from = std::max(keep.begin, keep.end - kLyricsWindow);
    if (keep.end - from < kLyricsBeginSize + kLyricsEndSize)
        return false;
    const QByteArray buf = readRange(file, from, keep.end);
    const qsizetype begin = buf.indexOf(kLyricsBegin);
    if (begin < 0 || begin + kLyricsBeginSize + kLyricsEndSize > buf.size() || from + begin == keep.begin ||
        buf.indexOf(kLyricsEnd, begin) < 0)
        return false;
    keep.end = from + begin;
    return true;
}

// The trailing tags, each cut at most once and only where it ends what is left: the ID3v1 trailer
// and a Lyrics3 block below it first, then an ID3v2 tag that ends there, and then the ID3v1 trailer
// or Lyrics3 block an appended ID3v2 tag may have stood behind.
void cutTrailingTags(const TailReader& file, Span& keep) {
    const bool id3v1 = cutId3v1(file, keep);
    const bool lyrics = cutLyrics3v2(file, keep);
    if (keep.end > keep.begin && cutTrailingId3v2(file, keep)) {
        if (!id3v1)
            cutId3v1(file, keep);
        if (!lyrics)
            cutLyrics3v2(file, keep);
    }
}

} // namespace

TagLook LookForTags(const QString& path) {
    TagLook look;
    PosixFile& file = look.file;
    // Non-blocking so that a pipe of that name cannot hang the command; a regular file ignores it.
    // Opened for writing when the user may write the file: removing needs what writing needs, and a
    // file only readable here is still read, to say whether there was anything to remove.
    look.writable = file.open(path, O_RDWR | O_NONBLOCK);
    if (!look.writable &&
        (errno != EACCES && errno != EPERM && errno != EROFS && errno != ETXTBSY && errno != EISDIR))
        ThrowIoError(errno);
    if (!look.writable && !file.open(path, O_RDONLY | O_NONBLOCK))
        ThrowIoError(errno);
    struct stat& st = look.st;
    int64_t birthNs = 0;
    if (!StatWithBirth(file.fd(), st, birthNs))
        ThrowIoError(errno);
    if (!S_ISREG(st.st_mode))
        ThrowError(QString::fromLatin1(kAccessDenied));

    Span keep{0, st.st_size};
    // The tail first: a small file is read whole by it, its head among it.
    const TailReader tail(file, st.st_size);
    if (keep.end >= kId3HeaderSize) {
        uint8_t header[kId3HeaderSize];
        tail.readExactly(header, kId3HeaderSize, 0);
        // A header that is not well formed is audio that happens to start with "ID3".
        if (IsWellFormedId3v2Header(header)) {
            keep.begin = id3v2TagSize(header);
            if (keep.begin > keep.end)
                ThrowError(QString::fromLatin1(kRangeCheck));
        }
    }
    cutTrailingTags(tail, keep);
    look.keepBegin = keep.begin;
    look.keepEnd = keep.end;
    if (!look.removes())
        return look;
    look.head = readRange(tail, 0, keep.begin);
    look.removedTail = readRange(tail, keep.end, st.st_size);
    // The stat above told the birth time where the file system keeps one: no look more for it.
    look.identity = birthNs != 0 ? FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino), birthNs}
                                 : IdentityOf(file.fd(), st);
    // What a cut file will end in was read already (a file emptied or shorter than a trailer is
    // read again).
    const int64_t length = keep.end - keep.begin;
    if (keep.begin == 0 || keep.begin == keep.end) {
        if (const char* last = length >= kTagSize ? tail.at(length - kTagSize, kTagSize) : nullptr)
            look.last128 = QByteArray(last, kTagSize);
    }
    return look;
}

bool RemoveAllTags(ChangeGroup& group, const QString& path, TagLook look) {
    const struct stat& st = look.st;
    // A change held for this very file (through another name) is made first; then the file is
    // read as it has become.
    if (group.holds(st)) {
        look.file.close();
        group.finish();
        return RemoveAllTags(group, path);
    }
    if (!look.removes())
        return false;
    if ((st.st_mode & S_IWUSR) == 0 || !look.writable)
        ThrowError(QString::fromLatin1(kAccessDenied));
    // What goes is kept in the journal first, so the removal can be taken back byte for byte.
    const journal::ChangeScope scope;
    // A name opened without following a link is where the content lives.
    const QByteArray name = EncodeFileName(path);
    const uint32_t id = journal::AnnounceRemoval(look.identity, st, name,
                                                 look.file.openedNoLink() ? name : journal::ContentPath(name),
                                                 look.head, look.removedTail);
    const int64_t begin = look.keepBegin, end = look.keepEnd;
    // Dropping only trailing bytes cannot leave a torn file, nor can emptying it.
    if (begin == 0 || begin == end) {
        group.truncate(path, std::move(look.file), st, look.identity, end - begin, id,
                       std::move(look.last128));
    } else {
        const int in = look.file.fd();
        group.rewrite(path, std::move(look.file), st, id, [&](int out) {
            CopyRange(in, begin, out, 0, end - begin);
            return end - begin;
        });
    }
    return true;
}

bool RemoveAllTags(ChangeGroup& group, const QString& path) {
    return RemoveAllTags(group, path, LookForTags(path));
}

bool RemoveAllTags(const QString& path, RewriteMode mode) {
    const journal::ChangeScope scope; // the change ends within it
    ChangeGroup group(mode);
    const bool removed = RemoveAllTags(group, path);
    group.finish();
    return removed;
}
