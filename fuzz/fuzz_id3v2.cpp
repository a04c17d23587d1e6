// ParseId3v2Tag and RenderId3v2Tag on arbitrary bytes taken as a file's head, with the fields
// marked by the last byte (so that an MP3 file is a seed as it is). Neither may crash. A
// rendered tag must read back with the written texts in the marked fields and, for an ID3v2.3
// or 2.4 tag (whose other frames are kept byte for byte), the old texts in the others; it fits
// in place only when the whole old tag was given, and is then exactly as long; otherwise it
// carries the fixed padding.
#include "FuzzSupport.h"

#include "core/Id3v2Tag.h"

using namespace fuzzsupport;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const uint8_t marks = data[size - 1];
    const QByteArray head = bytesOf(data, size - 1);
    const Id3FieldMask mask{bool(marks & 1),  bool(marks & 2),  bool(marks & 4), bool(marks & 8),
                            bool(marks & 16), bool(marks & 32), bool(marks & 64)};
    const Id3v2Texts texts{QStringLiteral(u"Заглавие, которое длиннее тридцати символов"),
                           QStringLiteral("Artist"),
                           QStringLiteral(u"Album \u00e9"),
                           QStringLiteral("1999"),
                           QStringLiteral("comment"),
                           QStringLiteral("3/12"),
                           QStringLiteral("Rock")};

    const std::optional<Id3v2Parsed> old = ParseId3v2Tag(head);
    check(old.has_value() == (Id3v2TagSize(head) > 0),
          "a tag is parsed exactly when the header is well-formed");
    const std::optional<Id3v2Rendered> rendered = RenderId3v2Tag(head, texts, mask);
    if (!rendered)
        return 0;
    const std::optional<Id3v2Parsed> back = ParseId3v2Tag(rendered->tag);
    check(back.has_value(), "the rendered tag parses");
    check(back->version == rendered->version && (rendered->version == 3 || rendered->version == 4),
          "the rendered version");
    check(rendered->version == (old && old->version == 3 ? 3 : 4), "2.3 stays 2.3, all else becomes 2.4");
    if (rendered->fitsInPlace) {
        check(old && head.size() >= old->size && rendered->tag.size() == old->size, "an in-place tag's size");
    } else {
        check(back->padding == kId3v2Padding, "a tag that does not fit carries the fixed padding");
    }

    const Id3v2Texts was = old ? old->texts : Id3v2Texts{};
    const bool kept = old && old->version >= 3;
    const std::pair<bool, std::pair<const QString*, const QString*>> fields[] = {
        {mask.title, {&back->texts.title, &texts.title}},
        {mask.artist, {&back->texts.artist, &texts.artist}},
        {mask.album, {&back->texts.album, &texts.album}},
        {mask.year, {&back->texts.year, &texts.year}},
        {mask.comment, {&back->texts.comment, &texts.comment}},
        {mask.track, {&back->texts.track, &texts.track}},
        {mask.genre, {&back->texts.genre, &texts.genre}}};
    const QString* olds[] = {&was.title,   &was.artist, &was.album, &was.year,
                             &was.comment, &was.track,  &was.genre};
    for (size_t i = 0; i < std::size(fields); ++i) {
        const auto& [marked, pair] = fields[i];
        if (marked)
            check(*pair.first == *pair.second, "a written field reads back");
        else if (kept)
            check(*pair.first == *olds[i], "a field not written keeps its text");
    }
    return 0;
}
