#include "core/Mp3Info.h"

#include "core/Id3Tag.h"
#include "core/PosixFile.h"

#include <array>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int kHeaderSize = 4;
// The Xing VBR header: its letters at this distance from the frame's first byte, then a flag
// word, the frame count and the byte count.
constexpr int kXingOffset = 36;
constexpr int kXingFramesOffset = 44;
constexpr int kXingBytesOffset = 48;
constexpr int kXingEnd = 52;
constexpr char kXingMagic[] = "Xing";
// Bytes per frame = kLayer23FrameFactor * kbit/s / Hz (+ padding) for layers 2 and 3, both versions.
constexpr int64_t kLayer23FrameFactor = 144000;
// Layer 1: (12 * kbit/s * 1000 / Hz + padding) slots of 4 bytes.
constexpr int64_t kLayer1SlotFactor = 12000;
constexpr int64_t kLayer1SlotBytes = 4;

// kbit/s by bit-rate index 1..14; index 0 (free format) and 15 (forbidden) give 0.
using BitrateRow = std::array<int, 16>;
constexpr BitrateRow kMpeg1Layer1 = {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0};
constexpr BitrateRow kMpeg1Layer2 = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0};
constexpr BitrateRow kMpeg1Layer3 = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr BitrateRow kMpeg2Layer1 = {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0};
constexpr BitrateRow kMpeg2Layer23 = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};

constexpr std::array<int, 4> kMpeg1Rates = {44100, 48000, 32000, 0};
constexpr std::array<int, 4> kMpeg2Rates = {22050, 24000, 16000, 0};

const char* const kChannelModes[] = {"Stereo", "Joint-Stereo", "Dual-Channel", "Mono"};

int bitrateOf(int version, int layer, int index) {
    if (layer == 0)
        return 0;
    if (version == 1)
        return (layer == 1 ? kMpeg1Layer1 : layer == 2 ? kMpeg1Layer2 : kMpeg1Layer3)[std::size_t(index)];
    return (layer == 1 ? kMpeg2Layer1 : kMpeg2Layer23)[std::size_t(index)];
}

uint32_t bigEndian32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void readTagFields(const ID3Tag& tag, Mp3Info& info) {
    info.hasTag = true;
    info.title = ReadTextField(tag.title);
    info.artist = ReadTextField(tag.artist);
    info.album = ReadTextField(tag.album);
    info.year = ReadTextField(tag.year);
    info.comment = ReadTextField(tag.comment);
    // A non-zero byte before the track means an ID3v1.0 comment runs over it: no track.
    info.track = tag.zero != 0 ? 0 : tag.track;
    info.genre = tag.genre;
    info.genreName = GenreName(tag.genre);
}

// The average of a Xing VBR header, or false when its counts are unusable (zero, or too
// large for the record), in which case the stream is taken as constant bit rate.
bool applyXing(const unsigned char* frame, Mp3Info& info) {
    const int64_t frames = bigEndian32(frame + kXingFramesOffset);
    const int64_t bytes = bigEndian32(frame + kXingBytesOffset);
    if (frames == 0 || bytes == 0)
        return false;
    const int64_t framelength = bytes / frames;
    const int64_t bitrate = info.layer == 1
                                ? info.sampleRate * framelength / (kLayer1SlotFactor * kLayer1SlotBytes)
                                : info.sampleRate * framelength / kLayer23FrameFactor;
    if (bitrate <= 0 || bitrate > INT_MAX || framelength > INT_MAX)
        return false;
    info.isVbr = true;
    info.frames = frames;
    info.frameLength = int(framelength);
    info.bitrate = int(bitrate);
    return true;
}

} // namespace

Mp3Info ReadMp3Info(const QString& path) {
    Mp3Info info;
    PosixFile file;
    struct stat st {};
    if (!file.openRegular(path, O_RDONLY, st)) // a directory opens fine but is no MP3 file
        return info;

    info.size = st.st_size;
    // A file shorter than the window is searched on what it has.
    const int64_t windowSize = std::min<int64_t>(info.size, kScanWindow);
    std::array<unsigned char, kScanWindow> window{};
    file.readExactly(window.data(), windowSize, 0);
    ID3Tag tag{};
    const bool hasTrailer = info.size >= kTagSize;
    if (hasTrailer)
        file.readExactly(&tag, kTagSize, info.size - kTagSize);
    file.close();

    if (hasTrailer && IsTagTrailer(tag))
        readTagFields(tag, info);

    const unsigned char* header = nullptr;
    for (int64_t pos = 0; pos + kHeaderSize <= windowSize; ++pos) {
        const unsigned char* h = window.data() + pos;
        // The sync's fourth bit set: the MPEG-2.5 extension is not recognised.
        if (h[0] != 0xFF || (h[1] & 0xF0) != 0xF0)
            continue;
        const int version = (h[1] & 0x08) ? 1 : 2;
        const int layer = (4 - ((h[1] >> 1) & 0x03)) & 0x03; // bits 01 -> 3, 10 -> 2, 11 -> 1, 00 -> 0
        const int bitrate = bitrateOf(version, layer, h[2] >> 4);
        const int samplerate = (version == 1 ? kMpeg1Rates : kMpeg2Rates)[(h[2] >> 2) & 0x03];
        if (bitrate == 0 || samplerate == 0)
            continue;
        header = h;
        info.version = version;
        info.layer = layer;
        info.bitrate = bitrate;
        info.sampleRate = samplerate;
        info.hasCrc = (h[1] & 0x01) == 0;
        break;
    }
    if (header == nullptr)
        return info;

    const int64_t offset = header - window.data();
    const bool xingInWindow = offset + kXingEnd <= windowSize &&
                              std::memcmp(header + kXingOffset, kXingMagic, std::strlen(kXingMagic)) == 0;
    if (!xingInWindow || !applyXing(header, info)) {
        const int padding = (header[2] >> 1) & 0x01;
        if (info.layer == 1)
            info.frameLength =
                int((kLayer1SlotFactor * info.bitrate / info.sampleRate + padding) * kLayer1SlotBytes);
        else
            info.frameLength = int(kLayer23FrameFactor * info.bitrate / info.sampleRate + padding);
        info.frames = info.size / info.frameLength;
    }
    info.length = info.size * 8 / (int64_t(info.bitrate) * 1000);

    info.channelMode = QString::fromLatin1(kChannelModes[header[3] >> 6]);
    info.isPrivate = (header[2] & 0x01) != 0;
    info.copyFlag = (header[3] & 0x08) != 0;
    info.origFlag = (header[3] & 0x04) != 0;
    return info;
}

QString FormatDuration(int64_t seconds) {
    return QString::asprintf("%lld:%.2lld", static_cast<long long>(seconds / 60),
                             static_cast<long long>(seconds % 60));
}
