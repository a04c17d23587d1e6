#include "commands/RenamePlan.h"

#include "core/AnsiText.h"
#include "core/RenameFile.h"
#include "core/TagValues.h"
#include "naming/ReplaceInName.h"
#include "naming/TrimFilename.h"

namespace {

// A name part from a tag text: the characters a file name may not hold dropped, codes 0..32
// trimmed. A zero byte left inside (text after the first zero of an ID3v1 field) cannot go into
// a file name, so the part ends there.
QString NamePart(const QString& tagText) {
    QString text = TrimControl(RemoveInvalidChars(tagText));
    const qsizetype zero = text.indexOf(QChar(0));
    if (zero >= 0)
        text = TrimControl(text.left(zero));
    return text;
}

// From a whole 30-byte ID3v1 field, padding included: trimming takes the padding off.
QString NamePart(const char (&field)[kTextWidth]) {
    return NamePart(FromAnsi(field, kTextWidth));
}

std::optional<QString> NameFromTags(const QString& name, const RenameRule& rule,
                                    std::optional<EntrySnapshot>* seen) {
    // An entry whose tag cannot be read (it vanished, or a folder took its name) is skipped.
    const std::optional<TagValues> read = ReadTagValues(name, rule.useId3v2);
    if (!read)
        return std::nullopt;
    if (seen)
        *seen = read->entry;
    QString title;
    QString artist;
    int track = 0;
    if (read->source == TagSource::Id3v2) {
        // Whole and in Unicode: the name is not held to the ID3v1 tag's 30 bytes.
        title = NamePart(read->texts.title);
        artist = NamePart(read->texts.artist);
        track = TrackTextNumber(read->texts.track);
    } else {
        // A file without a trailer reads as an all-zero one, so both texts come out empty.
        title = NamePart(read->id3v1.tag.title);
        artist = NamePart(read->id3v1.tag.artist);
        track = read->id3v1.tag.track;
    }
    if (title.isEmpty() && artist.isEmpty())
        return std::nullopt;
    const QString built = BuildFilename(track, artist, title, rule.format, rule.separator);
    if (built.isEmpty()) // no filename format chosen
        return std::nullopt;
    return built;
}

} // namespace

bool IsUsableBuiltName(const QString& name) {
    return !name.isEmpty() && !name.startsWith(QLatin1Char('.'));
}

std::optional<QString> PlanRename(const QString& name, const RenameRule& rule,
                                  std::optional<EntrySnapshot>* seen) {
    std::optional<QString> planned;
    switch (rule.kind) {
    case RenameRule::Kind::FromTags:
        planned = NameFromTags(name, rule, seen);
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

PlannedRename PlanRenameToMake(const QString& name, const RenameRule& rule) {
    PlannedRename plan;
    plan.name = PlanRename(name, rule, &plan.seen);
    if (rule.kind == RenameRule::Kind::Trim && plan.name && *plan.name != name)
        plan.seen = LookAtEntry(name);
    return plan;
}
