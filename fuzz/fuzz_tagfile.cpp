// ReadTag then WriteTag on arbitrary file content, with or without a field edited in between
// (as Tag files does). WriteTag must change nothing but the last 128 bytes when the file had
// a trailer, or append exactly 128 bytes when it had none, and those bytes must be CurrentTag.
// Without an edit, a trailer comes back as it was except for byte 125 (zeroed) and the track
// (zeroed when byte 125 was not). A WriteTag that throws leaves the file as it was.
#include "FuzzSupport.h"

#include "core/AnsiText.h"
#include "core/Id3Tag.h"
#include "core/IoError.h"
#include "core/TagFile.h"

#include <cstring>

using namespace fuzzsupport;

namespace {

constexpr qsizetype kZeroByte = 125;
constexpr qsizetype kTrackByte = 126;

QByteArray currentTagBytes() {
    return QByteArray(reinterpret_cast<const char*>(&CurrentTag), kTagSize);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte chooses the edit; the next 30 (when there) are the new title.
    const uint8_t mode = data[0];
    const size_t titleBytes = (mode & 1) ? std::min<size_t>(size - 1, kTextWidth) : 0;
    const QByteArray title = bytesOf(data + 1, titleBytes);
    const QByteArray before = bytesOf(data + 1 + titleBytes, size - 1 - titleBytes);

    const QString path = scratchFile("input.mp3");
    writeAll(path, before);

    std::memset(&CurrentTag, 0x5A, sizeof CurrentTag); // stale state from another file
    HasTag = (mode & 4) != 0;
    try {
        ReadTag(path);
    } catch (const CommandError&) {
        fail("ReadTag threw on a readable file that did not change");
    }
    const bool hadTag = HasTag;
    const qsizetype n = before.size();
    check(hadTag == (n >= kTagSize && before.mid(n - kTagSize, 3) == "TAG"),
          "HasTag disagrees with the trailer");

    if (mode & 1) {
        SetTextField(FromAnsi(title), CurrentTag.title);
        SetTagMagic(CurrentTag);
    }
    if (mode & 2)
        CurrentTag.genre = uint8_t(mode >> 2);

    try {
        WriteTag(path);
    } catch (const CommandError&) {
        check(readAll(path) == before, "a failed WriteTag changed the file");
        return 0;
    }
    const QByteArray after = readAll(path);
    const QByteArray written = currentTagBytes();
    if (hadTag) {
        check(after.size() == n, "WriteTag over a trailer changed the size");
        check(after.left(n - kTagSize) == before.left(n - kTagSize),
              "WriteTag changed bytes before the trailer");
    } else {
        check(after.size() == n + kTagSize, "WriteTag without a trailer did not append exactly 128 bytes");
        check(after.left(n) == before, "WriteTag without a trailer changed existing bytes");
    }
    check(after.right(kTagSize) == written, "the written trailer is not CurrentTag");

    if (hadTag && (mode & 3) == 0) {
        QByteArray expected = before.right(kTagSize);
        if (expected[kZeroByte] != 0)
            expected[kTrackByte] = 0;
        expected[kZeroByte] = 0;
        check(after.right(kTagSize) == expected, "an unedited trailer came back different");
    }
    return 0;
}
