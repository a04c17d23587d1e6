#include "app/MainWindow.h"

#include "app/AboutBox.h"
#include "app/DirectoryList.h"
#include "app/ErrorBox.h"
#include "app/FileList.h"
#include "app/FolderDrop.h"
#include "app/ProgressBar.h"
#include "app/Shell.h"
#include "app/dialogs/FieldState.h"
#include "app/dialogs/GenreList.h"
#include "app/dialogs/RenamePreviewDialog.h"
#include "app/dialogs/ScreenCentre.h"
#include "app/dialogs/TagDialog.h"
#include "commands/BatchContext.h"
#include "commands/CopyTagCommand.h"
#include "commands/EditTagsCommand.h"
#include "commands/RemoveAllTagsCommand.h"
#include "commands/RenameFilesCommand.h"
#include "commands/RenameFromTagsCommand.h"
#include "commands/SearchReplaceCommand.h"
#include "commands/TagFilesCommand.h"
#include "commands/TrimFilenamesCommand.h"
#include "core/AnsiText.h"
#include "core/Directory.h"
#include "core/FileName.h"
#include "core/IoError.h"
#include "core/Journal.h"
#include "core/Mp3Info.h"
#include "core/TagSummary.h"
#include "core/TagValues.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStorageInfo>
#include <algorithm>
#include <cerrno>
#include <limits>
#include <unistd.h>

// The credit line: the program, its author and maker, the maker's e-mail and web addresses.
QString MainWindow::creditLine() {
    const QString bar = QStringLiteral("   |   ");
    return QStringLiteral("Morwick by the Morwick team / Morwick project") + bar +
           QLatin1String(kMorwickEmail) + bar + QLatin1String(kMorwickWeb);
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), qtPrompts_(this), prompts_(&qtPrompts_) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Morwick"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    buildWidgets();
    buildMenus();
    qApp->installEventFilter(this);
    FolderDrop::install(this, [this](const QString& folder) { command([&] { openDirectory(folder); }); });

    refreshDrives();
    RunCommand(this, [this] {
        const QString cwd = WorkingDirectory();
        openDirectory(cwd.isEmpty() ? QStringLiteral("/") : cwd);
    });
    applyDefaultsAndLoadSettings();
    actionUndo_->setEnabled(CanUndo());
    fitToFont();
    fitted_ = true;
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
}

void MainWindow::setDialogs(TagDialog* tagDialog, AboutBox* aboutBox) {
    tagDialog_ = tagDialog;
    aboutBox_ = aboutBox;
    qtPrompts_.setTagDialog(tagDialog);
    prompts_->setTagDialog(tagDialog);
}

void MainWindow::setPrompts(WindowPrompts* prompts) {
    prompts_ = prompts ? prompts : &qtPrompts_;
    // Whoever answers, the tag questions are asked in the window's one tag dialog.
    prompts_->setTagDialog(tagDialog_);
}

// ---------------------------------------------------------------------------------------------
// Start-up and settings

void MainWindow::applyDefaultsAndLoadSettings() {
    setStatus(creditLine());
    dirnameFormatCombo_->setCurrentIndex(0);
    fetchArtistAlbum();
    setFilenameFormat(FilenameFormat::TrackTitle); // reports the change, which applies the format
    applyFilenameFormat();
    FillGenreList(genreCombo_);

    // Every setting starts from what the window shows, so one that is not stored changes nothing.
    StoredSettings loaded;
    loaded.ask = actionAskLongTitle_->isChecked() ? 1 : 0;
    loaded.ask64 = actionAskLongFilename_->isChecked() ? 1 : 0;
    loaded.statusBar = actionShowTagInStatus_->isChecked() ? 1 : 0;
    loaded.id3v2 = actionUseId3v2_->isChecked() ? 1 : 0;
    bool completed = false;
    RunCommand(this, [&] {
        LoadSettings(loaded);
        completed = true;
    });
    // What was loaded before a bad value still counts; the rest of start-up is abandoned.
    settings_ = loaded;
    dirnameFormatCombo_->setCurrentIndex(
        loaded.dirnameFormat >= 0 && loaded.dirnameFormat < kDirnameFormatCount ? loaded.dirnameFormat : -1);
    const auto format = FilenameFormat(std::clamp(loaded.filenameFormat, -1, kFilenameFormatCount - 1));
    if (format != FilenameFormat::TrackTitle) {
        setFilenameFormat(format);
        if (format == FilenameFormat::None)
            filenameFormatChosen();
    }
    actionAskLongTitle_->setChecked(loaded.ask != 0);
    actionAskLongFilename_->setChecked(loaded.ask64 != 0);
    actionShowTagInStatus_->setChecked(loaded.statusBar != 0);
    actionUseId3v2_->setChecked(loaded.id3v2 != 0);
    if (!completed)
        return;
    (nameCase() == NameCase::Sentence ? actionCaseSentence_ : actionCaseCapitalize_)->setChecked(true);
    (trackSeparator() == TrackSeparator::Dash ? actionNumbersDash_ : actionNumbersDot_)->setChecked(true);
}

