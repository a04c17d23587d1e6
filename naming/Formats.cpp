#include "naming/Formats.h"

#include "core/TextLength.h"

namespace {

const QString kTrackDot = QStringLiteral(". ");
const QString kDash = QStringLiteral(" - ");
const QString kExtension = QStringLiteral(".mp3");
constexpr int kExtensionLength = 4;
constexpr int kTrackWidth = 2;

// Characters first..last, counted from 1; empty when the range holds nothing.
QString chars(const QString& s, qsizetype first, qsizetype last) {
    if (first < 1)
        first = 1;
    if (first > last)
        return {};
    return MidChars(s, first - 1, last - first + 1);
}

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Character position (from 1) of the first `what` in `s`, 0 when there is none.
qsizetype find(const QString& s, const QString& what) {
    const qsizetype offset = IndexOfChars(s, what);
    return offset < 0 ? 0 : CharPosition(s, offset) + 1;
}

bool startsWithTrackSeparator(const QString& name, const QString& sep) {
    return chars(name, 3, 2 + CharCount(sep)) == sep;
}

QString lastComponent(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString parentPath(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

} // namespace

int TrackNumber(const QString& name) {
    const QString text = LeftChars(name, kTrackWidth);
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return 0; // blanks or a bare sign: not a number
    int value = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text.at(i)))
            return 0;
        value = value * 10 + (text.at(i).unicode() - '0');
    }
    return negative ? -value : value;
}

SplitName SplitFilename(const QString& name, FilenameFormat format, const QString& artistField) {
    SplitName out;
    const qsizetype L = CharCount(name);
    switch (format) {
    case FilenameFormat::TrackTitle:
        out.track = TrackNumber(name);
        if (startsWithTrackSeparator(name, kTrackDot))
            out.title = chars(name, 5, L - kExtensionLength);
        else if (startsWithTrackSeparator(name, kDash))
            out.title = chars(name, 6, L - kExtensionLength);
        out.artist = artistField;
        out.formatError = out.title.isEmpty();
        break;
    case FilenameFormat::TrackArtistTitle: {
        out.track = TrackNumber(name);
        QString rest; // still holds the extension
        if (startsWithTrackSeparator(name, kTrackDot))
            rest = chars(name, 5, L);
        else if (startsWithTrackSeparator(name, kDash))
            rest = chars(name, 6, L);
        const qsizetype p = rest.isEmpty() ? 0 : find(rest, kDash);
        if (p > 0) {
            out.artist = chars(rest, 1, p - 1);
            out.title = chars(rest, p + 3, CharCount(rest) - kExtensionLength);
        } else {
            out.formatError = true;
        }
        break;
    }
    case FilenameFormat::ArtistTitle: {
        const qsizetype p = find(name, kDash);
        if (p >= 1) {
            out.artist = chars(name, 1, p - 1);
            out.title = chars(name, p + 3, L - kExtensionLength);
        } else {
            out.formatError = true;
        }
        break;
    }
    case FilenameFormat::Title:
        out.title = chars(name, 1, L - kExtensionLength);
        out.artist = artistField;
        break;
    case FilenameFormat::None:
        break;
    }
    return out;
}

QString BuildFilename(int track, const QString& artist, const QString& title, FilenameFormat format,
                      TrackSeparator separator) {
    QString number;
    if (track != 0)
        number = QString::asprintf("%2.2d", track) + (separator == TrackSeparator::Dot ? kTrackDot : kDash);
    switch (format) {
    case FilenameFormat::TrackTitle:
        return number + title + kExtension;
    case FilenameFormat::TrackArtistTitle:
        return number + artist + kDash + title + kExtension;
    case FilenameFormat::ArtistTitle:
        return artist + kDash + title + kExtension;
    case FilenameFormat::Title:
        return title + kExtension;
    case FilenameFormat::None:
        break;
    }
    return {};
}

ArtistAlbum ArtistAlbumFromPath(const QString& path, DirnameFormat format, bool artistEnabled,
                                bool albumEnabled) {
    std::optional<QString> artist;
    std::optional<QString> album;
    switch (format) {
    case DirnameFormat::ArtistDashAlbum: {
        const QString comp = lastComponent(path);
        const qsizetype p = find(comp, kDash);
        if (p > 0) {
            artist = chars(comp, 1, p - 1);
            album = MidChars(comp, p - 1 + CharCount(kDash));
        } else {
            album = comp;
        }
        break;
    }
    case DirnameFormat::ArtistSlashAlbum:
        album = lastComponent(path);
        artist = lastComponent(parentPath(path));
        break;
    case DirnameFormat::ArtistAlbumDisc: {
        const QString withoutDisc = parentPath(path);
        album = lastComponent(withoutDisc);
        artist = lastComponent(parentPath(withoutDisc));
        break;
    }
    case DirnameFormat::Artist:
        artist = lastComponent(path);
        break;
    case DirnameFormat::Album:
        album = lastComponent(path);
        break;
    case DirnameFormat::Unselected:
    case DirnameFormat::NoFetching:
        break;
    }
    ArtistAlbum out;
    if (artist && artistEnabled)
        out.artist = LeftChars(*artist, kArtistAlbumWidth);
    if (album && albumEnabled)
        out.album = LeftChars(*album, kArtistAlbumWidth);
    return out;
}

QString RemoveInvalidChars(const QString& text) {
    static const QString invalid = QStringLiteral("\"*/:<>?\\|");
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (!invalid.contains(c))
            out.append(c);
    }
    return out;
}
