#include "commands/RenamePlan.h"

#include "core/AnsiText.h"
#include "core/TagFile.h"
#include "naming/ReplaceInName.h"
#include "naming/TrimFilename.h"

namespace {

// A name part from a whole 30-byte tag field. Trimming takes off the padding; a zero byte left
// inside (text after the first zero) cannot go into a file name, so the part ends there.
QString NamePart(const char (&field)[kTextWidth]) {
    QString text = TrimControl(RemoveInvalidChars(FromAnsi(field, kTextWidth)));
    const qsizetype zero = text.indexOf(QChar(0));
    if (zero >= 0)
        text = TrimControl(text.left(zero));
    return text;
}

std::optional<QString> NameFromTags(const QString& name, const RenameRule& rule) {
    // An entry whose tag cannot be read (it vanished, or a folder took its name) is skipped.
    const std::optional<FileTag> read = ReadTag(name);
    if (!read)
        return std::nullopt;
    const QString title = NamePart(read->tag.title);
    const QString artist = NamePart(read->tag.artist);
    if (title.isEmpty() && artist.isEmpty())
        return std::nullopt;
    const QString built = BuildFilename(read->tag.track, artist, title, rule.format, rule.separator);
    if (built.isEmpty()) // no filename format chosen
        return std::nullopt;
    return built;
}

} // namespace

bool IsUsableBuiltName(const QString& name) {
    return !name.isEmpty() && !name.startsWith(QLatin1Char('.'));
}

std::optional<QString> PlanRename(const QString& name, const RenameRule& rule) {
    std::optional<QString> planned;
    switch (rule.kind) {
    case RenameRule::Kind::FromTags:
        planned = NameFromTags(name, rule);
        break;
    case RenameRule::Kind::Trim:
        planned = TrimFilename(name, rule.format, rule.nameCase, rule.separator);
        break;
    case RenameRule::Kind::Replace:
        planned = ReplaceInName(name, rule.search, rule.replacement).value_or(name);
        break;
    }
    if (planned && *planned != name && !IsUsableBuiltName(*planned))
        return std::nullopt;
    return planned;
}
