#pragma once

#include "commands/Prompts.h"

class QDialog;
class TagDialog;

// The prompts as the window answers them: every dialog shown through showModal, and Tag files'
// and Edit tags' questions in the one tag dialog the window keeps.
class WindowPrompts : public Prompts {
public:
    // The dialog the tag questions are asked in (not owned). Without one they are answered as
    // if cancelled.
    void setTagDialog(TagDialog* dialog) { tagDialog_ = dialog; }
    // Titled "Song name exceeds 30 characters!" or "Artist name exceeds 30 characters!", no
    // stream facts.
    bool shortenLongText(LongField which, const QString& fileName, TagTexts& tag) override;
    // Titled "Edit"; after Save the fields show the texts as written (TrimEditedTexts).
    bool editTag(TagEdit& edit) override;
    // Shows `dialog` modally and returns its result (QDialog::Accepted or Rejected).
    virtual int showModal(QDialog& dialog) = 0;

private:
    TagDialog* tagDialog_ = nullptr;
};
