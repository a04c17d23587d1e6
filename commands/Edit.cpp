#include "commands/Edit.h"

#include "commands/FieldState.h"
#include "commands/GenreList.h"
#include "commands/Prompts.h"
#include "core/AnsiText.h"
#include "core/Batch.h"
#include "core/FileName.h"
#include "core/Id3Tag.h"
#include "core/Mp3Info.h"
#include "core/StreamInfo.h"
#include "core/TagFile.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QLineEdit* makeEdit(QWidget* parent, const char* name, int maxLength, int widthInChars) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(maxLength);
    // The short fields keep their width; the long ones may stretch to the row's end.
    const int width = edit->fontMetrics().averageCharWidth() * widthInChars + 12;
    if (widthInChars <= kYearWidth + 1)
        edit->setFixedWidth(width);
    else
        edit->setMinimumWidth(width);
    return edit;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setBuddy(buddy);
    return label;
}

// The track byte for a Track text: the text read as a decimal integer, 0 when it is not
// one; only the low 8 bits are kept, so "-1" gives 255.
uint8_t TrackByte(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? uint8_t(value & 0xFF) : 0;
}

// Trims a field's text of codes 0..32 at both ends and shows the trimmed text.
QString TrimField(QLineEdit* edit) {
    const QString text = TrimControl(edit->text());
    edit->setText(text);
    return text;
}

} // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Tag"));
    // Only a close box: no help button, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Label7 = new QLabel(Panel1);
    Label7->setObjectName(QStringLiteral("Label7"));
    // A file name is shown as it is: no markup, no mnemonics, and a long one is clipped
    // instead of widening the fixed-size window.
    Label7->setTextFormat(Qt::PlainText);
    Label7->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* panel1Layout = new QHBoxLayout(Panel1);
    panel1Layout->setContentsMargins(6, 3, 6, 3);
    panel1Layout->addWidget(Label7);

    GroupBox1 = new QGroupBox(QStringLiteral(" ID3 tag "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Edit6 = makeEdit(GroupBox1, "Edit6", kTrackInputLength, 3);
    Edit1 = makeEdit(GroupBox1, "Edit1", kTextWidth, kTextWidth);
    Edit2 = makeEdit(GroupBox1, "Edit2", kTextWidth, kTextWidth);
    Edit3 = makeEdit(GroupBox1, "Edit3", kTextWidth, kTextWidth);
    Edit4 = makeEdit(GroupBox1, "Edit4", kYearWidth, kYearWidth + 1);
    Edit5 = makeEdit(GroupBox1, "Edit5", kCommentWidth, kTextWidth);
    ComboBox1 = new QComboBox(GroupBox1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    auto* tagLayout = new QGridLayout(GroupBox1);
    int row = 0;
    const auto addRow = [&](const char* labelName, const QString& text, QLineEdit* edit, bool wide) {
        tagLayout->addWidget(makeLabel(GroupBox1, labelName, text, edit), row, 0);
        if (wide)
            tagLayout->addWidget(edit, row, 1, 1, 3);
        else
            tagLayout->addWidget(edit, row, 1, Qt::AlignLeft);
        ++row;
    };
    addRow("Label6", QStringLiteral("Trac&k"), Edit6, false);
    addRow("Label1", QStringLiteral("&Title"), Edit1, true);
    addRow("Label2", QStringLiteral("&Artist"), Edit2, true);
    addRow("Label3", QStringLiteral("Al&bum"), Edit3, true);
    tagLayout->addWidget(makeLabel(GroupBox1, "Label4", QStringLiteral("&Year"), Edit4), row, 0);
    tagLayout->addWidget(Edit4, row, 1, Qt::AlignLeft);
    tagLayout->addWidget(makeLabel(GroupBox1, "Label8", QStringLiteral("&Genre"), ComboBox1), row, 2,
                         Qt::AlignRight);
    tagLayout->addWidget(ComboBox1, row, 3);
    ++row;
    addRow("Label5", QStringLiteral("&Comment"), Edit5, true);
    tagLayout->setColumnStretch(3, 1);

    GroupBox2 = new QGroupBox(QStringLiteral(" Information "), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    Memo1 = new QPlainTextEdit(GroupBox2);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setFocusPolicy(Qt::NoFocus);
    Memo1->setFixedWidth(fontMetrics().averageCharWidth() * 34);
    QPalette memoPalette = Memo1->palette();
    memoPalette.setColor(QPalette::Base, palette().color(QPalette::Window));
    Memo1->setPalette(memoPalette);
    auto* infoLayout = new QVBoxLayout(GroupBox2);
    infoLayout->addWidget(Memo1);

    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameShape(QFrame::StyledPanel);
    Panel2->setFrameShadow(QFrame::Raised);
    Button1 = new QPushButton(QStringLiteral("&Save"), Panel2);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Canc&el"), Panel2);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttonLayout = new QHBoxLayout(Panel2);
    buttonLayout->setContentsMargins(6, 6, 6, 6);
    buttonLayout->addWidget(Button1);
    buttonLayout->addWidget(Button2);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Panel1, 0, 0, 1, 2);
    grid->addWidget(GroupBox1, 1, 0);
    grid->addWidget(GroupBox2, 1, 1);
    grid->addWidget(Panel2, 2, 0, 1, 2, Qt::AlignRight);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    // Track comes last, after the buttons.
    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Edit3);
    setTabOrder(Edit3, Edit4);
    setTabOrder(Edit4, ComboBox1);
    setTabOrder(ComboBox1, Edit5);
    setTabOrder(Edit5, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Edit6);

    for (QWidget* field : inputFields())
        field->installEventFilter(this);
    for (QPushButton* button : {Button1, Button2})
        button->installEventFilter(this);

    FormCreate();
}

void TForm2::FormCreate() {
    FillGenreList(ComboBox1);
}

void TForm2::FormShow() {
    const auto canFocus = [](QWidget* w) { return w->isEnabled() && w->isVisible(); };
    if (canFocus(Edit1))
        Edit1->setFocus(Qt::OtherFocusReason);
    else if (canFocus(Edit2))
        Edit2->setFocus(Qt::OtherFocusReason);
}

bool TForm2::FormKeyDown(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier)
        return false;
    reject();
    return true;
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        if (QScreen* s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
        FormShow();
    }
}

