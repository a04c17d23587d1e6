// The naming rules on arbitrary names, paths and texts:
// - SplitFilename under every filename format, TrimFilename under every format, name case and
//   track separator (the result always ends in ".mp3"), BuildFilename (".mp3" under a format,
//   nothing under FilenameFormat::None) and ArtistAlbumFromPath under every directory-name
//   format (values never longer than the fields, nothing for a disabled field or without
//   fetching);
// - ReplaceInName with any search and replacement: it always ends (run with -timeout), a result
//   no longer holds the search text and has at most 255 characters, and it agrees with a plain
//   step-by-step replacement wherever that one settles within a step budget;
// - no rule cuts a character in two: from inputs that hold no surrogate outside a pair other
//   than escaped file-name bytes (U+DC80..U+DCFF), no result holds one either. (A pair's low half
//   that happens to lie in U+DC80..U+DCFF cannot be told from an escaped byte, but a cut that
//   strands it also strands the high half, which is always caught.)
// - file names: EncodeFileName(DecodeFileName(bytes)) == bytes for any bytes, and
//   DecodeFileName(EncodeFileName(s)) == s for every s that DecodeFileName makes.
#include "FuzzSupport.h"

#include "core/AnsiText.h"
#include "core/FileName.h"
#include "core/TextLength.h"
#include "naming/Formats.h"
#include "naming/ReplaceInName.h"
#include "naming/TrimFilename.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <initializer_list>
#include <set>

using namespace fuzzsupport;

namespace {

constexpr FilenameFormat kFilenameFormats[] = {FilenameFormat::None, FilenameFormat::TrackTitle,
                                               FilenameFormat::TrackArtistTitle, FilenameFormat::ArtistTitle,
                                               FilenameFormat::Title};
constexpr DirnameFormat kDirnameFormats[] = {DirnameFormat::Unselected,
                                             DirnameFormat::NoFetching,
                                             DirnameFormat::ArtistDashAlbum,
                                             DirnameFormat::ArtistSlashAlbum,
                                             DirnameFormat::ArtistAlbumDisc,
                                             DirnameFormat::Artist,
                                             DirnameFormat::Album};
constexpr NameCase kNameCases[] = {NameCase::Capitalize, NameCase::Sentence};
constexpr TrackSeparator kSeparators[] = {TrackSeparator::Dot, TrackSeparator::Dash};

// A text either as a file name would arrive (bytes decoded) or as any UTF-16, lone surrogates
// included (typed or pasted).
QString takeText(FuzzedDataProvider& in, size_t maxBytes) {
    const bool decoded = in.ConsumeBool();
    const std::string bytes = in.ConsumeRandomLengthString(maxBytes);
    if (decoded)
        return DecodeFileName(QByteArray(bytes.data(), qsizetype(bytes.size())));
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.data()), qsizetype(bytes.size() / 2));
}

// True when `result` holds a stray surrogate although none of the inputs did.
bool strayFrom(const QString& result, std::initializer_list<QStringView> inputs) {
    for (QStringView input : inputs) {
        if (HasStraySurrogate(input))
            return false;
    }
    return HasStraySurrogate(result);
}

// The rule done literally, remembering every name produced. Gives the final name, nullopt for a
// repetition that never ends or grows past the limit, or `undecided` when the budget ran out.
enum class Plain { Done, Endless, Undecided };
Plain plainReplace(QString s, const QString& search, const QString& replacement, QString& out) {
    constexpr int kBudget = 2000;
    std::set<QString> seen;
    for (int step = 0; step < kBudget; ++step) {
        const qsizetype p = IndexOfChars(s, search);
        if (p < 0) {
            out = s;
            return Plain::Done;
        }
        if (!seen.insert(s).second)
            return Plain::Endless;
        s.replace(p, search.size(), replacement);
        if (CharCount(s) > kMaxReplacedNameLength)
            return Plain::Endless;
    }
    return Plain::Undecided;
}

