#pragma once

#include <QDialog>
#include <array>

class FileSelection;
class Prompts;
class QComboBox;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// Longest inputs of the tag dialog's fields, in characters.
inline constexpr int kTrackInputLength = 2;

// The tag dialog: one file's ID3v1 fields beside its stream facts. It is created once and
// kept for the whole run; its widgets keep their texts and enabled states between showings,
// so every caller sets what it needs (caption, Label7, fields, genre, Memo1, enabled states)
// before showing it. Save (also Enter) accepts; Cancel, Escape from any widget and the close
// box reject.
class TForm2 : public QDialog {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);

    QFrame* Panel1;        // the framed strip holding Label7
    QLabel* Label7;        // the name of the file being edited (plain text)
    QGroupBox* GroupBox1;  // " ID3 tag "
    QLineEdit* Edit1;      // Title, 30 characters
    QLineEdit* Edit2;      // Artist, 30
    QLineEdit* Edit3;      // Album, 30
    QLineEdit* Edit4;      // Year, 4
    QLineEdit* Edit5;      // Comment, 28
    QLineEdit* Edit6;      // Track, 2 (see setTrack)
    QComboBox* ComboBox1;  // Genre: the sorted genre names and one empty entry, no typing
    QGroupBox* GroupBox2;  // " Information "
    QPlainTextEdit* Memo1; // stream facts; read-only, borderless, never focused
    QFrame* Panel2;        // the frame around the buttons
    QPushButton* Button1;  // "&Save", the default button
    QPushButton* Button2;  // "Canc&el"

    // Enables or disables an input field and gives it the matching background: the normal
    // window (edit) colour when enabled, the button-face colour when disabled.
    void setFieldEnabled(QWidget* field, bool enabled);
    // Shows a track byte in Track: decimal, empty for 0. The field's limit of two typed
    // characters is widened for the showing when the value needs three, so that a track of
    // 100..255 is shown whole and saved unchanged instead of being cut to its first digits.
    void setTrack(int track);
    // The seven input fields in their visual order: Track, Title, Artist, Album, Year, Genre,
    // Comment.
    std::array<QWidget*, 7> inputFields() const;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    // The window's own look at every key before the focused widget: Escape rejects.
    bool FormKeyDown(QKeyEvent* event);
};

// Fills the dialog from the program-wide Mp3Info record: caption "Edit", the seven fields and
// the Information lines. Leaves enabled states, colours and Label7 to the caller.
void StreamInfoText(TForm2& dialog);

// "Edit tags": for each selected file in list order, deselects it, shows its tag and stream
// facts in the dialog and, on Save, writes all seven fields as the file's ID3v1 tag. Cancel
// skips the file. The list is not re-read. A CommandError from reading or writing a file
// propagates at once; the entries after it stay selected.
void EditTags(FileSelection& files, TForm2& dialog, Prompts& prompts);
