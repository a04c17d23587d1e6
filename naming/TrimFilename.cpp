#include "naming/TrimFilename.h"

#include "core/AnsiText.h"
#include "core/TextLength.h"

namespace {

constexpr int kExtensionLength = 4;
const QString kExtension = QStringLiteral(".mp3");
const QString kDash = QStringLiteral(" - ");
// A letter after one of these starts a word.
const QString kWordBreaks = QStringLiteral(" !()+-.[]");
// What may stand between a track number and the rest of the name.
const QString kAfterNumber = QStringLiteral("-. ");

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Only A..Z are lowered; accented capitals keep their case.
QString lowered(QString s) {
    for (QChar& c : s) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return s;
}

// Only a..z and the three letters ä, ö and å are raised.
QChar raised(QChar c) {
    if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
        return QChar(c.unicode() - ('a' - 'A'));
    switch (c.unicode()) {
    case 0xE4: // ä
        return QChar(0xC4);
    case 0xF6: // ö
        return QChar(0xD6);
    case 0xE5: // å
        return QChar(0xC5);
    default:
        return c;
    }
}

} // namespace

QString TrimFilename(const QString& name, FilenameFormat format, NameCase nameCase,
                     TrackSeparator separator) {
    QString s = ChopChars(TrimControl(name), kExtensionLength);
    QString prefix;

    if (format == FilenameFormat::TrackTitle || format == FilenameFormat::TrackArtistTitle) {
        s.replace(QLatin1Char('_'), QLatin1Char(' '));
        if (!s.isEmpty() && isDigit(s.at(0))) {
            if (s.size() < 2 || !isDigit(s.at(1)))
                s.prepend(QLatin1Char('0'));
            prefix = s.left(2);
            s.remove(0, 2);
            while (!s.isEmpty() && kAfterNumber.contains(s.at(0)))
                s.remove(0, 1);
            prefix += separator == TrackSeparator::Dot ? QStringLiteral(". ") : kDash;
        }
    }

    if (format == FilenameFormat::TrackArtistTitle || format == FilenameFormat::ArtistTitle) {
        const qsizetype hyphen = s.indexOf(QLatin1Char('-'));
        const bool blankAfter = hyphen + 1 < s.size() && s.at(hyphen + 1) == QLatin1Char(' ');
        if (hyphen > 0 && s.at(hyphen - 1) != QLatin1Char(' ') && !blankAfter) {
            s.insert(hyphen + 1, QLatin1Char(' '));
            s.insert(hyphen, QLatin1Char(' '));
        }
    }

    s = lowered(s);
    if (nameCase == NameCase::Capitalize) {
        for (qsizetype i = 0; i < s.size(); ++i) {
            if (i == 0 || kWordBreaks.contains(s.at(i - 1)))
                s[i] = raised(s.at(i));
        }
    } else if (!s.isEmpty()) {
        s[0] = raised(s.at(0));
        const qsizetype dash = s.indexOf(kDash);
        if (dash >= 0 && dash + kDash.size() < s.size())
            s[dash + kDash.size()] = raised(s.at(dash + kDash.size()));
    }

    return prefix + s + kExtension;
}
