#pragma once

#include "commands/BatchFields.h"
#include "commands/Prompts.h"
#include "core/Mp3Info.h"

#include <QMainWindow>
#include <QMap>
#include <memory>

class DirectoryList;
class FileList;
class QAction;
class QActionGroup;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class TForm2;
class TForm3;
class StatusBarProgress;

// The status line text for a file's tag: "#track", then artist, title, year and comment and
// "[genre]", each present one after ten spaces, blanks trimmed from both ends.
QString TagSummary(const mp3info& info);

// The main window: file browser, batch tag fields, formats, menus and the status line.
class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The tag dialog and the about box, created after this window.
    void setDialogs(TForm2* form2, TForm3* form3);
    // Where the commands' prompts go: the real dialogs, or scripted answers (nullptr: real).
    void setPrompts(Prompts* prompts);

    int filenameFormat() const; // 0..3, or -1 when no format is chosen
    int dirnameFormat() const;  // 0..5, or -1 when no entry is selected
    Id3FieldMask fieldMask() const;
    BatchTagFields batchFields() const;
    QString statusText() const;
    QString currentDirectory() const;
    FileList* fileList() const { return FileListBox1; }

    // Opens `path` as the current directory: the working directory, the tree and the list
    // follow. Throws CommandError when the directory cannot be entered.
    void openDirectory(const QString& path);

    void ApplyFieldMask();
    void ApplyFilenameFormat();
    void FetchArtistAlbum();

public slots:
    void FileListBox1Change();
    void DirectoryListBox1Click();
    void DirectoryListBox1Change();
    void RadioGroup1Click();
    void ComboBox2Click();
    void Button1Click();  // Refresh
    void Button2Click();  // Rename dir
    void Button3Click();  // Rename files
    void Button4Click();  // Trim filenames
    void Button5Click();  // Edit tags
    void Button6Click();  // Play file
    void Button7Click();  // Clear selection
    void Button8Click();  // Select all
    void Button9Click();  // Tag files
    void Button10Click(); // Rename from tags
    void Button11Click(); // Exit
    void Button12Click(); // Search & replace
    void Button13Click(); // Copy tag
    void Button14Click(); // Remove all tags
    void Cleartagfields1Click();
    void settagClick();
    void Toggleallnone1Click();
    void Filenameshortcut1Click();
    void Showtaginstatusbar1Click();
    void Ask64Click();
    void Askfor1Click();
    void Capitalize1Click();
    void Sentence1Click();
    void xxtitlemp31Click();
    void xxtitlemp32Click();
    void Savesettings1Click();
    void Exploredirectory1Click();
    void Help2Click();
    void Helpenglish1Click();
    void Helpfinnish1Click();
    void About1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void buildWidgets();
    void buildMenus();
    void setFilenameFormat(int format);
    void loadSettings();
    void setStatus(const QString& text);
    void refreshDrives();
    void driveChosen(int index);
    void entryOpened(const QString& path);
    // Runs a command through the one error box, then repaints the list once.
    template <typename Command> void command(Command&& run);

    QComboBox* DriveComboBox1 = nullptr;
    DirectoryList* DirectoryListBox1 = nullptr;
    FileList* FileListBox1 = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr, *Button3 = nullptr, *Button4 = nullptr,
                *Button5 = nullptr, *Button6 = nullptr, *Button7 = nullptr, *Button8 = nullptr,
                *Button9 = nullptr, *Button10 = nullptr, *Button11 = nullptr, *Button12 = nullptr,
                *Button13 = nullptr, *Button14 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QGroupBox* RadioGroup1 = nullptr;
    QButtonGroup* formatButtons_ = nullptr;
    QLabel* statusPanel_ = nullptr;
    QMenu* PopupMenu1 = nullptr;

    QAction *settag1 = nullptr, *settag2 = nullptr, *settag3 = nullptr, *settag4 = nullptr,
            *settag5 = nullptr, *settag6 = nullptr, *settag7 = nullptr;
    QAction *Askfor1 = nullptr, *Ask64 = nullptr, *Showtaginstatusbar1 = nullptr;
    QAction *Capitalize1 = nullptr, *Sentence1 = nullptr, *xxtitlemp31 = nullptr, *xxtitlemp32 = nullptr;
    QAction* Filenameshortcut1 = nullptr;

    std::unique_ptr<StatusBarProgress> progress_;
    bool toggleAllNone_ = false; // Toggle all / none alternates on its own flag
    bool centred_ = false;
    QMap<QString, QString> lastDirectoryOnDrive_;
    QtPrompts qtPrompts_;
    Prompts* prompts_;
    TForm2* form2_ = nullptr;
    TForm3* form3_ = nullptr;
};