void TForm2::keyPressEvent(QKeyEvent* event) {
    if (!FormKeyDown(event))
        QDialog::keyPressEvent(event);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && FormKeyDown(static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TForm2::setFieldEnabled(QWidget* field, bool enabled) {
    SetFieldState(field, enabled);
}

std::array<QWidget*, 7> TForm2::inputFields() const {
    return {Edit6, Edit1, Edit2, Edit3, Edit4, ComboBox1, Edit5};
}

void TForm2::setTrack(int track) {
    const QString text = track == 0 ? QString() : QString::number(track);
    Edit6->setMaxLength(std::max<int>(kTrackInputLength, text.size()));
    Edit6->setText(text);
}

void StreamInfoText(TForm2& dialog) {
    const mp3info& info = Mp3Info;
    dialog.setWindowTitle(QStringLiteral("Edit"));
    dialog.Edit1->setText(info.title);
    dialog.Edit2->setText(info.artist);
    dialog.Edit3->setText(info.album);
    dialog.Edit4->setText(info.year);
    dialog.Edit5->setText(info.comment);
    dialog.setTrack(info.track);
    SelectGenre(dialog.ComboBox1, info.genre);
    dialog.Memo1->setPlainText(StreamInfoLines(info).join(QLatin1Char('\n')));
}

void EditTags(FileSelection& files, TForm2& dialog, Prompts& prompts) {
    RunBatch(
        files,
        [&](const QString& name) {
            dialog.Label7->setText(DisplayFileName(name));
            ReadMp3Info(name, Mp3Info);
            HasTag = Mp3Info.hastag;
            StreamInfoText(dialog);
            for (QWidget* field : dialog.inputFields())
                dialog.setFieldEnabled(field, true);
            if (prompts.showModal(dialog) != QDialog::Accepted)
                return BatchStep::Continue;

            const QString title = TrimField(dialog.Edit1);
            const QString artist = TrimField(dialog.Edit2);
            const QString album = TrimField(dialog.Edit3);
            const QString comment = TrimField(dialog.Edit5);
            CurrentTag = ID3Tag{};
            SetTagMagic(CurrentTag);
            SetTextField(title, CurrentTag.title);
            SetTextField(artist, CurrentTag.artist);
            SetTextField(album, CurrentTag.album);
            const auto year = YearField(dialog.Edit4->text());
            std::copy(year.begin(), year.end(), CurrentTag.year);
            SetCommentField(comment, CurrentTag.comment);
            CurrentTag.track = TrackByte(dialog.Edit6->text());
            CurrentTag.genre = uint8_t(ChosenGenre(dialog.ComboBox1));
            WriteTag(name);
            return BatchStep::Continue;
        },
        /*reread=*/false);
}
