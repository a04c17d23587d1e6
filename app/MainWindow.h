#pragma once

#include "app/dialogs/QtPrompts.h"
#include "commands/Settings.h"
#include "commands/TagFields.h"
#include "naming/Formats.h"

#include <QMainWindow>
#include <QMap>
#include <memory>

class AboutBox;
class DirectoryList;
class FileList;
class QAction;
class QBoxLayout;
class QButtonGroup;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class StatusBarProgress;
class TagDialog;
struct BatchContext;
struct BatchReport;

// The main window: file browser, batch tag fields, formats, menus and the status line. Its
// slots gather the window's values once and hand them to the commands.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The tag dialog and the about box, created after this window.
    void setDialogs(TagDialog* tagDialog, AboutBox* aboutBox);
    // Where the commands' prompts go: the real dialogs, or scripted answers (nullptr: real).
    void setPrompts(WindowPrompts* prompts);

    FilenameFormat filenameFormat() const;
    DirnameFormat dirnameFormat() const;
    NameCase nameCase() const;
    TrackSeparator trackSeparator() const;
    Id3FieldMask fieldMask() const;
    TagFieldValues tagFieldValues() const;
    QString statusText() const;
    QString currentDirectory() const;
    FileList* fileList() const { return fileList_; }
    // The tagged-files counter (the "uses" setting) as it stands in memory.
    int32_t taggedFiles() const { return settings_.uses; }
    // "Also use ID3v2 tags": whether the commands read and write ID3v2 tags as well as ID3v1.
    bool useId3v2() const;

    // Opens `path` as the current directory: the working directory, the tree and the list
    // follow. Throws CommandError when the directory cannot be entered.
    void openDirectory(const QString& path);
    // Opens the folder the command line gave, then selects `files` in it (bare names; those not
    // in the list are passed over), the first found focused, with the keyboard focus on the list.
    // A folder that cannot be opened is shown in the error box with its name, and the window
    // stays where it was.
    void openFromCommandLine(const QString& folder, const QStringList& files);

public slots:
    // Takes back the last command that changed files (see UndoLastCommand).
    void undoLastCommand();
    // The batch commands and the buttons beside the list.
    void refresh();
    void renameDirectory();
    void renameFiles();
    void trimFilenames();
    void editTags();
    void playFile();
    void selectNoFiles();
    void selectAllFiles();
    void tagFiles();
    void renameFromTags();
    void exitProgram();
    void searchAndReplace();
    void previewRenames();
    void copyTag();
    void removeAllTags();
    // Menu items of their own.
    void clearTagFields();
    void toggleAllMarks();
    void nextFilenameFormat();
    void saveSettings();
    void exploreDirectory();
    void openHtmlHelp();
    void openEnglishHelp();
    void openFinnishHelp();
    void showAboutBox();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildWidgets();
    void buildMenus();
    // Sizes the columns and the fixed window for the font in use, within the screen.
    void fitToFont();
    // Lays the buttons under the two lists out side by side, or (`narrow`) one under another, so
    // that the lists can give way on a screen too small for the window.
    void arrangeListButtons(bool narrow);
    // The window's size for the font in use with the list buttons so arranged, with room for the
    // status line's credit whole or not.
    QSize fittedSize(bool narrow, bool wholeCredit);
    static QString creditLine();
    void applyDefaultsAndLoadSettings();
    void showFocusedFileInStatus();
    void showClickedDirectoryInStatus();
    void directoryChanged();
    void filenameFormatChosen();
    void dirnameFormatChosen();
    void nameCaseChosen(NameCase nameCase);
    void trackSeparatorChosen(TrackSeparator separator);
    // Keeping the fields consistent with the marks and the formats.
    void applyFieldMask();
    void applyFilenameFormat();
    void fetchArtistAlbum();
    // The batch fields' character limits: the ID3v1 widths, or none while ID3v2 tags are used.
    void applyFieldLimits();
    void setFilenameFormat(FilenameFormat format);
    void setStatus(const QString& text);
    void refreshDrives();
    void driveChosen(int index);
    void entryOpened(const QString& path);
    BatchContext batchContext();
    // Ends a batch command: on a failure the focus frame moves to the file the batch stopped at
    // (scrolled into view, the selection left as it is) and the failure goes to the error box.
    void finish(const BatchReport& report);
    // Runs a command through the one error box, then repaints the list once.
    template <typename Command> void command(Command&& run);

    QWidget* browserColumn_ = nullptr;
    QWidget* taggingColumn_ = nullptr;
    QBoxLayout* browserButtons_ = nullptr;
    QGridLayout* fileButtons_ = nullptr;
    QList<QPushButton*> fileButtonOrder_;
    QComboBox* driveCombo_ = nullptr;
    DirectoryList* directoryList_ = nullptr;
    FileList* fileList_ = nullptr;
    QLineEdit* artistEdit_ = nullptr;
    QLineEdit* albumEdit_ = nullptr;
    QLineEdit* yearEdit_ = nullptr;
    QLineEdit* commentEdit_ = nullptr;
    QComboBox* genreCombo_ = nullptr;
    QComboBox* dirnameFormatCombo_ = nullptr;
    QButtonGroup* filenameFormatButtons_ = nullptr;
    QLabel* statusLine_ = nullptr;
    QMenu* fileContextMenu_ = nullptr;

    QAction* actionUndo_ = nullptr;
    QAction* actionMarkTitle_ = nullptr;
    QAction* actionMarkArtist_ = nullptr;
    QAction* actionMarkAlbum_ = nullptr;
    QAction* actionMarkYear_ = nullptr;
    QAction* actionMarkComment_ = nullptr;
    QAction* actionMarkTrack_ = nullptr;
    QAction* actionMarkGenre_ = nullptr;
    QAction* actionAskLongTitle_ = nullptr;
    QAction* actionAskLongFilename_ = nullptr;
    QAction* actionShowTagInStatus_ = nullptr;
    QAction* actionUseId3v2_ = nullptr;
    QAction* actionCaseCapitalize_ = nullptr;
    QAction* actionCaseSentence_ = nullptr;
    QAction* actionNumbersDot_ = nullptr;
    QAction* actionNumbersDash_ = nullptr;

    std::unique_ptr<StatusBarProgress> progress_;
    // The settings no widget holds (the counters and the two trim options), as loaded.
    StoredSettings settings_;
    bool toggleAllMarksOn_ = false; // Toggle all / none alternates on its own flag
    bool centred_ = false;
    bool fitted_ = false;
    QMap<QString, QString> lastDirectoryOnDrive_;
    QtPrompts qtPrompts_;
    WindowPrompts* prompts_;
    TagDialog* tagDialog_ = nullptr;
    AboutBox* aboutBox_ = nullptr;
};
