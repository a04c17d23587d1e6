#include "core/Id3Tag.h"

#include "core/AnsiText.h"
#include "core/TextLength.h"

#include <algorithm>
#include <cstring>

ID3Tag EmptyTag() {
    ID3Tag tag{};
    tag.genre = kNoGenre;
    return tag;
}

// clang-format off
const std::array<const char*, kGenreCount> GenreNames = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco",
    "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B",
    "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack",
    "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk",
    "Fusion", "Trance", "Classical", "Instrumental", "Acid",
    "House", "Game", "Sound Clip", "Gospel", "Noise",
    "Alternative Rock", "Bass", "Soul", "Punk", "Space",
    "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic",
    "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance",
    "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta",
    "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native US",
    "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes",
    "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz",
    "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion",
    "Bebob", "Latin", "Revival", "Celtic", "Bluegrass",
    "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock",
    "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic",
    "Humour", "Speech", "Chanson", "Opera", "Chamber Music",
    "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove",
    "Satire", "Slow Jam", "Club", "Tango", "Samba",
    "Folklore", "Ballad", "Power Ballad", "Rhytmic Soul", "Freestyle",
    "Duet", "Punk Rock", "Drum Solo", "Acapella", "Euro-House",
    "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore",
    "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk",
    "Beat", "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover",
    "Contemporary Christian", "Christian Rock", "Merengue", "Salsa", "Trash Metal",
};
// clang-format on

namespace {

// The first N characters (not UTF-16 units: an emoji is one character and one "?") as bytes.
template <std::size_t N> void setField(const QString& text, char (&field)[N]) {
    std::memset(field, 0, N);
    const QByteArray bytes = ToAnsi(LeftChars(text, qsizetype(N)));
    std::memcpy(field, bytes.constData(), std::min<std::size_t>(N, std::size_t(bytes.size())));
}

} // namespace

void SetTextField(const QString& text, char (&field)[kTextWidth]) {
    setField(text, field);
}

std::array<char, kYearWidth> YearField(const QString& text) {
    char field[kYearWidth];
    setField(text, field);
    std::array<char, kYearWidth> out{};
    std::memcpy(out.data(), field, kYearWidth);
    return out;
}

void SetCommentField(const QString& text, char (&field)[kCommentWidth]) {
    setField(text, field);
}

int GenreIndex(const QString& name) {
    for (int i = 0; i < kGenreCount; ++i) {
        if (name == QLatin1String(GenreNames[std::size_t(i)]))
            return i;
    }
    return kNoGenre;
}

QString GenreName(int genre) {
    if (genre < 0 || genre >= kGenreCount)
        return {};
    return QString::fromLatin1(GenreNames[std::size_t(genre)]);
}

QString ReadTextField(const char* field, int width) {
    return TrimControl(FromAnsi(field, width));
}

bool IsTagTrailer(const ID3Tag& tag) {
    return std::memcmp(tag.magic, kTagMagic, kMagicWidth) == 0;
}

void SetTagMagic(ID3Tag& tag) {
    std::memcpy(tag.magic, kTagMagic, kMagicWidth);
}

FileTag TrailerOf(ID3Tag last) {
    if (last.zero != 0)
        last.track = 0;
    if (!IsTagTrailer(last))
        return FileTag{};
    return FileTag{last, true};
}
