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
constexpr int kCrcSize = 2;
// Side information after the header: its size depends on the version and on mono or not.
constexpr int kSideInfoMpeg1 = 32;
constexpr int kSideInfoMpeg1Mono = 17;
constexpr int kSideInfoMpeg2 = 17;
constexpr int kSideInfoMpeg2Mono = 9;
// The Xing header ("Info" in a constant-bit-rate stream) sits where the first frame's audio
// data would start: its four letters, a flag word, the frame count and the byte count.
constexpr int kXingFramesOffset = 8;
constexpr int kXingBytesOffset = 12;
constexpr int kXingSize = 16;
constexpr char kXingMagic[] = "Xing";
constexpr char kInfoMagic[] = "Info";
constexpr int kMagicSize = 4;
// Samples in one frame: layer 1; layer 2 and MPEG-1 layer 3; MPEG-2/2.5 layer 3, whose frame
// holds one granule instead of two.
constexpr int64_t kLayer1Samples = 384;
constexpr int64_t kLongFrameSamples = 1152;
constexpr int64_t kHalfRateLayer3Samples = 576;
// Bytes per frame = kLayer23FrameFactor * kbit/s / Hz (+ padding) for layers 2 and 3, both versions.
// It stands for 1152 samples, so the constant-bit-rate frame length of MPEG-2/2.5 layer 3 comes out
// twice the real one (and its frame count half); nothing shows or uses either.
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
constexpr std::array<int, 4> kMpeg25Rates = {11025, 12000, 8000, 0};

const char* const kChannelModes[] = {"Stereo", "Joint-Stereo", "Dual-Channel", "Mono"};
constexpr int kMonoMode = 3;

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

// What the sync, version, layer, bit-rate and sample-rate bits of one header say; bitrate 0
// when they do not make a usable header.
struct FrameHeader {
    int version = 0; // 1 or 2; MPEG-2.5 counts as 2
    bool mpeg25 = false;
    int layer = 0;
    int bitrate = 0;
    int sampleRate = 0;
};

FrameHeader decodeHeader(const unsigned char* h) {
    FrameHeader f;
    // 11 sync bits, then the version: 11 MPEG-1, 10 MPEG-2, 00 MPEG-2.5, 01 reserved.
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return f;
    const int versionBits = (h[1] >> 3) & 0x03;
    if (versionBits == 1)
        return f;
    const int version = versionBits == 3 ? 1 : 2;
    const bool mpeg25 = versionBits == 0;
    const int layer = (4 - ((h[1] >> 1) & 0x03)) & 0x03; // bits 01 -> 3, 10 -> 2, 11 -> 1, 00 -> 0
    // The extension is defined for layer 3 only.
    if (mpeg25 && layer != 3)
        return f;
    const int bitrate = bitrateOf(version, layer, h[2] >> 4);
    const int samplerate = (version == 1 ? kMpeg1Rates
                            : mpeg25     ? kMpeg25Rates
                                         : kMpeg2Rates)[(h[2] >> 2) & 0x03];
    if (bitrate == 0 || samplerate == 0)
        return f;
    return {version, mpeg25, layer, bitrate, samplerate};
}

int64_t samplesPerFrame(int version, int layer) {
    if (layer == 1)
        return kLayer1Samples;
    return layer == 3 && version == 2 ? kHalfRateLayer3Samples : kLongFrameSamples;
}

// An MPEG-2.5 header is taken only when the next frame's header follows it, inside the window,
// with the same version, layer and sample rate: its sync is one bit shorter than the others', so
// stray byte pairs in tags or audio match it far more often.
bool nextFrameFollows(const unsigned char* window, int64_t pos, int64_t windowSize, const FrameHeader& f) {
    const unsigned char* h = window + pos;
    const int padding = (h[2] >> 1) & 0x01;
    const int64_t frameBytes =
        samplesPerFrame(f.version, f.layer) / 8 * f.bitrate * 1000 / f.sampleRate + padding;
    const int64_t next = pos + frameBytes;
    if (next + kHeaderSize > windowSize)
        return false;
    const FrameHeader n = decodeHeader(window + next);
    return n.bitrate != 0 && n.mpeg25 == f.mpeg25 && n.layer == f.layer && n.sampleRate == f.sampleRate;
}

// The distances from the frame's first byte at which the Xing header may start: right after the
// side information. lame, which writes most of them, does not count a CRC, the frame layout does;
// a CRC-protected frame is looked at in both places.
std::array<int, 2> xingDistances(const FrameHeader& f, bool mono, bool hasCrc) {
    const int sideInfo = f.version == 1 ? (mono ? kSideInfoMpeg1Mono : kSideInfoMpeg1)
                                        : (mono ? kSideInfoMpeg2Mono : kSideInfoMpeg2);
    const int distance = kHeaderSize + sideInfo;
    return {distance, hasCrc ? distance + kCrcSize : distance};
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
bool applyXing(const unsigned char* xing, Mp3Info& info) {
    const int64_t frames = bigEndian32(xing + kXingFramesOffset);
    const int64_t bytes = bigEndian32(xing + kXingBytesOffset);
    if (frames == 0 || bytes == 0)
        return false;
    const int64_t framelength = bytes / frames;
    // kbit/s = bytes per frame * 8 bits * frames per second / 1000.
    const int64_t bitrate =
        info.sampleRate * framelength * 8 / (samplesPerFrame(info.version, info.layer) * 1000);
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
    FrameHeader first;
    for (int64_t pos = 0; pos + kHeaderSize <= windowSize; ++pos) {
        const FrameHeader f = decodeHeader(window.data() + pos);
        if (f.bitrate == 0 || (f.mpeg25 && !nextFrameFollows(window.data(), pos, windowSize, f)))
            continue;
        header = window.data() + pos;
        first = f;
        break;
    }
    if (header == nullptr)
        return info;
    info.version = first.version;
    info.isMpeg25 = first.mpeg25;
    info.layer = first.layer;
    info.bitrate = first.bitrate;
    info.sampleRate = first.sampleRate;
    info.hasCrc = (header[1] & 0x01) == 0;

    const int64_t offset = header - window.data();
    const int mode = header[3] >> 6;
    bool vbr = false;
    for (const int distance : xingDistances(first, mode == kMonoMode, info.hasCrc)) {
        if (offset + distance + kXingSize > windowSize)
            break;
        const unsigned char* xing = header + distance;
        // "Info" marks a constant-bit-rate stream: the first frame's bit rate is the stream's.
        if (std::memcmp(xing, kInfoMagic, kMagicSize) == 0)
            break;
        if (std::memcmp(xing, kXingMagic, kMagicSize) == 0) {
            vbr = applyXing(xing, info);
            break;
        }
    }
    if (!vbr) {
        const int padding = (header[2] >> 1) & 0x01;
        if (info.layer == 1)
            info.frameLength =
                int((kLayer1SlotFactor * info.bitrate / info.sampleRate + padding) * kLayer1SlotBytes);
        else
            info.frameLength = int(kLayer23FrameFactor * info.bitrate / info.sampleRate + padding);
        info.frames = info.size / info.frameLength;
    }
    info.length = info.size * 8 / (int64_t(info.bitrate) * 1000);

    info.channelMode = QString::fromLatin1(kChannelModes[mode]);
    info.isPrivate = (header[2] & 0x01) != 0;
    info.copyFlag = (header[3] & 0x08) != 0;
    info.origFlag = (header[3] & 0x04) != 0;
    return info;
}

QString FormatDuration(int64_t seconds) {
    return QString::asprintf("%lld:%.2lld", static_cast<long long>(seconds / 60),
                             static_cast<long long>(seconds % 60));
}
