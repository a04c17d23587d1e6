// The main window's widgets and menus: what there is, where it sits, and what it is connected to.
#include "app/MainWindow.h"

#include "app/DirectoryList.h"
#include "app/FileList.h"
#include "app/ProgressBar.h"
#include "app/dialogs/CharacterLimit.h"
#include "app/dialogs/ScreenCentre.h"

#include <QActionGroup>
#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOption>
#include <QVBoxLayout>
#include <algorithm>
#include <type_traits>

namespace {

// The window at the usual 9-point font; a larger font makes any of these grow as far as its
// texts need (fitToFont).
constexpr int kClientWidth = 681;
constexpr int kClientHeight = 393;
constexpr int kBrowserWidth = 168;
constexpr int kTaggingWidth = 302;
constexpr int kYearFieldWidthPx = 48;
constexpr int kGenreListWidth = 124;
constexpr int kLabelGap = 6;   // between a label and the list it names on the same row
constexpr int kDriveChars = 8; // a drive list narrower than its longest root cuts that root
constexpr int kFieldWidth = 30;
constexpr int kYearFieldWidth = 4;
constexpr int kCommentFieldWidth = 28;
// While ID3v2 tags are used the fields take whole texts, as far as a line edit holds: Tag files
// writes them whole into the ID3v2 tag and cuts them to the widths above for the ID3v1 tag.
constexpr int kWholeTextLength = 32767;

template <typename T> T* named(T* object, const char* name) {
    object->setObjectName(QLatin1String(name));
    return object;
}

// A group box whose caption shows its accelerator letter without claiming the key: Alt+N
// belongs to the hidden "Filename shortcut" menu item, and two owners of one key would leave
// it to neither.
class RadioGroupBox : public QGroupBox {
public:
    RadioGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {
        // QGroupBox grabbed the mnemonic just now and keeps its id to itself. Shortcut ids are
        // handed out in sequence, and a release only removes this widget's own shortcuts, so
        // releasing the neighbours of a probe removes the mnemonic whichever way ids count.
        const int probe = grabShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_F35));
        for (int id : {probe - 1, probe, probe + 1})
            releaseShortcut(id);
    }
};

} // namespace

