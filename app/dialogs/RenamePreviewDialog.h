#pragma once

#include "commands/RenamePreview.h"

#include <QDialog>
#include <QList>
#include <QStringList>

class Prompts;
class QComboBox;
class QTableWidget;

// "Preview renames": the rule to preview (Rename from tags, Trim filenames or Search and
// replace, which asks its two texts like the command) and a table of the selected files. Apply
// accepts (the caller runs the real command with rule()); Close rejects.
class RenamePreviewDialog : public QDialog {
    Q_OBJECT

public:
    // `rules` holds the rule of each choice with the window's current formats; `prompts` asks the
    // search and replacement texts.
    RenamePreviewDialog(const QStringList& selected, QList<RenameRule> rules, Prompts& prompts,
                        QWidget* parent = nullptr);
    // The rule shown, with the texts given for Search and replace.
    RenameRule rule() const { return rules_.value(current_); }
    // Shows the preview of the choice at `index` (0 Rename from tags, 1 Trim filenames, 2 Search
    // and replace). Search and replace first asks its texts; when they are cancelled the choice
    // goes back to what it was.
    void choose(int index);

private:
    void fill();

    QStringList selected_;
    QList<RenameRule> rules_;
    Prompts& prompts_;
    int current_ = 0;
    QComboBox* ruleCombo_;
    QTableWidget* table_;
};