bool MainWindow::useId3v2() const {
    return actionUseId3v2_->isChecked();
}

void MainWindow::saveSettings() {
    command([this] {
        ++settings_.starts;
        StoredSettings values = settings_;
        values.dirnameFormat = int32_t(dirnameFormat());
        values.filenameFormat = int32_t(filenameFormat());
        values.ask = actionAskLongTitle_->isChecked() ? 1 : 0;
        values.ask64 = actionAskLongFilename_->isChecked() ? 1 : 0;
        values.statusBar = actionShowTagInStatus_->isChecked() ? 1 : 0;
        values.id3v2 = actionUseId3v2_->isChecked() ? 1 : 0;
        SaveSettings(values);
    });
}

void MainWindow::exitProgram() {
    bool written = false;
    command([&] {
        ++settings_.starts;
        SaveSettings(settings_, kCounterSettings);
        written = true;
    });
    if (written)
        QCoreApplication::quit();
}

// ---------------------------------------------------------------------------------------------
// State the commands read

FilenameFormat MainWindow::filenameFormat() const {
    return FilenameFormat(filenameFormatButtons_->checkedId());
}

DirnameFormat MainWindow::dirnameFormat() const {
    return DirnameFormat(dirnameFormatCombo_->currentIndex());
}

NameCase MainWindow::nameCase() const {
    return settings_.trim1 != 0 ? NameCase::Sentence : NameCase::Capitalize;
}

TrackSeparator MainWindow::trackSeparator() const {
    return settings_.trim2 != 0 ? TrackSeparator::Dash : TrackSeparator::Dot;
}

Id3FieldMask MainWindow::fieldMask() const {
    return {actionMarkTitle_->isChecked(), actionMarkArtist_->isChecked(),  actionMarkAlbum_->isChecked(),
            actionMarkYear_->isChecked(),  actionMarkComment_->isChecked(), actionMarkTrack_->isChecked(),
            actionMarkGenre_->isChecked()};
}

TagFieldValues MainWindow::tagFieldValues() const {
    return {artistEdit_->text(),  albumEdit_->text(),       yearEdit_->text(),
            commentEdit_->text(), ChosenGenre(genreCombo_), fieldMask()};
}

QString MainWindow::statusText() const {
    return statusLine_->text();
}

QString MainWindow::currentDirectory() const {
    return directoryList_->directory();
}

void MainWindow::setStatus(const QString& text) {
    statusLine_->setText(text);
    // A line wider than the window (a long tag, or the credit on a small screen) is cut; the
    // tooltip gives it whole.
    statusLine_->setToolTip(text);
    alignStatusLine();
}