void checkReplace(const QString& name, const QString& search, const QString& replacement) {
    const std::optional<QString> result = ReplaceInName(name, search, replacement);
    if (result) {
        if (!search.isEmpty())
            check(IndexOfChars(*result, search) < 0, "the replaced name still holds the search text");
        check(CharCount(*result) <= kMaxReplacedNameLength, "the replaced name is longer than 255");
        check(!strayFrom(*result, {name, search, replacement}), "the replacement split a character");
    }
    if (search.isEmpty()) {
        check(result == name, "an empty search changed the name");
        return;
    }
    QString plain;
    switch (plainReplace(name, search, replacement, plain)) {
    case Plain::Done:
        check(result == plain, "the replacement disagrees with the plain steps");
        break;
    case Plain::Endless:
        check(!result, "a replacement that never ends gave a name");
        break;
    case Plain::Undecided:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);

    const QByteArray rawName = QByteArray::fromStdString(in.ConsumeRandomLengthString(300));
    const QString decoded = DecodeFileName(rawName);
    check(EncodeFileName(decoded) == rawName, "EncodeFileName(DecodeFileName(bytes)) != bytes");
    check(DecodeFileName(EncodeFileName(decoded)) == decoded, "DecodeFileName(EncodeFileName(s)) != s");

    const QString name = takeText(in, 300);
    const QString artistField = takeText(in, 64);
    for (const FilenameFormat format : kFilenameFormats) {
        const SplitName split = SplitFilename(name, format, artistField);
        check(!strayFrom(split.artist, {name, artistField}) && !strayFrom(split.title, {name}),
              "SplitFilename split a character");
        if (format == FilenameFormat::None)
            check(split.track == 0 && split.title.isEmpty() && !split.formatError,
                  "FilenameFormat::None split something");
        for (const NameCase nameCase : kNameCases) {
            for (const TrackSeparator separator : kSeparators) {
                const QString trimmed = TrimFilename(name, format, nameCase, separator);
                check(trimmed.endsWith(QStringLiteral(".mp3")), "TrimFilename result does not end in .mp3");
                check(!strayFrom(trimmed, {name}), "TrimFilename split a character");
            }
        }
    }

    const int track = in.ConsumeIntegral<int>();
    const QString artist = takeText(in, 64);
    const QString title = takeText(in, 64);
    for (const FilenameFormat format : kFilenameFormats) {
        const QString built =
            BuildFilename(track, artist, title, format, kSeparators[in.ConsumeIntegralInRange(0, 1)]);
        if (format != FilenameFormat::None)
            check(built.endsWith(QStringLiteral(".mp3")), "BuildFilename result does not end in .mp3");
        else
            check(built.isEmpty(), "BuildFilename built a name under no format");
        check(!strayFrom(built, {artist, title}), "BuildFilename split a character");
    }

    const QString path = QLatin1Char('/') + takeText(in, 200);
    for (const DirnameFormat format : kDirnameFormats) {
        const bool artistEnabled = in.ConsumeBool();
        const bool albumEnabled = in.ConsumeBool();
        const ArtistAlbum aa = ArtistAlbumFromPath(path, format, artistEnabled, albumEnabled);
        check((artistEnabled || !aa.artist) && (albumEnabled || !aa.album), "a disabled field got a value");
        check((!aa.artist || CharCount(*aa.artist) <= kArtistAlbumWidth) &&
                  (!aa.album || CharCount(*aa.album) <= kArtistAlbumWidth),
              "a directory value is longer than its field");
        check((!aa.artist || !strayFrom(*aa.artist, {path})) && (!aa.album || !strayFrom(*aa.album, {path})),
              "a directory value ends in half a character");
        if (format == DirnameFormat::Unselected || format == DirnameFormat::NoFetching)
            check(!aa.artist && !aa.album, "a directory value without fetching");
    }
    (void)ToAnsi(artist);

    const QString search = takeText(in, 24);
    const QString replacement = takeText(in, 24);
    checkReplace(LeftChars(name, kMaxReplacedNameLength), search, replacement);
    return 0;
}
