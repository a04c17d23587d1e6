#pragma once

#include "commands/TagFields.h"

#include <QDialog>
#include <QStringList>
#include <array>

class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// Longest inputs of the tag dialog's fields, in characters.
inline constexpr int kTrackInputLength = 2;

// The dialog's input fields.
enum class TagField { Title, Artist, Album, Year, Comment, Track, Genre };

// The tag dialog: one file's ID3v1 fields beside its stream facts. It is created once and
// kept for the whole run; its fields keep their texts and editable states between showings,
// so every caller sets what it needs (title, file name, tag, facts, editable fields) before
// showing it. Save (also Enter) accepts; Cancel, Escape from any widget and the close box
// reject.
class TagDialog : public QDialog {
    Q_OBJECT

public:
    explicit TagDialog(QWidget* parent = nullptr);

    // The name of the file being edited, shown as plain text in the strip at the top.
    void setFileName(const QString& name);
    // Shows a tag's texts, track (decimal, empty for 0) and genre (the empty entry for a byte
    // that names no genre). A track of 100..255 widens the two-character Track field for the
    // showing, so that it is shown whole and saved unchanged.
    void setTag(const TagTexts& tag);
    // The fields as they stand: the texts as typed, the Track text read as a decimal number
    // (0 when it is not one) with its low 8 bits kept, and the chosen genre's byte.
    TagTexts tag() const;
    // With `whole`, the text fields, Year and Track take an ID3v2 tag's texts whole (no limit
    // but the toolkit's); without, they take the ID3v1 widths, as always. Kept between showings.
    void setWholeTexts(bool whole);
    // Shows an ID3v2 tag's texts whole: the track as its text ("3/12"), the genre by name (the
    // empty entry for a name not in the list). Call setWholeTexts(true) first.
    void setTexts(const Id3v2Texts& texts);
    // The fields as ID3v2 texts, as typed: Track's text, the chosen genre's name.
    Id3v2Texts texts() const;
    // The Information box's lines (none: empty).
    void setStreamFacts(const QStringList& lines);
    // An editable field has the normal window (edit) background; one that is not is disabled
    // and painted in the button-face colour.
    void setEditable(TagField field, bool editable);
    void setAllEditable(bool editable);

private:
    QWidget* fieldWidget(TagField field) const;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The window's own look at every key before the focused widget: Escape rejects.
    bool rejectOnEscape(QKeyEvent* event);

    QLabel* fileNameLabel_;
    QLineEdit* titleEdit_;
    QLineEdit* artistEdit_;
    QLineEdit* albumEdit_;
    QLineEdit* yearEdit_;
    QLineEdit* commentEdit_;
    QLineEdit* trackEdit_;
    QComboBox* genreCombo_;
    QPlainTextEdit* streamFactsView_;
    QPushButton* saveButton_;
    QPushButton* cancelButton_;
    bool whole_ = false;
};
