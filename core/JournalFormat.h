#pragma once

// The journal file's format: a magic line, then records, each framed as
//   u32 payload length, u64 check of the payload, payload (big-endian fields)
// so a record cut short by a kill (its write stopped part-way) is seen as such and ends the
// journal: the change it announced had not started. Every record has the same fields (but
// `other`, written for a CopyBack only); a kind uses those it needs. Records are read one at a
// time, never the whole journal: it holds every removed tag and may be far larger than memory
// should be.

#include "core/FileIdentity.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace journal {

// The format written now, 3, writes only the fields a record uses. Version 2 (an earlier
// Morwick's) wrote every field of every record; its journals are recovered and undone as ever,
// and what is added to one is written in its own format. Version 1 lacked the identities' birth
// time and generation; it is read only to learn which of its temporaries may still be needed.
inline constexpr int kVersion = 3;
inline constexpr char kMagic[] = "MORWICK JOURNAL 3\n";
inline constexpr char kMagicV2[] = "MORWICK JOURNAL 2\n";
inline constexpr char kMagicV1[] = "MORWICK JOURNAL 1\n";
inline constexpr qint64 kMagicSize = sizeof kMagic - 1;
static_assert(sizeof kMagic == sizeof kMagicV1 && sizeof kMagic == sizeof kMagicV2);
inline constexpr int kTrailerBytes = 128;

enum class Kind : quint8 {
    Begin = 1, // name: the command
    Trailer,   // id, file, path, offset, oldSize, oldMode, mtime, oldBytes (empty: appended), newBytes
    Removal,   // id, file, path, path2 (where the content lives), oldSize, oldMode, mtime,
               // oldBytes = head, newBytes = tail, size = new size, offset = the length of the
               // head put in the old one's place (0: a plain removal; what a rewrite adds beyond
               // it is a new trailer, after the kept content)
    Rename,    // id, file, path = old, path2 = new
    CopyBack,  // id, file (target), path (target), path2 (temporary), other (temporary), size
    CopyDone,  // path2 (temporary)
    Done,      // id, file, size, mtime, newBytes = last 128 bytes
    Settled,   // id: examined by recovery, nothing to confirm (never started, or overtaken)
    UndoStep,  // id: an undo is taking the change back
    UndoDone,  // id, flag: taken back (or found back already)
    End,       // the command ended: every change confirmed and synced; nothing to recover
    Head,      // id, file, path, oldSize, oldMode, mtime, size = the head's length, oldBytes = the
               // old head then the old trailer (none: appended), newBytes = the new head (as
               // long) then the new trailer (none: not written), offset = where the trailer goes
    Folder,    // path: the folder the paths of the records after it that are bare names lie in
               // (format 3 only; the reader takes it in and gives back full paths)
};

struct Record {
    Kind kind = Kind::Begin;
    quint32 id = 0;
    QString name;
    FileIdentity file;
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
    FileIdentity other;
};

// A modification time in nanoseconds, as records hold it.
qint64 MtimeNs(const struct stat& st);
// The Done record of change `id`: the file as it now is (`last128`: what it ends in).
Record DoneRecord(quint32 id, const FileIdentity& file, const struct stat& st, const QByteArray& last128);

// The record framed, ready to append to a journal of format `version` (2 or 3).
QByteArray Encode(const Record& r, int version = kVersion);
// The same bytes without a buffer of their own: their size, written in place at `at` (which has
// room for them), or appended to `out`. A record is written for every change, and a buffer per
// record costs more than the bytes.
qint64 EncodedSize(const Record& r, int version = kVersion);
void EncodeInto(char* at, const Record& r, int version = kVersion);
void EncodeAppend(QByteArray& out, const Record& r, int version = kVersion);

// The End record's bytes in a journal of format `version`. They are always the same, so a look at
// a journal's last bytes says whether its command ended whole, without reading the rest.
const QByteArray& EndRecordBytes(int version = kVersion);
// Whether the journal open as `fd` (of the given version) ends with an End record.
bool EndsWhole(int fd, int version = kVersion);

// `name` in `folder`, joined with one allocation: a path is made for every change.
QByteArray PathIn(const QByteArray& folder, const QByteArray& name);

// The format of the journal open as `fd` (3, 2 or 1), 0 for none (empty, or not a journal):
// what its first bytes say, read alone.
int VersionOf(int fd);
// The first bytes of a journal of format `version`.
QByteArray MagicOf(int version);

// Reads a journal's records in order, one at a time, through one reused buffer: memory stays that
// of the largest record whatever the journal's size.
class Reader {
public:
    explicit Reader(int fd);
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // 3 or 2 for a journal of those formats, 1 for the first, 0 for none (empty, or not a
    // journal).
    int version() const { return version_; }
    // The next sound record and where it begins; false at the end, or at the first record that is
    // torn or damaged. Its paths are whole: a Folder record is taken in, not given.
    bool next(Record& r, qint64* offset = nullptr);
    // Where the last sound record read ends.
    qint64 end() const { return pos_; }
    // The record that begins at `offset` (one next() returned before).
    bool readAt(qint64 offset, Record& r);

private:
    const char* bytesAt(qint64 at, qint64 n);
    bool decodeAt(qint64 at, Record& r, qint64& next);
    bool wholePaths(qint64 at, Record& r) const;

    int fd_;
    int version_ = 0;
    qint64 pos_ = 0;
    QByteArray buffer_;
    qint64 bufferAt_ = 0;
    qint64 bufferSize_ = 0;
    std::vector<std::pair<qint64, QByteArray>> folders_; // each Folder record read, and where
};

} // namespace journal
