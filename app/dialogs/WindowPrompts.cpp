#include "app/dialogs/WindowPrompts.h"

#include "app/dialogs/TagDialog.h"
#include "commands/EditTagsCommand.h"

bool WindowPrompts::shortenLongText(LongField which, const QString& fileName, TagTexts& tag) {
    if (tagDialog_ == nullptr)
        return false;
    TagDialog& dialog = *tagDialog_;
    const bool title = which == LongField::Title;
    dialog.setWindowTitle(title ? QStringLiteral("Song name exceeds 30 characters!")
                                : QStringLiteral("Artist name exceeds 30 characters!"));
    dialog.setFileName(fileName);
    dialog.setWholeTexts(false);
    dialog.setTag(tag);
    dialog.setStreamFacts({});
    dialog.setAllEditable(false);
    dialog.setEditable(title ? TagField::Title : TagField::Artist, true);
    dialog.setEditable(TagField::Comment, true);
    if (showModal(dialog) != QDialog::Accepted)
        return false;
    tag = dialog.tag();
    return true;
}

bool WindowPrompts::editTag(TagEdit& edit) {
    if (tagDialog_ == nullptr)
        return false;
    TagDialog& dialog = *tagDialog_;
    dialog.setFileName(edit.fileName);
    dialog.setWindowTitle(QStringLiteral("Edit"));
    dialog.setWholeTexts(edit.whole);
    if (edit.whole)
        dialog.setTexts(edit.texts);
    else
        dialog.setTag(edit.tag);
    dialog.setStreamFacts(edit.streamFacts);
    dialog.setAllEditable(true);
    if (showModal(dialog) != QDialog::Accepted)
        return false;
    if (edit.whole)
        edit.texts = dialog.texts();
    else
        edit.tag = dialog.tag();
    // The dialog stays with the texts as they are written.
    TagEdit written = edit;
    TrimEditedTexts(written);
    if (edit.whole)
        dialog.setTexts(written.texts);
    else
        dialog.setTag(written.tag);
    return true;
}