void MainWindow::alignStatusLine() {
    // Centred when it fits; a line that does not keeps its start in view.
    const bool fits = statusLine_->fontMetrics().horizontalAdvance(statusLine_->text()) <=
                      statusLine_->contentsRect().width();
    statusLine_->setAlignment(fits ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
}

void MainWindow::setFilenameFormat(FilenameFormat format) {
    if (format != FilenameFormat::None) {
        filenameFormatButtons_->button(int(format))->setChecked(true);
        return;
    }
    filenameFormatButtons_->setExclusive(false);
    for (QAbstractButton* b : filenameFormatButtons_->buttons())
        b->setChecked(false);
    filenameFormatButtons_->setExclusive(true);
}

BatchContext MainWindow::batchContext() {
    return {*fileList_, *prompts_, progress_.get()};
}

void MainWindow::finish(const BatchReport& report) {
    if (report.changed > 0)
        actionUndo_->setEnabled(true); // the journal now holds this command
    if (report.error && report.stoppedAt) {
        const QModelIndex entry = fileList_->model()->index(*report.stoppedAt, 0);
        fileList_->selectionModel()->setCurrentIndex(entry, QItemSelectionModel::NoUpdate);
        fileList_->scrollTo(entry);
    }
    report.throwIfFailed();
}

// ---------------------------------------------------------------------------------------------
// Keeping the fields consistent with the options

void MainWindow::applyFieldMask() {
    const std::pair<QAction*, QWidget*> pairs[] = {{actionMarkArtist_, artistEdit_},
                                                   {actionMarkAlbum_, albumEdit_},
                                                   {actionMarkYear_, yearEdit_},
                                                   {actionMarkComment_, commentEdit_},
                                                   {actionMarkGenre_, genreCombo_}};
    for (const auto& [mark, field] : pairs) {
        const bool on = mark->isChecked();
        SetFieldState(field, on);
        if (!on) {
            if (auto* edit = qobject_cast<QLineEdit*>(field))
                edit->clear();
            else
                genreCombo_->setCurrentIndex(-1);
        }
    }
    applyFilenameFormat();
}

void MainWindow::applyFilenameFormat() {
    const FilenameFormat format = filenameFormat();
    if (actionMarkArtist_->isChecked() && format != FilenameFormat::None) {
        // Under these formats the artist comes from each file's name.
        const bool fromName =
            format == FilenameFormat::TrackArtistTitle || format == FilenameFormat::ArtistTitle;
        SetFieldState(artistEdit_, !fromName);
        if (fromName)
            artistEdit_->clear();
    }
    fetchArtistAlbum();
}

void MainWindow::fetchArtistAlbum() {
    const ArtistAlbum values = ArtistAlbumFromPath(currentDirectory(), dirnameFormat(),
                                                   artistEdit_->isEnabled(), albumEdit_->isEnabled());
    if (values.artist)
        artistEdit_->setText(*values.artist);
    if (values.album)
        albumEdit_->setText(*values.album);
}

void MainWindow::filenameFormatChosen() {
    applyFilenameFormat();
}

void MainWindow::dirnameFormatChosen() {
    fetchArtistAlbum();
}

void MainWindow::nameCaseChosen(NameCase nameCase) {
    settings_.trim1 = int32_t(nameCase);
}

void MainWindow::trackSeparatorChosen(TrackSeparator separator) {
    settings_.trim2 = int32_t(separator);
}

void MainWindow::clearTagFields() {
    for (QLineEdit* e : {artistEdit_, albumEdit_, yearEdit_, commentEdit_})
        e->clear();
    genreCombo_->setCurrentIndex(0);
}

void MainWindow::toggleAllMarks() {
    const bool on = toggleAllMarksOn_;
    toggleAllMarksOn_ = !toggleAllMarksOn_;
    for (QAction* mark : {actionMarkTitle_, actionMarkArtist_, actionMarkAlbum_, actionMarkYear_,
                          actionMarkComment_, actionMarkGenre_, actionMarkTrack_})
        mark->setChecked(on);
    applyFieldMask();
}

void MainWindow::nextFilenameFormat() {
    setFilenameFormat(FilenameFormat((int(filenameFormat()) + 1) % kFilenameFormatCount));
    applyFilenameFormat();
}

// ---------------------------------------------------------------------------------------------
// The browser

void MainWindow::refreshDrives() {
    QStringList roots{QStringLiteral("/")};
    const QString home = QStorageInfo(QDir::homePath()).rootPath();
    if (!home.isEmpty() && !roots.contains(home))
        roots.append(home);
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        const bool removable = root.startsWith(QLatin1String("/media/")) ||
                               root.startsWith(QLatin1String("/mnt/")) ||
                               root.startsWith(QLatin1String("/run/media/"));
        if (removable && volume.isReady() && !roots.contains(root))
            roots.append(root);
    }
    driveCombo_->clear();
    driveCombo_->addItems(roots);
}

void MainWindow::driveChosen(int index) {
    const QString root = driveCombo_->itemText(index);
    const QString target = lastDirectoryOnDrive_.value(root, root);
    command([&] {
        try {
            openDirectory(target);
        } catch (const CommandError&) {
            openDirectory(root); // the folder last used there has gone
        }
    });
}

void MainWindow::openDirectory(const QString& path) {
    if (::chdir(EncodeFileName(path).constData()) != 0)
        ThrowIoError(errno);
    QString current = WorkingDirectory();
    if (current.isEmpty())
        current = QStringLiteral("/");
    RemoveStaleTemporaries(current);
    directoryList_->showDirectory(current);
    // Remember the folder per drive: the drive is the longest root that holds it.
    int drive = 0;
    for (int i = 0; i < driveCombo_->count(); ++i) {
        const QString root = driveCombo_->itemText(i);
        const bool holds =
            current == root ||
            current.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
        if (holds && root.size() >= driveCombo_->itemText(drive).size())
            drive = i;
    }
    driveCombo_->setCurrentIndex(drive);
    lastDirectoryOnDrive_.insert(driveCombo_->itemText(drive), current);
    directoryChanged();
    fileList_->reread();
}

