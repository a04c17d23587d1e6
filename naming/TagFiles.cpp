#include "naming/TagFiles.h"

#include "commands/AskShortFilename.h"
#include "commands/Edit.h"
#include "commands/GenreList.h"
#include "commands/Prompts.h"
#include "commands/RenameFile.h"
#include "core/AnsiText.h"
#include "core/Batch.h"
#include "core/FileName.h"
#include "core/Id3Tag.h"
#include "core/ProgramOptions.h"
#include "core/TagFile.h"
#include "naming/Formats.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// A tag text as the dialog shows it: its bytes up to the first zero byte.
QString ShownText(const char* field, int width) {
    return FromAnsi(field, qsizetype(strnlen(field, size_t(width))));
}
template <std::size_t N> QString ShownText(const char (&field)[N]) {
    return ShownText(field, int(N));
}

void TrimInPlace(QLineEdit* field) {
    field->setText(TrimControl(field->text()));
}

// Whether the name's missing shape matters: only when a field taken from it is to be written.
bool FormatErrorCounts(int format, const SplitName& split, const Id3FieldMask& mask) {
    switch (format) {
    case 0:
        return split.title.isEmpty() && mask.title;
    case 1:
    case 2:
        return split.formatError && (mask.title || mask.artist);
    default:
        return false;
    }
}

enum class LongField { Title, Artist };

// The song or artist prompt: the dialog shows the tag as this file's steps have filled it,
// with only the long field (and Comment) editable. Save stores the edited field and, when
// Comment is marked, the comment.
void AskShorterField(const TagFilesContext& c, const QString& name, LongField which, const QString& parsed) {
    TForm2& d = c.dialog;
    const bool title = which == LongField::Title;
    d.setWindowTitle(title ? QStringLiteral("Song name exceeds 30 characters!")
                           : QStringLiteral("Artist name exceeds 30 characters!"));
    d.Label7->setText(DisplayFileName(name));
    d.Edit1->setText(title ? parsed.left(kTextWidth) : ShownText(CurrentTag.title));
    d.Edit2->setText(title ? ShownText(CurrentTag.artist) : parsed.left(kTextWidth));
    d.Edit3->setText(ShownText(CurrentTag.album));
    d.Edit4->setText(ShownText(CurrentTag.year));
    d.Edit5->setText(ShownText(CurrentTag.comment));
    d.setTrack(CurrentTag.track);
    SelectGenre(d.ComboBox1, CurrentTag.genre);
    d.Memo1->clear();
    d.setFieldEnabled(d.Edit1, title);
    d.setFieldEnabled(d.Edit2, !title);
    for (QWidget* field : {static_cast<QWidget*>(d.Edit3), static_cast<QWidget*>(d.Edit4),
                           static_cast<QWidget*>(d.Edit6), static_cast<QWidget*>(d.ComboBox1)})
        d.setFieldEnabled(field, false);
    d.setFieldEnabled(d.Edit5, true);

    if (c.prompts.showModal(d) != QDialog::Accepted)
        return;
    if (title && c.mask.title)
        SetTextField(d.Edit1->text(), CurrentTag.title);
    if (!title && c.mask.artist)
        SetTextField(d.Edit2->text(), CurrentTag.artist);
    if (c.mask.comment)
        SetCommentField(d.Edit5->text(), CurrentTag.comment);
}

BatchStep TagOneFile(const TagFilesContext& c, const QString& name) {
    const SplitName split = SplitFilename(name, c.filenameFormat, c.fields.artist->text());
    if (FormatErrorCounts(c.filenameFormat, split, c.mask) &&
        !c.prompts.errorQuestion(QStringLiteral("Filename format error in file \"%1\". Continue batch?")
                                     .arg(DisplayFileName(name))))
        return BatchStep::Stop;

    ReadTag(name);
    SetTagMagic(CurrentTag);
    const Id3FieldMask& m = c.mask;
    if (m.title)
        SetTextField(split.title, CurrentTag.title);
    if (m.artist)
        SetTextField(split.artist, CurrentTag.artist);
    if (m.album)
        SetTextField(c.fields.album->text(), CurrentTag.album);
    if (m.year) {
        const auto year = YearField(c.fields.year->text());
        std::copy(year.begin(), year.end(), CurrentTag.year);
    }
    if (m.comment)
        SetCommentField(c.fields.comment->text(), CurrentTag.comment);
    if (m.track)
        CurrentTag.track = uint8_t(split.track & 0xFF);
    if (m.genre)
        CurrentTag.genre = uint8_t(ChosenGenre(c.fields.genre));

    if (split.title.size() > kTextWidth && m.title && c.ask)
        AskShorterField(c, name, LongField::Title, split.title);
    if (split.artist.size() > kTextWidth && m.artist && c.ask)
        AskShorterField(c, name, LongField::Artist, split.artist);

    WriteTag(name);
    // The counter is a stored 32-bit value; it stops at its largest value instead of wrapping.
    if (Options.uses < std::numeric_limits<int32_t>::max())
        ++Options.uses;

    CandidateFilename = name;
    AskShortFilename(CandidateFilename, c.ask64, c.prompts);
    if (CandidateFilename != name)
        RenameFile(name, CandidateFilename);
    return BatchStep::Continue;
}

} // namespace

void TagFiles(const TagFilesContext& context) {
    if (!context.files.anySelected())
        return;
    TrimInPlace(context.fields.artist);
    TrimInPlace(context.fields.album);
    TrimInPlace(context.fields.comment);
    RunBatch(context.files, [&](const QString& name) { return TagOneFile(context, name); });
}
