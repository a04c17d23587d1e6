#pragma once

#include <QString>
#include <optional>

// The filename formats (FilenameFormat): 0 "xx. song.mp3", 1 "xx. artist - song.mp3",
// 2 "artist - song.mp3", 3 "song.mp3"; -1 when none is chosen.
// The directory-name formats (DirnameFormat): 0 none, 1 "artist - album", 2 "artist / album",
// 3 "artist / album / disc /", 4 "artist", 5 "album"; -1 acts like 0.
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
// formats 0 and 3. Any other format (-1) gives track 0, empty texts and no format error.
SplitName SplitFilename(const QString& name, int filenameFormat, const QString& artistField);

// Puts a name together from tag fields, ending in ".mp3". The track, when not 0, is written
// with at least two digits and followed by ". " (numbersTo 0) or " - " (numbersTo 1).
// Separators stay even when a part is empty. A format outside 0..3 builds no name: the result
// is then the empty string and the caller keeps the file's name.
QString BuildFilename(int track, const QString& artist, const QString& title, int filenameFormat,
                      int numbersTo);

// The Artist and Album texts that the current directory's path gives. A value is absent when
// its field is to be left as it is: the format does not fill it, or the field is disabled.
struct ArtistAlbum {
    std::optional<QString> artist;
    std::optional<QString> album;
};
// The maximum length of the Artist and Album fields; longer values are cut.
inline constexpr int kArtistAlbumWidth = 30;

// The values of the directory-name rule for an absolute path ("/" separates components; the
// root "/" has an empty last component and an empty parent). Formats outside 1..5 give nothing.
ArtistAlbum ArtistAlbumFromPath(const QString& path, int dirnameFormat, bool artistEnabled,
                                bool albumEnabled);

// The nine characters a file name may not hold, each dropped wherever it occurs.
QString RemoveInvalidChars(const QString& text);