void MainWindow::openFromCommandLine(const QString& folder, const QStringList& files) {
    command([&] {
        try {
            openDirectory(folder);
        } catch (const CommandError& e) {
            // Started from a file manager or a script, the user may not know which folder was meant.
            ThrowError(
                QStringLiteral("Cannot open the folder '%1': %2").arg(DisplayFileName(folder), e.message()));
        }
        if (fileList_->selectNames(files) > 0)
            fileList_->setFocus();
    });
}

void MainWindow::entryOpened(const QString& path) {
    command([&] { openDirectory(path); });
}

void MainWindow::showClickedDirectoryInStatus() {
    const int row = directoryList_->currentRow();
    if (row >= 0)
        setStatus(DisplayFileName(directoryList_->entryPath(row)));
}

void MainWindow::directoryChanged() {
    fetchArtistAlbum();
}

void MainWindow::showFocusedFileInStatus() {
    if (fileList_->count() == 0 || !fileList_->selectionModel()->hasSelection())
        return;
    const QString focused = fileList_->focusedName();
    if (focused.isEmpty())
        return;
    if (!actionShowTagInStatus_->isChecked()) {
        setStatus(DisplayFileName(focused));
        return;
    }
    command([&] {
        if (useId3v2()) {
            const std::optional<TagValues> values = ReadTagValues(focused, true);
            if (values && values->source == TagSource::Id3v2) {
                // An ID3v2 text may run over several lines (comments often do); the status
                // line is one.
                QString summary = TagSummary(values->texts);
                for (QChar& c : summary) {
                    if (c.unicode() < 32)
                        c = QLatin1Char(' ');
                }
                setStatus(summary);
                return;
            }
        }
        const Mp3Info info = ReadMp3Info(focused);
        setStatus(info.hasTag ? TagSummary(info) : QStringLiteral("No ID3 tag found!"));
    });
}

void MainWindow::refresh() {
    command([this] {
        directoryList_->showDirectory(currentDirectory());
        directoryChanged();
        fileList_->reread();
        fetchArtistAlbum();
    });
}

void MainWindow::selectNoFiles() {
    fileList_->setAllSelected(false);
}

void MainWindow::selectAllFiles() {
    fileList_->setAllSelected(true);
}

// ---------------------------------------------------------------------------------------------
// The commands

void MainWindow::renameDirectory() {
    const int row = directoryList_->currentRow();
    if (row <= 0)
        return; // the root cannot be renamed
    command([&] {
        openDirectory(directoryList_->entryPath(row));
        if (const auto parent = RenameDirectory(currentDirectory(), *prompts_)) {
            actionUndo_->setEnabled(CanUndo());
            openDirectory(*parent);
            fetchArtistAlbum();
        }
    });
}

void MainWindow::undoLastCommand() {
    command([this] {
        const UndoReport undone = UndoLastCommand();
        actionUndo_->setEnabled(CanUndo());
        // The names in the tree and the list may have changed back; the working directory itself
        // may be a folder whose name went back.
        const QString cwd = WorkingDirectory();
        openDirectory(cwd.isEmpty() ? currentDirectory() : cwd);
        if (const QString message = NotRestoredMessage(undone); !message.isEmpty())
            ThrowError(message);
    });
}

void MainWindow::renameFiles() {
    command([this] { finish(RenameFilesCommand(batchContext(), actionAskLongFilename_->isChecked())); });
}

void MainWindow::trimFilenames() {
    command([this] {
        finish(TrimFilenamesCommand(batchContext(), filenameFormat(), nameCase(), trackSeparator(),
                                    actionAskLongFilename_->isChecked()));
    });
}

void MainWindow::editTags() {
    if (tagDialog_)
        command([this] { finish(EditTagsCommand(batchContext(), useId3v2())); });
}

void MainWindow::playFile() {
    PlayFile(fileList_->anySelected(), fileList_->focusedName());
}

