// RemoveAllTags on arbitrary file content. Whatever it does, the file must:
// - never grow, and stay a contiguous slice of the original (a prefix and a suffix cut);
// - lose a prefix only when the file began with "ID3", and a suffix only where the removed part
//   begins with "ID3", "TAG" or "LYRICSBEGIN" (the first bytes of a tag it recognises);
// - be byte-identical when the call returns false or throws, and whenever the original holds
//   none of "ID3", "TAG" and "LYRICS";
// - leave no temporary file beside it.
#include "FuzzSupport.h"

#include "core/IoError.h"
#include "core/TagRemoval.h"

#include <cstring>

using namespace fuzzsupport;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile("input.mp3");
    const QByteArray before = bytesOf(data, size);
    writeAll(path, before);

    bool removed = false;
    bool threw = false;
    try {
        removed = RemoveAllTags(path);
    } catch (const CommandError&) {
        threw = true;
    }
    check(scratchEntries() == 1, "a temporary file was left behind (or the file is gone)");
    const QByteArray after = readAll(path);

    if (threw || !removed) {
        check(after == before, "the file changed although nothing was reported removed");
        return 0;
    }
    const bool anyMagic = before.contains("ID3") || before.contains("TAG") || before.contains("LYRICS");
    check(anyMagic, "a file without any tag pattern was changed");
    check(after.size() < before.size(), "something was reported removed but the file did not shrink");

    // Some slice [a, a + after.size()) of the original, where a > 0 only when the file began
    // with "ID3" and any removed tail begins with a tag's first bytes.
    const qsizetype len = after.size();
    const qsizetype lastStart = before.startsWith("ID3") ? before.size() - len : 0;
    bool found = false;
    for (qsizetype a = 0; a <= lastStart && !found; ++a) {
        if (std::memcmp(before.constData() + a, after.constData(), size_t(len)) != 0)
            continue;
        const QByteArrayView cut = QByteArrayView(before).sliced(a + len);
        found =
            cut.isEmpty() || cut.startsWith("ID3") || cut.startsWith("TAG") || cut.startsWith("LYRICSBEGIN");
    }
    check(found, "the result is not the original less a leading ID3v2 tag and trailing tags");
    return 0;
}
