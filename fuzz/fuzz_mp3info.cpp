// ReadMp3Info on arbitrary file content. Beyond not crashing it must:
// - read only the first 10240 bytes and the last 128, at most 10240 + 128 bytes in all (every
//   pread is counted through the linker's --wrap, so a read that goes unused still counts);
// - give the same record when every byte outside those two ranges is different;
// - leave all stream fields reset when it found no frame header (bitrate 0), and never give a
//   negative length, frame count or frame length;
// - report the ID3v1 trailer exactly when the last 128 bytes begin with "TAG".
#include "FuzzSupport.h"

#include "core/IoError.h"
#include "core/Mp3Info.h"

#include <cstring>
#include <sys/types.h>
#include <vector>

using namespace fuzzsupport;

namespace {

struct ReadRange {
    int64_t pos;
    int64_t len;
};
bool counting = false;
std::vector<ReadRange> reads;

void note(ssize_t n, int64_t pos) {
    if (counting && n > 0)
        reads.push_back({pos, int64_t(n)});
}

constexpr int64_t kTrailer = 128;

bool sameRecord(const Mp3Info& a, const Mp3Info& b) {
    return a.size == b.size && a.version == b.version && a.layer == b.layer && a.bitrate == b.bitrate &&
           a.isVbr == b.isVbr && a.sampleRate == b.sampleRate && a.channelMode == b.channelMode &&
           a.length == b.length && a.frameLength == b.frameLength && a.frames == b.frames &&
           a.hasCrc == b.hasCrc && a.isPrivate == b.isPrivate && a.copyFlag == b.copyFlag &&
           a.origFlag == b.origFlag && a.hasTag == b.hasTag && a.title == b.title && a.artist == b.artist &&
           a.album == b.album && a.year == b.year && a.comment == b.comment && a.track == b.track &&
           a.genre == b.genre && a.genreName == b.genreName && a.isMpeg25 == b.isMpeg25;
}

Mp3Info readInfo(const QString& path) {
    try {
        return ReadMp3Info(path);
    } catch (const CommandError&) {
        fail("ReadMp3Info threw on a readable file that did not change");
    }
}

} // namespace

extern "C" {
ssize_t __real_pread(int fd, void* buf, size_t n, off_t pos);
ssize_t __wrap_pread(int fd, void* buf, size_t n, off_t pos) {
    const ssize_t r = __real_pread(fd, buf, n, pos);
    note(r, pos);
    return r;
}
ssize_t __real_pread64(int fd, void* buf, size_t n, off_t pos);
ssize_t __wrap_pread64(int fd, void* buf, size_t n, off_t pos) {
    const ssize_t r = __real_pread64(fd, buf, n, pos);
    note(r, pos);
    return r;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile("input.mp3");
    QByteArray bytes = bytesOf(data, size);
    writeAll(path, bytes);
    const int64_t fileSize = bytes.size();

    reads.clear();
    counting = true;
    const Mp3Info info = readInfo(path);
    counting = false;

    check(fileSize == 0 || !reads.empty(), "no pread was counted: the --wrap wrapper is not in place");
    int64_t total = 0;
    for (const ReadRange& r : reads) {
        total += r.len;
        const bool inHead = r.pos >= 0 && r.pos + r.len <= kScanWindow;
        const bool inTail = r.pos >= fileSize - kTrailer && r.pos + r.len <= fileSize;
        check(inHead || inTail, "read outside the first 10240 and the last 128 bytes");
    }
    check(total <= kScanWindow + kTrailer, "read more than 10240 + 128 bytes");

    check(info.size == fileSize, "size is not the file's size");
    check(info.length >= 0 && info.frames >= 0 && info.frameLength >= 0, "negative length or frames");
    if (info.bitrate == 0) {
        check(info.version == 0 && !info.isMpeg25 && info.layer == 0 && !info.isVbr && info.sampleRate == 0 &&
                  info.channelMode.isEmpty() && info.length == 0 && info.frameLength == 0 &&
                  info.frames == 0 && !info.hasCrc && !info.isPrivate && !info.copyFlag && !info.origFlag,
              "no frame header but stream fields set");
    } else {
        check(info.bitrate > 0 && info.sampleRate > 0 && info.frameLength > 0, "frame header with bad rates");
        check(info.version == 1 || info.version == 2, "version outside 1..2");
        check(info.layer >= 1 && info.layer <= 3, "layer outside 1..3");
        check(!info.isMpeg25 || (info.version == 2 && info.layer == 3),
              "MPEG-2.5 other than version 2 layer 3");
        check(!info.channelMode.isEmpty(), "frame header without channel mode");
    }
    const bool trailer = fileSize >= kTrailer && std::memcmp(data + fileSize - kTrailer, "TAG", 3) == 0;
    check(info.hasTag == trailer, "hasTag disagrees with the last 128 bytes");
    if (!info.hasTag)
        check(info.title.isEmpty() && info.track == 0 && info.genre == 255, "tag fields without a tag");

    // Bytes between the scan window and the trailer must not matter.
    if (fileSize > kScanWindow + kTrailer) {
        for (int64_t i = kScanWindow; i < fileSize - kTrailer; ++i)
            bytes[qsizetype(i)] = char(bytes[qsizetype(i)] ^ 0xA5);
        writeAll(path, bytes);
        check(sameRecord(info, readInfo(path)), "the bytes between window and trailer changed the result");
    }
    return 0;
}
