#include "commands/TagFields.h"

#include "core/TagValues.h"

#include "core/AnsiText.h"

#include <algorithm>
#include <cstring>

namespace {

// A tag text as the dialog shows it: its bytes up to the first zero byte.
template <std::size_t N> QString shownText(const char (&field)[N]) {
    return FromAnsi(field, qsizetype(strnlen(field, N)));
}

} // namespace

void SetTagFields(ID3Tag& tag, const TagTexts& texts, const Id3FieldMask& mask) {
    SetTagMagic(tag);
    if (mask.title)
        SetTextField(texts.title, tag.title);
    if (mask.artist)
        SetTextField(texts.artist, tag.artist);
    if (mask.album)
        SetTextField(texts.album, tag.album);
    if (mask.year) {
        const auto year = YearField(texts.year);
        std::copy(year.begin(), year.end(), tag.year);
    }
    if (mask.comment)
        SetCommentField(texts.comment, tag.comment);
    if (mask.track)
        tag.track = uint8_t(texts.track & 0xFF);
    if (mask.genre)
        tag.genre = uint8_t(texts.genre & 0xFF);
}

TagTexts ShownTagTexts(const ID3Tag& tag) {
    return {shownText(tag.title),
            shownText(tag.artist),
            shownText(tag.album),
            shownText(tag.year),
            shownText(tag.comment),
            tag.track,
            tag.genre};
}

TagTexts TagTextsOf(const Id3v2Texts& texts) {
    return {texts.title,
            texts.artist,
            texts.album,
            texts.year,
            texts.comment,
            TrackTextNumber(texts.track),
            GenreIndex(texts.genre)};
}
