#pragma once

#include <QString>
#include <array>
#include <optional>

// How a file name is read and written. The numbers are the ones the settings store.
enum class FilenameFormat {
    None = -1,            // no format chosen
    TrackTitle = 0,       // "xx. song.mp3" / "xx - song.mp3"
    TrackArtistTitle = 1, // "xx. artist - song.mp3" / "xx - artist - song.mp3"
    ArtistTitle = 2,      // "artist - song.mp3"
    Title = 3,            // "song.mp3"
};
inline constexpr int kFilenameFormatCount = 4;

// Which folder names give the Artist and Album fields. The numbers are the ones the settings
// store.
enum class DirnameFormat {
    Unselected = -1,      // no entry chosen: acts like NoFetching
    NoFetching = 0,       // "no artist / album fetching"
    ArtistDashAlbum = 1,  // the folder is "artist - album"
    ArtistSlashAlbum = 2, // ".../artist/album"
    ArtistAlbumDisc = 3,  // ".../artist/album/disc"
    Artist = 4,           // the folder is the artist
    Album = 5,            // the folder is the album
};
inline constexpr int kDirnameFormatCount = 6;

// The formats as the window's lists show them, in the order of their numbers; the command line
// takes these texts as names.
inline constexpr std::array<const char*, kFilenameFormatCount> kFilenameFormatCaptions = {
    "xx. song.mp3 / xx - song.mp3", "xx. artist - song.mp3 / xx - artist - song.mp3", "artist - song.mp3",
    "song.mp3"};
inline constexpr std::array<const char*, kDirnameFormatCount> kDirnameFormatCaptions = {
    "no artist / album fetching", "artist - album", "artist \\ album",
    "artist \\ album \\ disc \\", "artist",         "album"};

// How Trim filenames re-cases a name.
enum class NameCase {
    Capitalize = 0, // every word capitalised
    Sentence = 1,   // only the first letter, and the one after the first " - "
};

// What follows a track number in a built or trimmed name.
enum class TrackSeparator {
    Dot = 0,  // "xx. "
    Dash = 1, // "xx - "
};

// Positions in names count characters; a range past the end is empty, never an error.

// What a filename says under one filename format.
struct SplitName {
    int track = 0; // 0 = no track number
    QString artist;
    QString title;
    bool formatError = false; // the name does not have the format's shape
};

// The track number in the first two characters of `name`, read like a standard
// string-to-integer conversion with default 0: leading blanks skipped, an optional sign,
// anything else not a number. "07" -> 7, " 7" -> 7, "7." -> 0, "7 " -> 0; "101" reads "10".
int TrackNumber(const QString& name);

// Takes a listed name (extension included, no directory) apart. The last four characters are
// dropped as the extension whatever they are. `artistField` is returned as the artist under
// TrackTitle and Title. FilenameFormat::None gives track 0, empty texts and no format error.
SplitName SplitFilename(const QString& name, FilenameFormat format, const QString& artistField);

// Puts a name together from tag fields, ending in ".mp3". The track, when not 0, is written
// with at least two digits and followed by the separator. Separators stay even when a part is
// empty. FilenameFormat::None builds no name: the result is then the empty string and the
// caller keeps the file's name.
QString BuildFilename(int track, const QString& artist, const QString& title, FilenameFormat format,
                      TrackSeparator separator);

// The Artist and Album texts that the current directory's path gives. A value is absent when
// its field is to be left as it is: the format does not fill it, or the field is disabled.
struct ArtistAlbum {
    std::optional<QString> artist;
    std::optional<QString> album;
};
// The maximum length of the Artist and Album fields; longer values are cut.
inline constexpr int kArtistAlbumWidth = 30;

// The values of the directory-name rule for an absolute path ("/" separates components; the
// root "/" has an empty last component and an empty parent). NoFetching and Unselected give
// nothing.
ArtistAlbum ArtistAlbumFromPath(const QString& path, DirnameFormat format, bool artistEnabled,
                                bool albumEnabled);

// The nine characters a file name may not hold, each dropped wherever it occurs.
QString RemoveInvalidChars(const QString& text);
