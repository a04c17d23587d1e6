// ReadTag then WriteTag on arbitrary file content, with or without a field edited in between
// (as Tag files does). ReadTag must see a trailer exactly when the last 128 bytes begin with
// "TAG", and read a file without one as an empty tag. WriteTag must change nothing but the last
// 128 bytes when it writes over a trailer, or append exactly 128 bytes otherwise, and those
// bytes must be the tag it was given with byte 125 zeroed. It writes over the trailer only when
// told the file has one and the file still has: handed a FileTag whose `present` disagrees with
// the file, it appends rather than overwrite, or throws (a file too short for the trailer it
// was told of). Without an edit, a trailer comes back as it was except for byte 125 (zeroed)
// and the track (zeroed when byte 125 was not). A WriteTag that throws leaves the file as it was.
#include "FuzzSupport.h"

#include "core/AnsiText.h"
#include "core/Id3Tag.h"
#include "core/IoError.h"
#include "core/TagFile.h"

#include <cstring>
#include <optional>

using namespace fuzzsupport;

namespace {

constexpr qsizetype kZeroByte = 125;
constexpr qsizetype kTrackByte = 126;

QByteArray tagBytes(const ID3Tag& tag) {
    return QByteArray(reinterpret_cast<const char*>(&tag), kTagSize);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte chooses the edit (bit 0: a new title from the next 30 bytes, when there;
    // bit 1: the genre), and bit 2 hands WriteTag the opposite of what ReadTag said about the
    // trailer, as when another program added or removed one in between.
    const uint8_t mode = data[0];
    const size_t titleBytes = (mode & 1) ? std::min<size_t>(size - 1, kTextWidth) : 0;
    const QByteArray title = bytesOf(data + 1, titleBytes);
    const QByteArray before = bytesOf(data + 1 + titleBytes, size - 1 - titleBytes);

    const QString path = scratchFile("input.mp3");
    writeAll(path, before);

    std::optional<FileTag> read;
    try {
        read = ReadTag(path);
    } catch (const CommandError&) {
        fail("ReadTag threw on a readable file that did not change");
    }
    check(read.has_value(), "ReadTag found no file where there is one");
    const qsizetype n = before.size();
    const bool hadTag = read->present;
    check(hadTag == (n >= kTagSize && before.mid(n - kTagSize, 3) == "TAG"),
          "present disagrees with the trailer");
    if (!hadTag)
        check(tagBytes(read->tag) == tagBytes(EmptyTag()), "a file without a trailer read as a tag");

    FileTag edited = *read;
    if (mode & 1) {
        SetTextField(FromAnsi(title), edited.tag.title);
        SetTagMagic(edited.tag);
    }
    if (mode & 2)
        edited.tag.genre = uint8_t(mode >> 2);
    if (mode & 4)
        edited.present = !edited.present;

    try {
        check(WriteTag(path, edited), "WriteTag found no file where there is one");
    } catch (const CommandError&) {
        check(readAll(path) == before, "a failed WriteTag changed the file");
        return 0;
    }
    const QByteArray after = readAll(path);
    ID3Tag expectedTag = edited.tag;
    expectedTag.zero = 0;
    if (hadTag && edited.present) {
        check(after.size() == n, "WriteTag over a trailer changed the size");
        check(after.left(n - kTagSize) == before.left(n - kTagSize),
              "WriteTag changed bytes before the trailer");
    } else {
        check(after.size() == n + kTagSize, "WriteTag without a trailer to replace did not append 128 bytes");
        check(after.left(n) == before, "WriteTag without a trailer to replace changed existing bytes");
    }
    check(after.right(kTagSize) == tagBytes(expectedTag), "the written trailer is not the tag given");

    if (hadTag && (mode & 3) == 0) {
        QByteArray expected = before.right(kTagSize);
        if (expected[kZeroByte] != 0)
            expected[kTrackByte] = 0;
        expected[kZeroByte] = 0;
        check(after.right(kTagSize) == expected, "an unedited trailer came back different");
    }
    return 0;
}