void MainWindow::buildWidgets() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* columns = new QHBoxLayout(central);
    columns->setContentsMargins(4, 6, 4, 4);
    columns->setSpacing(6);

    auto button = [this](const char* name, const char* caption, void (MainWindow::*slot)()) {
        auto* b = named(new QPushButton(QLatin1String(caption), this), name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };

    // Browser: drives, directory tree, Refresh and Rename dir.
    auto* browser = new QVBoxLayout;
    driveCombo_ = named(new QComboBox(this), "driveCombo");
    // The column decides the list's width, not its longest mount point.
    driveCombo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    driveCombo_->setMinimumContentsLength(kDriveChars);
    directoryList_ = named(new DirectoryList(this), "directoryList");
    auto* refreshButton = button("refreshButton", "Refresh", &MainWindow::refresh);
    auto* renameDirButton = button("renameDirButton", "Rename dir", &MainWindow::renameDirectory);
    browser->addWidget(driveCombo_);
    browser->addWidget(directoryList_, 1);
    browserButtons_ = new QHBoxLayout;
    browserButtons_->addWidget(refreshButton);
    browserButtons_->addWidget(renameDirButton);
    browser->addLayout(browserButtons_);
    browserColumn_ = new QWidget(this);
    browser->setContentsMargins(0, 0, 0, 0);
    browserColumn_->setLayout(browser);
    columns->addWidget(browserColumn_);

    // Files: selection buttons, the list and the per-file commands.
    auto* files = new QVBoxLayout;
    auto* clearSelectionButton =
        button("clearSelectionButton", "Clear selection", &MainWindow::selectNoFiles);
    auto* selectAllButton = button("selectAllButton", "Select all", &MainWindow::selectAllFiles);
    auto* selectionButtons = new QHBoxLayout;
    selectionButtons->addWidget(clearSelectionButton);
    selectionButtons->addWidget(selectAllButton);
    files->addLayout(selectionButtons);
    fileList_ = named(new FileList(this), "fileList");
    files->addWidget(fileList_, 1);
    auto* renameFilesButton = button("renameFilesButton", "Rename files", &MainWindow::renameFiles);
    auto* trimFilenamesButton = button("trimFilenamesButton", "Trim filenames", &MainWindow::trimFilenames);
    auto* replaceTextButton = button("replaceTextButton", "Replace text", &MainWindow::searchAndReplace);
    auto* editTagsButton = button("editTagsButton", "Edit tags", &MainWindow::editTags);
    auto* copyTagButton = button("copyTagButton", "Copy tag", &MainWindow::copyTag);
    auto* playFileButton = button("playFileButton", "Play file", &MainWindow::playFile);
    fileButtons_ = new QGridLayout;
    fileButtons_->setSpacing(4);
    fileButtonOrder_ = {renameFilesButton, trimFilenamesButton, replaceTextButton,
                        editTagsButton,    copyTagButton,       playFileButton};
    files->addLayout(fileButtons_);
    arrangeListButtons(false);
    columns->addLayout(files, 1);

    // Tagging: the batch fields, the formats and the batch commands.
    auto* tagging = new QVBoxLayout;
    tagging->setSpacing(4);
    auto* tagFieldsGroup = named(new QGroupBox(QStringLiteral(" ID3 tag "), this), "tagFieldsGroup");
    auto* fields = new QGridLayout(tagFieldsGroup);
    fields->setContentsMargins(6, 4, 6, 4);
    fields->setVerticalSpacing(3);
    auto field = [this](const char* name, int maxLength) {
        auto* e = named(new QLineEdit(this), name);
        SetMaxCharacters(e, maxLength);
        return e;
    };
    auto label = [this](const char* name, const char* caption, QWidget* buddy) {
        auto* l = named(new QLabel(QLatin1String(caption), this), name);
        l->setBuddy(buddy);
        return l;
    };
    artistEdit_ = field("artistEdit", kFieldWidth);
    albumEdit_ = field("albumEdit", kFieldWidth);
    yearEdit_ = field("yearEdit", kYearFieldWidth);
    genreCombo_ = named(new QComboBox(this), "genreCombo");
    commentEdit_ = field("commentEdit", kCommentFieldWidth);
    fields->addWidget(label("artistLabel", "&Artist", artistEdit_), 0, 0);
    fields->addWidget(artistEdit_, 0, 1, 1, 3);
    fields->addWidget(label("albumLabel", "Al&bum", albumEdit_), 1, 0);
    fields->addWidget(albumEdit_, 1, 1, 1, 3);
    fields->addWidget(label("yearLabel", "&Year", yearEdit_), 2, 0);
    fields->addWidget(yearEdit_, 2, 1);
    auto* genreRow = new QHBoxLayout;
    genreRow->setSpacing(kLabelGap);
    genreRow->addWidget(label("genreLabel", "&Genre", genreCombo_));
    genreCombo_->setMinimumWidth(kGenreListWidth);
    genreRow->addWidget(genreCombo_, 1);
    fields->addLayout(genreRow, 2, 2, 1, 2);
    fields->addWidget(label("commentLabel", "&Comment", commentEdit_), 3, 0);
    fields->addWidget(commentEdit_, 3, 1, 1, 3);
    fields->setColumnStretch(3, 1);
    tagging->addWidget(tagFieldsGroup);

    dirnameFormatCombo_ = named(new QComboBox(this), "dirnameFormatCombo");
    for (const char* caption : kDirnameFormatCaptions)
        dirnameFormatCombo_->addItem(QLatin1String(caption));
    connect(dirnameFormatCombo_, &QComboBox::activated, this, &MainWindow::dirnameFormatChosen);
    auto* dirnameRow = new QHBoxLayout;
    dirnameRow->addWidget(label("dirnameFormatLabel", "&Dirname format", dirnameFormatCombo_));
    dirnameRow->addWidget(dirnameFormatCombo_, 1);
    tagging->addLayout(dirnameRow);

    auto* filenameFormatGroup =
        named(new RadioGroupBox(QStringLiteral(" File&name format "), this), "filenameFormatGroup");
    auto* radios = new QVBoxLayout(filenameFormatGroup);
    radios->setContentsMargins(6, 2, 5, 2); // the longest caption takes the last pixel at 9 points
    radios->setSpacing(0);
    filenameFormatButtons_ = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        auto* radio =
            new QRadioButton(QLatin1String(kFilenameFormatCaptions[size_t(i)]), filenameFormatGroup);
        radio->setObjectName(QStringLiteral("filenameFormatRadio%1").arg(i));
        filenameFormatButtons_->addButton(radio, i);
        radios->addWidget(radio);
    }
    connect(filenameFormatButtons_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            filenameFormatChosen();
    });
    tagging->addWidget(filenameFormatGroup);

    auto* tagFilesButton = button("tagFilesButton", "TAG", &MainWindow::tagFiles);
    QFont big(QStringLiteral("Verdana"));
    big.setPixelSize(24);
    big.setBold(true);
    tagFilesButton->setFont(big);
    tagFilesButton->setMinimumHeight(86);
    auto* removeAllTagsButton = button("removeAllTagsButton", "Remove all tags", &MainWindow::removeAllTags);
    auto* renameFromTagsButton =
        button("renameFromTagsButton", "Rename from tags", &MainWindow::renameFromTags);
    auto* exitButton = button("exitButton", "E&xit", &MainWindow::exitProgram);
    auto* batchRow = new QHBoxLayout;
    batchRow->addWidget(tagFilesButton, 1);
    auto* batchButtons = new QVBoxLayout;
    batchButtons->setSpacing(2);
    batchButtons->addWidget(removeAllTagsButton);
    batchButtons->addWidget(renameFromTagsButton);
    batchButtons->addWidget(exitButton);
    batchRow->addLayout(batchButtons, 1);
    tagging->addLayout(batchRow);
    tagging->addStretch(1);
    taggingColumn_ = new QWidget(this);
    tagging->setContentsMargins(0, 0, 0, 0);
    taggingColumn_->setLayout(tagging);
    columns->addWidget(taggingColumn_);

    statusLine_ = named(new QLabel(this), "statusLine");
    statusLine_->setAlignment(Qt::AlignCenter);
    // A long text gives way to a batch's progress bar and Stop button instead of pushing them
    // out of the fixed window.
    statusLine_->setMinimumWidth(1);
    statusLine_->installEventFilter(this);
    auto* bar = named(new QStatusBar(this), "statusBar");
    bar->setSizeGripEnabled(false);
    bar->addWidget(statusLine_, 1);
    setStatusBar(bar);
    progress_ = std::make_unique<StatusBarProgress>(bar);

    // The browser's links.
    connect(driveCombo_, &QComboBox::activated, this, &MainWindow::driveChosen);
    connect(directoryList_, &QListWidget::itemClicked, this, &MainWindow::showClickedDirectoryInStatus);
    connect(directoryList_, &DirectoryList::entryOpened, this, &MainWindow::entryOpened);
    connect(fileList_, &QListWidget::itemSelectionChanged, this, &MainWindow::showFocusedFileInStatus);
    connect(fileList_, &QListWidget::itemClicked, this, &MainWindow::showFocusedFileInStatus);
    connect(fileList_, &QListWidget::itemDoubleClicked, this, &MainWindow::editTags);

    // Keyboard order, as the window lists its parts.
    const QList<QWidget*> tabOrder = {driveCombo_,
                                      directoryList_,
                                      refreshButton,
                                      renameDirButton,
                                      clearSelectionButton,
                                      selectAllButton,
                                      fileList_,
                                      renameFilesButton,
                                      trimFilenamesButton,
                                      replaceTextButton,
                                      editTagsButton,
                                      copyTagButton,
                                      playFileButton,
                                      artistEdit_,
                                      albumEdit_,
                                      yearEdit_,
                                      genreCombo_,
                                      commentEdit_,
                                      dirnameFormatCombo_,
                                      filenameFormatButtons_->button(0),
                                      tagFilesButton,
                                      removeAllTagsButton,
                                      renameFromTagsButton,
                                      exitButton};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void MainWindow::buildMenus() {
    // `slot` is a member function, a lambda, or nullptr for a check mark that is only read.
    auto action = [this](QMenu* menu, const char* name, const char* caption, auto slot,
                         QKeySequence shortcut = {}) {
        auto* a = named(new QAction(QLatin1String(caption), this), name);
        a->setShortcut(shortcut);
        a->setShortcutContext(Qt::WindowShortcut);
        if constexpr (!std::is_null_pointer_v<decltype(slot)>)
            connect(a, &QAction::triggered, this, slot);
        if (menu)
            menu->addAction(a);
        else
            addAction(a); // works by its shortcut, never shown
        return a;
    };
    auto check = [&](QMenu* menu, const char* name, const char* caption, auto slot, bool on) {
        QAction* a = action(menu, name, caption, slot);
        a->setCheckable(true);
        a->setChecked(on);
        return a;
    };
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));

    QMenu* file = named(bar->addMenu(QStringLiteral("&File")), "fileMenu");
    action(file, "actionExit", "E&xit", &MainWindow::exitProgram);

    QMenu* edit = named(bar->addMenu(QStringLiteral("&Edit")), "editMenu");
    // A text field with the focus takes Ctrl+Z first, for its own undo.
    actionUndo_ =
        action(edit, "actionUndo", "&Undo last command", &MainWindow::undoLastCommand, Qt::CTRL | Qt::Key_Z);
    edit->addSeparator();
    action(edit, "actionClearSelection", "&Clear selection", &MainWindow::selectNoFiles,
           Qt::CTRL | Qt::Key_C);
    action(edit, "actionSelectAll", "Select &all", &MainWindow::selectAllFiles, Qt::CTRL | Qt::Key_A);
    edit->addSeparator();
    action(edit, "actionRefresh", "Re&fresh", &MainWindow::refresh, Qt::Key_F5);
    action(edit, "actionRenameDir", "Rename &dir", &MainWindow::renameDirectory, Qt::Key_F4);
    edit->addSeparator();
    action(edit, "actionRenameFiles", "&Rename files", &MainWindow::renameFiles, Qt::Key_F2);
    action(edit, "actionSearchReplace", "&Search && Replace", &MainWindow::searchAndReplace, Qt::Key_F3);
    action(edit, "actionTrimFilenames", "&Trim filenames", &MainWindow::trimFilenames, Qt::CTRL | Qt::Key_T);
    action(edit, "actionPreviewRenames", "Pre&view renames...", &MainWindow::previewRenames);
    action(edit, "actionEditTags", "&Edit tags", &MainWindow::editTags, Qt::ALT | Qt::Key_3);
    action(edit, "actionCopyTag", "Copy ta&g", &MainWindow::copyTag, Qt::CTRL | Qt::Key_W);
    action(edit, "actionPlayFile", "&Play file", &MainWindow::playFile, Qt::Key_F11);
    edit->addSeparator();
    action(edit, "actionExploreDirectory", "E&xplore directory", &MainWindow::exploreDirectory,
           Qt::CTRL | Qt::Key_E);

    QMenu* tag = named(bar->addMenu(QStringLiteral("&Tag")), "tagMenu");
    action(tag, "actionTagFiles", "&Tag files", &MainWindow::tagFiles, Qt::Key_F12);
    action(tag, "actionRemoveAllTags", "Remove all tags", &MainWindow::removeAllTags, Qt::Key_F9);
    action(tag, "actionRenameFromTags", "&Rename from tags", &MainWindow::renameFromTags, Qt::Key_F10);
    tag->addSeparator();
    action(tag, "actionClearTagFields", "&Clear ID3 fields", &MainWindow::clearTagFields,
           Qt::CTRL | Qt::Key_N);
    QMenu* marks = named(tag->addMenu(QStringLiteral("Set &ID3 fields")), "markFieldsMenu");
    actionMarkTitle_ = check(marks, "actionMarkTitle", "&Title", &MainWindow::applyFieldMask, true);
    actionMarkArtist_ = check(marks, "actionMarkArtist", "&Artist", &MainWindow::applyFieldMask, true);
    actionMarkAlbum_ = check(marks, "actionMarkAlbum", "Al&bum", &MainWindow::applyFieldMask, true);
    actionMarkYear_ = check(marks, "actionMarkYear", "&Year", &MainWindow::applyFieldMask, true);
    actionMarkComment_ = check(marks, "actionMarkComment", "&Comment", &MainWindow::applyFieldMask, true);
    actionMarkTrack_ = check(marks, "actionMarkTrack", "Track", &MainWindow::applyFieldMask, true);
    actionMarkGenre_ = check(marks, "actionMarkGenre", "&Genre", &MainWindow::applyFieldMask, true);
    marks->addSeparator();
    action(marks, "actionToggleAllMarks", "Toggle all / &none", &MainWindow::toggleAllMarks);

    QMenu* settings = named(bar->addMenu(QStringLiteral("&Settings")), "settingsMenu");
    QMenu* trim = named(settings->addMenu(QStringLiteral("&Trim")), "trimMenu");
    QMenu* caseMenu = named(trim->addMenu(QStringLiteral("&Case")), "caseMenu");
    actionCaseCapitalize_ = check(
        caseMenu, "actionCaseCapitalize", "&Capitalize", [this] { nameCaseChosen(NameCase::Capitalize); },
        true);
    actionCaseSentence_ = check(
        caseMenu, "actionCaseSentence", "&Sentence", [this] { nameCaseChosen(NameCase::Sentence); }, false);
    QMenu* numbers = named(trim->addMenu(QStringLiteral("&Numbers to")), "numbersToMenu");
    actionNumbersDot_ = check(
        numbers, "actionNumbersDot", "&xx. title.mp3", [this] { trackSeparatorChosen(TrackSeparator::Dot); },
        true);
    actionNumbersDash_ = check(
        numbers, "actionNumbersDash", "xx - &title.mp3",
        [this] { trackSeparatorChosen(TrackSeparator::Dash); }, false);
    for (auto pair : {std::pair{actionCaseCapitalize_, actionCaseSentence_},
                      std::pair{actionNumbersDot_, actionNumbersDash_}}) {
        auto* group = new QActionGroup(this);
        group->addAction(pair.first);
        group->addAction(pair.second);
    }
    action(nullptr, "actionNextFilenameFormat", "Filename shortcut", &MainWindow::nextFilenameFormat,
           Qt::ALT | Qt::Key_N);
    settings->addSeparator();
    actionAskLongTitle_ = check(settings, "actionAskLongTitle", "&Ask title if over 30 chars", nullptr, true);
    actionAskLongFilename_ =
        check(settings, "actionAskLongFilename", "As&k filename if over 64 chars", nullptr, false);
    settings->addSeparator();
    actionShowTagInStatus_ =
        check(settings, "actionShowTagInStatus", "S&how tag in statusbar", nullptr, false);
    actionUseId3v2_ = check(settings, "actionUseId3v2", "Also use ID3v&2 tags", nullptr, false);
    connect(actionUseId3v2_, &QAction::toggled, this, &MainWindow::applyFieldLimits);
    settings->addSeparator();
    action(settings, "actionSaveSettings", "&Save settings", &MainWindow::saveSettings);

    QMenu* help = named(bar->addMenu(QStringLiteral("&Help")), "helpMenu");
    action(help, "actionHelpHtml", "&Help (html)", &MainWindow::openHtmlHelp, Qt::Key_F1);
    action(help, "actionHelpEnglish", "Help (&english)", &MainWindow::openEnglishHelp);
    action(help, "actionHelpFinnish", "Help (&finnish)", &MainWindow::openFinnishHelp);
    help->addSeparator();
    action(help, "actionAbout", "&About", &MainWindow::showAboutBox);

    fileContextMenu_ = named(new QMenu(this), "fileContextMenu");
    auto popup = [&](const char* name, const char* caption, void (MainWindow::*slot)()) {
        auto* a = named(new QAction(QLatin1String(caption), fileContextMenu_), name);
        connect(a, &QAction::triggered, this, slot);
        fileContextMenu_->addAction(a);
    };
    popup("actionContextRename", "&Rename", &MainWindow::renameFiles);
    popup("actionContextEditTags", "&Edit tags", &MainWindow::editTags);
    popup("actionContextCopyData", "&Copy data", &MainWindow::copyTag);
    fileList_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(fileList_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { fileContextMenu_->popup(fileList_->viewport()->mapToGlobal(at)); });
}

