#include "app/dialogs/QtPrompts.h"

#include "app/dialogs/CharacterLimit.h"
#include "app/dialogs/TitleRoom.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStyle>
#include <QStyleOption>
#include <QVBoxLayout>

namespace {

constexpr int kPromptMaxLength = 255;
constexpr int kNameLimit = 64; // the longest filename a rename lets through without asking

// A field width that shows a whole name of `characters` characters in `edit`'s font: names
// are mostly letters no wider than "n", capitals included.
int FieldWidthFor(const QLineEdit* edit, int characters) {
    const QFontMetrics metrics = edit->fontMetrics();
    QStyleOptionFrame option;
    option.initFrom(edit);
    const QMargins margins = edit->textMargins();
    constexpr int kTextMargin = 2; // QLineEdit's own space either side of the text, and the cursor
    const QSize text(metrics.horizontalAdvance(QLatin1Char('n')) * characters + margins.left() +
                         margins.right() + 3 * kTextMargin,
                     metrics.height());
    return edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, edit).width();
}

// The dialog behind InputQuery and InputBox.
class InputDialog : public QDialog {
public:
    InputDialog(const QString& caption, const QString& prompt, const QString& value, QWidget* parent)
        : QDialog(parent) {
        setObjectName(QStringLiteral("InputQueryDialog"));
        setWindowTitle(caption);
        auto* label = new QLabel(prompt, this);
        label->setObjectName(QStringLiteral("Prompt"));
        edit_ = new QLineEdit(this);
        edit_->setObjectName(QStringLiteral("Value"));
        SetMaxCharacters(edit_, kPromptMaxLength);
        edit_->setText(value);
        edit_->selectAll();
        edit_->setMinimumWidth(FieldWidthFor(edit_, kNameLimit));
        label->setBuddy(edit_);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->setObjectName(QStringLiteral("Buttons"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(label);
        layout->addWidget(edit_);
        layout->addWidget(buttons);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        MakeRoomForTitle(*this);
    }
    QString text() const { return edit_->text(); }

private:
    QLineEdit* edit_;
};

} // namespace

bool InputQuery(const QString& caption, const QString& prompt, QString& value, QWidget* parent) {
    InputDialog dialog(caption, prompt, value, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.text();
    return true;
}

QString InputBox(const QString& caption, const QString& prompt, const QString& defaultText, QWidget* parent) {
    QString value = defaultText;
    InputQuery(caption, prompt, value, parent);
    return value;
}

bool QtPrompts::inputQuery(const QString& caption, const QString& prompt, QString& value) {
    return InputQuery(caption, prompt, value, parent_);
}

QString QtPrompts::inputBox(const QString& caption, const QString& prompt, const QString& defaultText) {
    return InputBox(caption, prompt, defaultText, parent_);
}

bool QtPrompts::errorQuestion(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Yes | QMessageBox::No,
                    parent_);
    box.setObjectName(QStringLiteral("ErrorQuestion"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    // Only No stops: Escape and a click press it, while the close box merely closes the box,
    // which goes on like Yes.
    bool no = false;
    QObject::connect(&box, &QMessageBox::buttonClicked,
                     [&](QAbstractButton* button) { no = button == box.button(QMessageBox::No); });
    MakeRoomForTitle(box);
    box.exec();
    return !no;
}

int QtPrompts::showModal(QDialog& dialog) {
    return dialog.exec();
}

void QtPrompts::notice(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Morwick"), text, QMessageBox::Ok, parent_);
    box.setObjectName(QStringLiteral("errorBox"));
    MakeRoomForTitle(box);
    box.exec();
}
