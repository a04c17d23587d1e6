#include "commands/TagFilesCommand.h"

#include "commands/AskShortFilename.h"
#include "commands/Prompts.h"
#include "core/AnsiText.h"
#include "core/FileName.h"
#include "core/Id3v2Write.h"
#include "core/TagFile.h"
#include "core/TextLength.h"

namespace {

// Whether the name's missing shape matters: only when a field taken from it is to be written.
bool FormatErrorCounts(FilenameFormat format, const SplitName& split, const Id3FieldMask& mask) {
    switch (format) {
    case FilenameFormat::TrackTitle:
        return split.title.isEmpty() && mask.title;
    case FilenameFormat::TrackArtistTitle:
    case FilenameFormat::ArtistTitle:
        return split.formatError && (mask.title || mask.artist);
    case FilenameFormat::Title:
    case FilenameFormat::None:
        break;
    }
    return false;
}

class TagOneFile {
public:
    TagOneFile(const BatchContext& context, const TagFilesOptions& options, ChangeGroup* group = nullptr)
        : context_(context), options_(options), group_(group) {}

    BatchStep operator()(const QString& name) const {
        const Id3FieldMask& mask = options_.fields.mask;
        const SplitName split = SplitFilename(name, options_.format, options_.fields.artist);
        if (FormatErrorCounts(options_.format, split, mask) &&
            !context_.prompts.errorQuestion(
                QStringLiteral("Filename format error in file \"%1\". Continue batch?")
                    .arg(DisplayFileName(name))))
            return BatchStep::Stop;

        const TagTexts texts{split.title,
                             split.artist,
                             options_.fields.album,
                             options_.fields.year,
                             options_.fields.comment,
                             split.track,
                             options_.fields.genre};
        const auto edit = [&](FileTag& fileTag) {
            SetTagFields(fileTag.tag, texts, mask);
            bool asked = false;
            if (CharCount(split.title) > kTextWidth && mask.title && options_.askLongTitle) {
                askShorter(fileTag.tag, name, LongField::Title, split.title);
                asked = true;
            }
            if (CharCount(split.artist) > kTextWidth && mask.artist && options_.askLongTitle) {
                askShorter(fileTag.tag, name, LongField::Artist, split.artist);
                asked = true;
            }
            return asked;
        };
        if (group_ != nullptr) {
            FileTag fileTag = ReadTag(name).value_or(FileTag{});
            edit(fileTag);
            const Id3v2Outcome outcome = writeBoth(name, split, fileTag.tag);
            RenameToCandidate(name, name, options_.askLongFilename, context_.prompts);
            return outcome == Id3v2Outcome::Rewritten ? BatchStep::Held
                   : outcome == Id3v2Outcome::InPlace ? BatchStep::Changed
                                                      : BatchStep::Unchanged;
        }
        // One open of the file serves the read and the write.
        const bool written = UpdateTag(name, edit);
        RenameToCandidate(name, name, options_.askLongFilename, context_.prompts);
        return written ? BatchStep::Changed : BatchStep::Unchanged;
    }

private:
    // Both tags as one change: the ID3v2 tag gets the marked fields whole.
    Id3v2Outcome writeBoth(const QString& name, const SplitName& split, const ID3Tag& trailer) const {
        const Id3v2Texts texts{split.title,
                               split.artist,
                               options_.fields.album,
                               options_.fields.year,
                               options_.fields.comment,
                               split.track != 0 ? QString::number(split.track) : QString(),
                               GenreName(options_.fields.genre)};
        const Id3FieldMask& mask = options_.fields.mask;
        // A name the user may be asked to shorten must not change under a held rewrite.
        if (options_.askLongFilename && CharCount(name) > kShortFilenameLimit)
            return WriteBothTags(name, trailer, texts, mask) ? Id3v2Outcome::InPlace
                                                             : Id3v2Outcome::Untouched;
        return WriteBothTags(*group_, name, trailer, texts, mask);
    }

    // The song or artist prompt: it shows the tag as this file's steps have filled it, with only
    // the long field (and Comment) editable. Save stores the edited field and, when Comment is
    // marked, the comment.
    void askShorter(ID3Tag& tag, const QString& name, LongField which, const QString& parsed) const {
        const bool title = which == LongField::Title;
        TagTexts shown = ShownTagTexts(tag);
        if (title)
            shown.title = LeftChars(parsed, kTextWidth);
        else
            shown.artist = LeftChars(parsed, kTextWidth);
        if (!context_.prompts.shortenLongText(which, DisplayFileName(name), shown))
            return;
        Id3FieldMask keep{false, false, false, false, false, false, false};
        keep.title = title && options_.fields.mask.title;
        keep.artist = !title && options_.fields.mask.artist;
        keep.comment = options_.fields.mask.comment;
        SetTagFields(tag, shown, keep);
    }

    const BatchContext& context_;
    const TagFilesOptions& options_;
    ChangeGroup* group_;
};

} // namespace

BatchReport TagFilesCommand(const BatchContext& context, const TagFilesOptions& options) {
    if (!context.files.anySelected())
        return {};
    TagFilesOptions trimmed = options;
    trimmed.fields.artist = TrimControl(options.fields.artist);
    trimmed.fields.album = TrimControl(options.fields.album);
    trimmed.fields.comment = TrimControl(options.fields.comment);
    if (!trimmed.useId3v2)
        return RunBatch(context.files, context.progress, TagOneFile(context, trimmed));
    // The ID3v2 rewrites end in groups: one sync serves many files.
    ChangeGroup group;
    const BatchReport report =
        RunBatch(context.files, context.progress,
                 GroupedWork{TagOneFile(context, trimmed, &group), [&] { group.finish(); },
                             [&] { return group.full(); }, [&] { return group.leftAlone(); }});
    NoticeLeftAlone(context.prompts, report.leftAlone);
    return report;
}