void MainWindow::tagFiles() {
    if (!tagDialog_ || !fileList_->anySelected())
        return;
    // The window shows the texts the command uses.
    for (QLineEdit* field : {artistEdit_, albumEdit_, commentEdit_})
        field->setText(TrimControl(field->text()));
    const TagFilesOptions options{tagFieldValues(), filenameFormat(), actionAskLongTitle_->isChecked(),
                                  actionAskLongFilename_->isChecked(), useId3v2()};
    command([&] {
        const BatchReport report = TagFilesCommand(batchContext(), options);
        // The counter is a stored 32-bit value; it stops at its largest value instead of wrapping.
        settings_.uses = int32_t(
            std::min<int64_t>(int64_t(settings_.uses) + report.changed, std::numeric_limits<int32_t>::max()));
        finish(report);
    });
}

void MainWindow::renameFromTags() {
    command([this] {
        finish(RenameFromTagsCommand(batchContext(), filenameFormat(), trackSeparator(),
                                     actionAskLongFilename_->isChecked(), useId3v2()));
    });
}

void MainWindow::searchAndReplace() {
    command([this] { finish(SearchReplaceCommand(batchContext(), actionAskLongFilename_->isChecked())); });
}

void MainWindow::previewRenames() {
    QStringList selected;
    for (int i = 0; i < fileList_->count(); ++i) {
        if (fileList_->isSelected(i))
            selected.append(fileList_->name(i));
    }
    RenamePreviewDialog preview(selected,
                                {RenameRule::fromTags(filenameFormat(), trackSeparator(), useId3v2()),
                                 RenameRule::trim(filenameFormat(), nameCase(), trackSeparator()),
                                 RenameRule::replace({}, {})},
                                *prompts_, this);
    if (prompts_->showModal(preview) != QDialog::Accepted)
        return;
    // Apply: the real command on the same selection, with what the preview showed.
    const RenameRule rule = preview.rule();
    switch (rule.kind) {
    case RenameRule::Kind::FromTags:
        renameFromTags();
        break;
    case RenameRule::Kind::Trim:
        trimFilenames();
        break;
    case RenameRule::Kind::Replace:
        command([&] {
            finish(SearchReplaceCommand(batchContext(), actionAskLongFilename_->isChecked(), rule.search,
                                        rule.replacement));
        });
        break;
    }
}

void MainWindow::copyTag() {
    command([this] {
        const CopiedTag copied = CopyTagCommand(batchContext(), useId3v2());
        if (copied.tag) {
            // Only fields the user could type into right now; the others stay as the marks left them.
            const auto open = [](const QWidget* field) { return field->isEnabled() && field->isVisible(); };
            const TagFieldValues values = CopiedInto(tagFieldValues(), *copied.tag,
                                                     {open(artistEdit_), open(albumEdit_), open(yearEdit_),
                                                      open(commentEdit_), open(genreCombo_)});
            artistEdit_->setText(values.artist);
            albumEdit_->setText(values.album);
            yearEdit_->setText(values.year);
            commentEdit_->setText(values.comment);
            if (open(genreCombo_))
                SelectGenre(genreCombo_, values.genre);
        }
        finish(copied.report);
    });
}

void MainWindow::removeAllTags() {
    command([this] { finish(RemoveAllTagsCommand(batchContext())); });
}

void MainWindow::exploreDirectory() {
    ExploreDirectory(currentDirectory());
}

void MainWindow::openHtmlHelp() {
    OpenHelpDocument(QLatin1String(kHelpHtml));
}

void MainWindow::openEnglishHelp() {
    OpenHelpDocument(QLatin1String(kHelpEnglish));
}

void MainWindow::openFinnishHelp() {
    OpenHelpDocument(QLatin1String(kHelpFinnish));
}

void MainWindow::showAboutBox() {
    if (!aboutBox_)
        return;
    aboutBox_->setTaggedFiles(settings_.uses);
    prompts_->showModal(*aboutBox_);
}

template <typename Command> void MainWindow::command(Command&& run) {
    RunCommand(this, std::forward<Command>(run));
    fileList_->viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Events

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == statusLine_ && event->type() == QEvent::Resize)
        alignStatusLine();
    // The menu's Ctrl+C and Ctrl+A act on the file list wherever the focus is: a text field
    // must not take them for its own copy and select-all.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const QKeyCombination combo = key->keyCombination();
            if (combo == QKeyCombination(Qt::ControlModifier, Qt::Key_C) ||
                combo == QKeyCombination(Qt::ControlModifier, Qt::Key_A))
                return true; // neither delivered nor accepted: the shortcut takes it
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // A font chosen while the program runs resizes the window as one chosen before it started.
    if (fitted_ && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
        fitToFont();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!centred_) {
        centred_ = true;
        fitToFont(); // the window system's frame is known now, and takes room from the screen
        CentreOnScreen(this);
    }
}