void MainWindow::applyFieldLimits() {
    const bool whole = useId3v2();
    SetMaxCharacters(artistEdit_, whole ? kWholeTextLength : kFieldWidth);
    SetMaxCharacters(albumEdit_, whole ? kWholeTextLength : kFieldWidth);
    SetMaxCharacters(yearEdit_, whole ? kWholeTextLength : kYearFieldWidth);
    SetMaxCharacters(commentEdit_, whole ? kWholeTextLength : kCommentFieldWidth);
}

void MainWindow::fitToFont() {
    // Measured as shown: the style's polish and the status bar's own layout come first.
    ensurePolished();
    statusBar()->layout()->activate();
    // A radio button needs its indicator and its caption's advance; its size hint adds a
    // margin on top that the caption does not need.
    for (QAbstractButton* radio : filenameFormatButtons_->buttons()) {
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = radio->text();
        const int textLeft =
            radio->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, radio).left();
        radio->setMinimumWidth(textLeft + radio->fontMetrics().horizontalAdvance(radio->text()));
    }
    yearEdit_->setMaximumWidth(
        std::max(kYearFieldWidthPx, yearEdit_->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16));
    taggingColumn_->setFixedWidth(std::max(kTaggingWidth, taggingColumn_->minimumSizeHint().width()));

    // The window has a fixed size, as large as its texts need, but never larger than the screen
    // leaves for it: first the lists give way (their buttons stacked), then everything else.
    const QSize room = ScreenRoom(*this);
    QSize size = fittedSize(false, true);
    if (size.width() > room.width())
        size = fittedSize(true, true);
    // Then the status line's credit, which its tooltip gives whole.
    if (size.width() > room.width())
        size = fittedSize(true, false);
    setFixedSize(size.boundedTo(room));
}

