#include "cli/CliNames.h"

#include "core/Id3Tag.h"

#include <QStringList>
#include <array>

namespace {

std::optional<int> number(const QString& text, int count) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok, 10);
    return ok && n >= 0 && n < count ? std::optional<int>(n) : std::nullopt;
}

// Spaces around separators and a trailing one do not count; "/" is "\".
QString dirnameKey(QString text) {
    text.replace(QLatin1Char('/'), QLatin1Char('\\'));
    text = text.simplified()
               .replace(QStringLiteral(" \\"), QStringLiteral("\\"))
               .replace(QStringLiteral("\\ "), QStringLiteral("\\"));
    if (text.endsWith(QLatin1Char('\\')))
        text.chop(1);
    return text.trimmed().toCaseFolded();
}

} // namespace

std::optional<FilenameFormat> FilenameFormatNamed(const QString& text) {
    if (const auto n = number(text, kFilenameFormatCount))
        return FilenameFormat(*n);
    if (text.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0 ||
        text.trimmed() == QLatin1String("-1"))
        return FilenameFormat::None;
    const QString wanted = text.simplified();
    for (int i = 0; i < kFilenameFormatCount; ++i) {
        const QString caption = QLatin1String(kFilenameFormatCaptions[size_t(i)]);
        QStringList spellings = caption.split(QStringLiteral(" / "));
        spellings.prepend(caption);
        for (const QString& spelling : spellings) {
            if (wanted.compare(spelling, Qt::CaseInsensitive) == 0)
                return FilenameFormat(i);
        }
    }
    return std::nullopt;
}

std::optional<DirnameFormat> DirnameFormatNamed(const QString& text) {
    if (const auto n = number(text, kDirnameFormatCount))
        return DirnameFormat(*n);
    const QString wanted = dirnameKey(text);
    // "no artist / album fetching" holds a "/" of its own, which the key turns like any other.
    for (int i = 0; i < kDirnameFormatCount; ++i) {
        if (wanted == dirnameKey(QLatin1String(kDirnameFormatCaptions[size_t(i)])))
            return DirnameFormat(i);
    }
    return std::nullopt;
}

std::optional<int> GenreNamed(const QString& text) {
    if (text.trimmed().isEmpty() || text.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0)
        return kNoGenre;
    if (const auto n = number(text, kGenreCount))
        return *n;
    for (int i = 0; i < kGenreCount; ++i) {
        if (text.trimmed().compare(QLatin1String(GenreNames[size_t(i)]), Qt::CaseInsensitive) == 0)
            return i;
    }
    return std::nullopt;
}
