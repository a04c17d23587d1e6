#include "app/dialogs/TagDialog.h"

#include "app/dialogs/CharacterLimit.h"
#include "app/dialogs/ScreenCentre.h"

#include "app/dialogs/FieldState.h"
#include "app/dialogs/GenreList.h"
#include "core/Id3Tag.h"

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
#include <QVBoxLayout>
#include <algorithm>

namespace {

QLineEdit* makeEdit(QWidget* parent, const char* name, int maxLength, int widthInChars) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    // The track field holds digits only and widens for a stored track of three; the texts
    // count characters, so 30 emoji fit where 30 letters do.
    if (maxLength == kTrackInputLength)
        edit->setMaxLength(maxLength);
    else
        SetMaxCharacters(edit, maxLength);
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

constexpr TagField kAllFields[] = {TagField::Track, TagField::Title, TagField::Artist, TagField::Album,
                                   TagField::Year,  TagField::Genre, TagField::Comment};

} // namespace

TagDialog::TagDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("tagDialog"));
    setWindowTitle(QStringLiteral("Tag"));
    // Only a close box: no help button, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* fileNamePanel = new QFrame(this);
    fileNamePanel->setObjectName(QStringLiteral("fileNamePanel"));
    fileNamePanel->setFrameShape(QFrame::StyledPanel);
    fileNamePanel->setFrameShadow(QFrame::Sunken);
    fileNameLabel_ = new QLabel(fileNamePanel);
    fileNameLabel_->setObjectName(QStringLiteral("fileNameLabel"));
    // A file name is shown as it is: no markup, no mnemonics, and a long one is clipped
    // instead of widening the fixed-size window.
    fileNameLabel_->setTextFormat(Qt::PlainText);
    fileNameLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* panel1Layout = new QHBoxLayout(fileNamePanel);
    panel1Layout->setContentsMargins(6, 3, 6, 3);
    panel1Layout->addWidget(fileNameLabel_);

    auto* tagGroup = new QGroupBox(QStringLiteral(" ID3 tag "), this);
    tagGroup->setObjectName(QStringLiteral("tagGroup"));
    trackEdit_ = makeEdit(tagGroup, "trackEdit", kTrackInputLength, 3);
    titleEdit_ = makeEdit(tagGroup, "titleEdit", kTextWidth, kTextWidth);
    artistEdit_ = makeEdit(tagGroup, "artistEdit", kTextWidth, kTextWidth);
    albumEdit_ = makeEdit(tagGroup, "albumEdit", kTextWidth, kTextWidth);
    yearEdit_ = makeEdit(tagGroup, "yearEdit", kYearWidth, kYearWidth + 1);
    commentEdit_ = makeEdit(tagGroup, "commentEdit", kCommentWidth, kTextWidth);
    genreCombo_ = new QComboBox(tagGroup);
    genreCombo_->setObjectName(QStringLiteral("genreCombo"));
    genreCombo_->setEditable(false);
    genreCombo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    auto* tagLayout = new QGridLayout(tagGroup);
    int row = 0;
    const auto addRow = [&](const char* labelName, const QString& text, QLineEdit* edit, bool wide) {
        tagLayout->addWidget(makeLabel(tagGroup, labelName, text, edit), row, 0);
        if (wide)
            tagLayout->addWidget(edit, row, 1, 1, 3);
        else
            tagLayout->addWidget(edit, row, 1, Qt::AlignLeft);
        ++row;
    };
    addRow("trackLabel", QStringLiteral("Trac&k"), trackEdit_, false);
    addRow("titleLabel", QStringLiteral("&Title"), titleEdit_, true);
    addRow("artistLabel", QStringLiteral("&Artist"), artistEdit_, true);
    addRow("albumLabel", QStringLiteral("Al&bum"), albumEdit_, true);
    tagLayout->addWidget(makeLabel(tagGroup, "yearLabel", QStringLiteral("&Year"), yearEdit_), row, 0);
    tagLayout->addWidget(yearEdit_, row, 1, Qt::AlignLeft);
    tagLayout->addWidget(makeLabel(tagGroup, "genreLabel", QStringLiteral("&Genre"), genreCombo_), row, 2,
                         Qt::AlignRight);
    tagLayout->addWidget(genreCombo_, row, 3);
    ++row;
    addRow("commentLabel", QStringLiteral("&Comment"), commentEdit_, true);
    tagLayout->setColumnStretch(3, 1);

    auto* streamFactsGroup = new QGroupBox(QStringLiteral(" Information "), this);
    streamFactsGroup->setObjectName(QStringLiteral("streamFactsGroup"));
    streamFactsView_ = new QPlainTextEdit(streamFactsGroup);
    streamFactsView_->setObjectName(QStringLiteral("streamFactsView"));
    streamFactsView_->setReadOnly(true);
    streamFactsView_->setFrameShape(QFrame::NoFrame);
    streamFactsView_->setFocusPolicy(Qt::NoFocus);
    streamFactsView_->setFixedWidth(fontMetrics().averageCharWidth() * 34);
    QPalette memoPalette = streamFactsView_->palette();
    memoPalette.setColor(QPalette::Base, palette().color(QPalette::Window));
    streamFactsView_->setPalette(memoPalette);
    auto* infoLayout = new QVBoxLayout(streamFactsGroup);
    infoLayout->addWidget(streamFactsView_);

    auto* buttonPanel = new QFrame(this);
    buttonPanel->setObjectName(QStringLiteral("buttonPanel"));
    buttonPanel->setFrameShape(QFrame::StyledPanel);
    buttonPanel->setFrameShadow(QFrame::Raised);
    saveButton_ = new QPushButton(QStringLiteral("&Save"), buttonPanel);
    saveButton_->setObjectName(QStringLiteral("saveButton"));
    saveButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("Canc&el"), buttonPanel);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    cancelButton_->setAutoDefault(false);
    connect(saveButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttonLayout = new QHBoxLayout(buttonPanel);
    buttonLayout->setContentsMargins(6, 6, 6, 6);
    buttonLayout->addWidget(saveButton_);
    buttonLayout->addWidget(cancelButton_);

    auto* grid = new QGridLayout(this);
    grid->addWidget(fileNamePanel, 0, 0, 1, 2);
    grid->addWidget(tagGroup, 1, 0);
    grid->addWidget(streamFactsGroup, 1, 1);
    grid->addWidget(buttonPanel, 2, 0, 1, 2, Qt::AlignRight);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    // Track comes last, after the buttons.
    setTabOrder(titleEdit_, artistEdit_);
    setTabOrder(artistEdit_, albumEdit_);
    setTabOrder(albumEdit_, yearEdit_);
    setTabOrder(yearEdit_, genreCombo_);
    setTabOrder(genreCombo_, commentEdit_);
    setTabOrder(commentEdit_, saveButton_);
    setTabOrder(saveButton_, cancelButton_);
    setTabOrder(cancelButton_, trackEdit_);

    for (TagField field : kAllFields)
        fieldWidget(field)->installEventFilter(this);
    for (QPushButton* button : {saveButton_, cancelButton_})
        button->installEventFilter(this);

    FillGenreList(genreCombo_);
}

void TagDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    CentreOnScreen(this);
    // The first field that can be typed into takes the focus.
    const auto canFocus = [](QWidget* w) { return w->isEnabled() && w->isVisible(); };
    if (canFocus(titleEdit_))
        titleEdit_->setFocus(Qt::OtherFocusReason);
    else if (canFocus(artistEdit_))
        artistEdit_->setFocus(Qt::OtherFocusReason);
}

bool TagDialog::rejectOnEscape(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier)
        return false;
    reject();
    return true;
}

void TagDialog::keyPressEvent(QKeyEvent* event) {
    if (!rejectOnEscape(event))
        QDialog::keyPressEvent(event);
}

bool TagDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && rejectOnEscape(static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

QWidget* TagDialog::fieldWidget(TagField field) const {
    switch (field) {
    case TagField::Title:
        return titleEdit_;
    case TagField::Artist:
        return artistEdit_;
    case TagField::Album:
        return albumEdit_;
    case TagField::Year:
        return yearEdit_;
    case TagField::Comment:
        return commentEdit_;
    case TagField::Track:
        return trackEdit_;
    case TagField::Genre:
        return genreCombo_;
    }
    return nullptr;
}

void TagDialog::setFileName(const QString& name) {
    fileNameLabel_->setText(name);
}

void TagDialog::setTag(const TagTexts& tag) {
    titleEdit_->setText(tag.title);
    artistEdit_->setText(tag.artist);
    albumEdit_->setText(tag.album);
    yearEdit_->setText(tag.year);
    commentEdit_->setText(tag.comment);
    const QString track = tag.track == 0 ? QString() : QString::number(tag.track);
    if (!whole_)
        trackEdit_->setMaxLength(std::max<int>(kTrackInputLength, int(track.size())));
    trackEdit_->setText(track);
    SelectGenre(genreCombo_, tag.genre);
}

void TagDialog::setWholeTexts(bool whole) {
    if (whole == whole_)
        return;
    whole_ = whole;
    // An ID3v2 text is limited only by the tag's size: the toolkit's own limit is far beyond
    // any title, and the ID3v1 tag still takes its cut.
    constexpr int kWhole = 32767;
    SetMaxCharacters(titleEdit_, whole ? kWhole : kTextWidth);
    SetMaxCharacters(artistEdit_, whole ? kWhole : kTextWidth);
    SetMaxCharacters(albumEdit_, whole ? kWhole : kTextWidth);
    SetMaxCharacters(yearEdit_, whole ? kWhole : kYearWidth);
    SetMaxCharacters(commentEdit_, whole ? kWhole : kCommentWidth);
    trackEdit_->setMaxLength(whole ? kWhole : kTrackInputLength);
}

void TagDialog::setTexts(const Id3v2Texts& texts) {
    titleEdit_->setText(texts.title);
    artistEdit_->setText(texts.artist);
    albumEdit_->setText(texts.album);
    yearEdit_->setText(texts.year);
    commentEdit_->setText(texts.comment);
    trackEdit_->setText(texts.track);
    SelectGenre(genreCombo_, GenreIndex(texts.genre));
}

Id3v2Texts TagDialog::texts() const {
    return {titleEdit_->text(),
            artistEdit_->text(),
            albumEdit_->text(),
            yearEdit_->text(),
            commentEdit_->text(),
            trackEdit_->text(),
            GenreName(ChosenGenre(genreCombo_))};
}

TagTexts TagDialog::tag() const {
    return {titleEdit_->text(),   artistEdit_->text(),           albumEdit_->text(),      yearEdit_->text(),
            commentEdit_->text(), TrackByte(trackEdit_->text()), ChosenGenre(genreCombo_)};
}

void TagDialog::setStreamFacts(const QStringList& lines) {
    streamFactsView_->setPlainText(lines.join(QLatin1Char('\n')));
}

void TagDialog::setEditable(TagField field, bool editable) {
    SetFieldState(fieldWidget(field), editable);
}

void TagDialog::setAllEditable(bool editable) {
    for (TagField field : kAllFields)
        setEditable(field, editable);
}