void MainWindow::arrangeListButtons(bool narrow) {
    browserButtons_->setDirection(narrow ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    for (QPushButton* button : fileButtonOrder_)
        fileButtons_->removeWidget(button);
    const int columns = narrow ? 1 : 2;
    for (int i = 0; i < int(fileButtonOrder_.size()); ++i)
        fileButtons_->addWidget(fileButtonOrder_[i], i / columns, i % columns);
}

QSize MainWindow::fittedSize(bool narrow, bool wholeCredit) {
    arrangeListButtons(narrow);
    const int browserNeeds = browserColumn_->minimumSizeHint().width();
    browserColumn_->setFixedWidth(narrow ? browserNeeds : std::max(kBrowserWidth, browserNeeds));
    centralWidget()->layout()->activate();
    // The client area plus the menu bar, the client area as large as the layouts and the
    // credit line on the status line need at this font.
    const QSize central = centralWidget()->minimumSizeHint();
    const QSize status = statusBar()->sizeHint();
    QLabel credit(creditLine()); // measured as the status line would show it
    credit.setFont(statusLine_->font());
    const int creditWidth = status.width() - statusLine_->sizeHint().width() + credit.sizeHint().width();
    const int width = std::max({kClientWidth, central.width(), wholeCredit ? creditWidth : 0});
    const int height = std::max(kClientHeight, central.height() + status.height());
    return {width, height + menuBar()->sizeHint().height()};
}
