#include "app/Tag.h"

#include "app/About.h"
#include "app/DirectoryList.h"
#include "app/ErrorBox.h"
#include "app/FileList.h"
#include "app/FolderDrop.h"
#include "app/ProgressBar.h"
#include "app/Settings.h"
#include "app/Shell.h"
#include "commands/CopyTag.h"
#include "commands/Edit.h"
#include "commands/FieldState.h"
#include "commands/GenreList.h"
#include "commands/RenameFiles.h"
#include "commands/SearchReplaceCommand.h"
#include "core/AnsiText.h"
#include "core/FileName.h"
#include "core/IoError.h"
#include "core/ProgramOptions.h"
#include "core/TagRemoval.h"
#include "naming/Formats.h"
#include "naming/RenameFromTags.h"
#include "naming/TagFiles.h"
#include "naming/TrimFilenames.h"

#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QStorageInfo>
#include <QVBoxLayout>

#include <cerrno>
#include <unistd.h>

namespace {

constexpr int kClientWidth = 681;
constexpr int kClientHeight = 393;
constexpr int kBrowserWidth = 168;
constexpr int kTaggingWidth = 302;
constexpr int kFieldWidth = 30;
constexpr int kYearFieldWidth = 4;
constexpr int kCommentFieldWidth = 28;

// The credit line: the program, its author and maker, the maker's e-mail and web addresses.
QString creditLine() {
    const QString bar = QStringLiteral("   |   ");
    return QStringLiteral("Morwick by the Morwick team / Morwick project") + bar +
           QLatin1String(kMorwickEmail) + bar + QLatin1String(kMorwickWeb);
}

const char* const kFilenameFormats[] = {"xx. song.mp3 / xx - song.mp3",
                                        "xx. artist - song.mp3 / xx - artist - song.mp3", "artist - song.mp3",
                                        "song.mp3"};
const char* const kDirnameFormats[] = {"no artist / album fetching", "artist - album", "artist \\ album",
                                       "artist \\ album \\ disc \\", "artist",         "album"};

QString workingDirectory() {
    QByteArray buffer(4096, Qt::Uninitialized);
    while (::getcwd(buffer.data(), size_t(buffer.size())) == nullptr) {
        if (errno != ERANGE)
            return QStringLiteral("/");
        buffer.resize(buffer.size() * 2);
    }
    return DecodeFileName(QByteArray(buffer.constData()));
}

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

QString TagSummary(const mp3info& info) {
    const QString gap(10, QLatin1Char(' '));
    QString text;
    if (info.track != 0)
        text += QLatin1Char('#') + QString::number(info.track);
    for (const QString* field : {&info.artist, &info.title, &info.year, &info.comment}) {
        if (!field->isEmpty())
            text += gap + *field;
    }
    if (!info.genrename.isEmpty())
        text += gap + QLatin1Char('[') + info.genrename + QLatin1Char(']');
    return TrimControl(text);
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), qtPrompts_(this), prompts_(&qtPrompts_) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Morwick"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    buildWidgets();
    buildMenus();
    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    qApp->installEventFilter(this);
    FolderDrop::install(this, [this](const QString& folder) { command([&] { openDirectory(folder); }); });

    refreshDrives();
    RunCommand(this, [this] { openDirectory(workingDirectory()); });
    FormCreate();
}

TForm1::~TForm1() {
    qApp->removeEventFilter(this);
}

void TForm1::setDialogs(TForm2* form2, TForm3* form3) {
    form2_ = form2;
    form3_ = form3;
}

void TForm1::buildWidgets() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* columns = new QHBoxLayout(central);
    columns->setContentsMargins(4, 6, 4, 4);
    columns->setSpacing(6);

    auto button = [this](const char* name, const char* caption, void (TForm1::*slot)()) {
        auto* b = named(new QPushButton(QLatin1String(caption), this), name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };

    // Browser: drives, directory tree, Refresh and Rename dir.
    auto* browser = new QVBoxLayout;
    DriveComboBox1 = named(new QComboBox(this), "DriveComboBox1");
    DirectoryListBox1 = named(new DirectoryList(this), "DirectoryListBox1");
    Button1 = button("Button1", "Refresh", &TForm1::Button1Click);
    Button2 = button("Button2", "Rename dir", &TForm1::Button2Click);
    browser->addWidget(DriveComboBox1);
    browser->addWidget(DirectoryListBox1, 1);
    auto* browserButtons = new QHBoxLayout;
    browserButtons->addWidget(Button1);
    browserButtons->addWidget(Button2);
    browser->addLayout(browserButtons);
    auto* browserColumn = new QWidget(this);
    browserColumn->setFixedWidth(kBrowserWidth);
    browser->setContentsMargins(0, 0, 0, 0);
    browserColumn->setLayout(browser);
    columns->addWidget(browserColumn);

    // Files: selection buttons, the list and the per-file commands.
    auto* files = new QVBoxLayout;
    Button7 = button("Button7", "Clear selection", &TForm1::Button7Click);
    Button8 = button("Button8", "Select all", &TForm1::Button8Click);
    auto* selectionButtons = new QHBoxLayout;
    selectionButtons->addWidget(Button7);
    selectionButtons->addWidget(Button8);
    files->addLayout(selectionButtons);
    FileListBox1 = named(new FileList(this), "FileListBox1");
    files->addWidget(FileListBox1, 1);
    Button3 = button("Button3", "Rename files", &TForm1::Button3Click);
    Button4 = button("Button4", "Trim filenames", &TForm1::Button4Click);
    Button12 = button("Button12", "Replace text", &TForm1::Button12Click);
    Button5 = button("Button5", "Edit tags", &TForm1::Button5Click);
    Button13 = button("Button13", "Copy tag", &TForm1::Button13Click);
    Button6 = button("Button6", "Play file", &TForm1::Button6Click);
    auto* fileButtons = new QGridLayout;
    fileButtons->setSpacing(4);
    const QPushButton* order[] = {Button3, Button4, Button12, Button5, Button13, Button6};
    for (int i = 0; i < 6; ++i)
        fileButtons->addWidget(const_cast<QPushButton*>(order[i]), i / 2, i % 2);
    files->addLayout(fileButtons);
    columns->addLayout(files, 1);

    // Tagging: the batch fields, the formats and the batch commands.
    auto* tagging = new QVBoxLayout;
    tagging->setSpacing(4);
    GroupBox1 = named(new QGroupBox(QStringLiteral(" ID3 tag "), this), "GroupBox1");
    auto* fields = new QGridLayout(GroupBox1);
    fields->setContentsMargins(6, 4, 6, 4);
    fields->setVerticalSpacing(3);
    auto field = [this](const char* name, int maxLength) {
        auto* e = named(new QLineEdit(this), name);
        e->setMaxLength(maxLength);
        return e;
    };
    auto label = [this](const char* name, const char* caption, QWidget* buddy) {
        auto* l = named(new QLabel(QLatin1String(caption), this), name);
        l->setBuddy(buddy);
        return l;
    };
    Edit1 = field("Edit1", kFieldWidth);
    Edit2 = field("Edit2", kFieldWidth);
    Edit3 = field("Edit3", kYearFieldWidth);
    Edit3->setMaximumWidth(48);
    ComboBox1 = named(new QComboBox(this), "ComboBox1");
    Edit4 = field("Edit4", kCommentFieldWidth);
    fields->addWidget(label("Label1", "&Artist", Edit1), 0, 0);
    fields->addWidget(Edit1, 0, 1, 1, 3);
    fields->addWidget(label("Label2", "Al&bum", Edit2), 1, 0);
    fields->addWidget(Edit2, 1, 1, 1, 3);
    fields->addWidget(label("Label3", "&Year", Edit3), 2, 0);
    fields->addWidget(Edit3, 2, 1);
    auto* genreRow = new QHBoxLayout;
    genreRow->addWidget(label("Label4", "&Genre", ComboBox1));
    ComboBox1->setMinimumWidth(130);
    genreRow->addWidget(ComboBox1, 1);
    fields->addLayout(genreRow, 2, 2, 1, 2);
    fields->addWidget(label("Label5", "&Comment", Edit4), 3, 0);
    fields->addWidget(Edit4, 3, 1, 1, 3);
    fields->setColumnStretch(3, 1);
    tagging->addWidget(GroupBox1);

    ComboBox2 = named(new QComboBox(this), "ComboBox2");
    for (const char* caption : kDirnameFormats)
        ComboBox2->addItem(QLatin1String(caption));
    connect(ComboBox2, &QComboBox::activated, this, &TForm1::ComboBox2Click);
    auto* dirnameRow = new QHBoxLayout;
    dirnameRow->addWidget(label("Label6", "&Dirname format", ComboBox2));
    dirnameRow->addWidget(ComboBox2, 1);
    tagging->addLayout(dirnameRow);

    RadioGroup1 = named(new RadioGroupBox(QStringLiteral(" File&name format "), this), "RadioGroup1");
    auto* radios = new QVBoxLayout(RadioGroup1);
    radios->setContentsMargins(6, 2, 6, 2);
    radios->setSpacing(0);
    formatButtons_ = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(QLatin1String(kFilenameFormats[i]), RadioGroup1);
        radio->setObjectName(QStringLiteral("RadioGroup1Format%1").arg(i));
        formatButtons_->addButton(radio, i);
        radios->addWidget(radio);
    }
    connect(formatButtons_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            RadioGroup1Click();
    });
    tagging->addWidget(RadioGroup1);

    Button9 = button("Button9", "TAG", &TForm1::Button9Click);
    QFont big(QStringLiteral("Verdana"));
    big.setPixelSize(24);
    big.setBold(true);
    Button9->setFont(big);
    Button9->setMinimumHeight(86);
    Button14 = button("Button14", "Remove all tags", &TForm1::Button14Click);
    Button10 = button("Button10", "Rename from tags", &TForm1::Button10Click);
    Button11 = button("Button11", "E&xit", &TForm1::Button11Click);
    auto* batchRow = new QHBoxLayout;
    batchRow->addWidget(Button9, 1);
    auto* batchButtons = new QVBoxLayout;
    batchButtons->setSpacing(2);
    batchButtons->addWidget(Button14);
    batchButtons->addWidget(Button10);
    batchButtons->addWidget(Button11);
    batchRow->addLayout(batchButtons, 1);
    tagging->addLayout(batchRow);
    tagging->addStretch(1);
    auto* taggingColumn = new QWidget(this);
    taggingColumn->setFixedWidth(kTaggingWidth);
    tagging->setContentsMargins(0, 0, 0, 0);
    taggingColumn->setLayout(tagging);
    columns->addWidget(taggingColumn);

    statusPanel_ = named(new QLabel(this), "StatusPanel");
    statusPanel_->setAlignment(Qt::AlignCenter);
    auto* bar = named(new QStatusBar(this), "StatusBar1");
    bar->setSizeGripEnabled(false);
    bar->addWidget(statusPanel_, 1);
    setStatusBar(bar);
    progress_ = std::make_unique<StatusBarProgress>(bar);
    SetBatchProgress(progress_.get());

    // The browser's links.
    connect(DriveComboBox1, &QComboBox::activated, this, &TForm1::driveChosen);
    connect(DirectoryListBox1, &QListWidget::itemClicked, this, &TForm1::DirectoryListBox1Click);
    connect(DirectoryListBox1, &DirectoryList::entryOpened, this, &TForm1::entryOpened);
    connect(FileListBox1, &QListWidget::itemSelectionChanged, this, &TForm1::FileListBox1Change);
    connect(FileListBox1, &QListWidget::itemClicked, this, &TForm1::FileListBox1Change);
    connect(FileListBox1, &QListWidget::itemDoubleClicked, this, &TForm1::Button5Click);

    // Keyboard order, as the window lists its parts.
    const QList<QWidget*> tabOrder = {
        DriveComboBox1, DirectoryListBox1, Button1,  Button2,   Button7,
        Button8,        FileListBox1,      Button3,  Button4,   Button12,
        Button5,        Button13,          Button6,  Edit1,     Edit2,
        Edit3,          ComboBox1,         Edit4,    ComboBox2, formatButtons_->button(0),
        Button9,        Button14,          Button10, Button11};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void TForm1::buildMenus() {
    auto action = [this](QMenu* menu, const char* name, const char* caption, void (TForm1::*slot)(),
                         QKeySequence shortcut = {}) {
        auto* a = named(new QAction(QLatin1String(caption), this), name);
        a->setShortcut(shortcut);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, slot);
        if (menu)
            menu->addAction(a);
        else
            addAction(a); // works by its shortcut, never shown
        return a;
    };
    auto check = [&](QMenu* menu, const char* name, const char* caption, void (TForm1::*slot)(), bool on) {
        QAction* a = action(menu, name, caption, slot);
        a->setCheckable(true);
        a->setChecked(on);
        return a;
    };
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    QMenu* file = named(bar->addMenu(QStringLiteral("&File")), "FileMenu");
    action(file, "Exit1", "E&xit", &TForm1::Button11Click);

    QMenu* edit = named(bar->addMenu(QStringLiteral("&Edit")), "EditMenu");
    action(edit, "Clearselection1", "&Clear selection", &TForm1::Button7Click, Qt::CTRL | Qt::Key_C);
    action(edit, "Selectall1", "Select &all", &TForm1::Button8Click, Qt::CTRL | Qt::Key_A);
    edit->addSeparator();
    action(edit, "Refresh1", "Re&fresh", &TForm1::Button1Click, Qt::Key_F5);
    action(edit, "Renamedir1", "Rename &dir", &TForm1::Button2Click, Qt::Key_F4);
    edit->addSeparator();
    action(edit, "Renamefiles1", "&Rename files", &TForm1::Button3Click, Qt::Key_F2);
    action(edit, "SearchReplace1", "&Search && Replace", &TForm1::Button12Click, Qt::Key_F3);
    action(edit, "Trimfilenames1", "&Trim filenames", &TForm1::Button4Click, Qt::CTRL | Qt::Key_T);
    action(edit, "Edittags1", "&Edit tags", &TForm1::Button5Click, Qt::ALT | Qt::Key_3);
    action(edit, "Copytag1", "Copy ta&g", &TForm1::Button13Click, Qt::CTRL | Qt::Key_W);
    action(edit, "Playfile1", "&Play file", &TForm1::Button6Click, Qt::Key_F11);
    edit->addSeparator();
    action(edit, "Exploredirectory1", "E&xplore directory", &TForm1::Exploredirectory1Click,
           Qt::CTRL | Qt::Key_E);

    QMenu* tag = named(bar->addMenu(QStringLiteral("&Tag")), "TagMenu");
    action(tag, "Tagem1", "&Tag files", &TForm1::Button9Click, Qt::Key_F12);
    action(tag, "Removealltags1", "Remove all tags", &TForm1::Button14Click, Qt::Key_F9);
    action(tag, "Renamefromtags1", "&Rename from tags", &TForm1::Button10Click, Qt::Key_F10);
    tag->addSeparator();
    action(tag, "Cleartagfields1", "&Clear ID3 fields", &TForm1::Cleartagfields1Click, Qt::CTRL | Qt::Key_N);
    QMenu* marks = named(tag->addMenu(QStringLiteral("Set &ID3 fields")), "SetID3fields1");
    settag1 = check(marks, "settag1", "&Title", &TForm1::settagClick, true);
    settag2 = check(marks, "settag2", "&Artist", &TForm1::settagClick, true);
    settag3 = check(marks, "settag3", "Al&bum", &TForm1::settagClick, true);
    settag4 = check(marks, "settag4", "&Year", &TForm1::settagClick, true);
    settag5 = check(marks, "settag5", "&Comment", &TForm1::settagClick, true);
    settag7 = check(marks, "settag7", "Track", &TForm1::settagClick, true);
    settag6 = check(marks, "settag6", "&Genre", &TForm1::settagClick, true);
    marks->addSeparator();
    action(marks, "Toggleallnone1", "Toggle all / &none", &TForm1::Toggleallnone1Click);

    QMenu* settings = named(bar->addMenu(QStringLiteral("&Settings")), "SettingsMenu");
    QMenu* trim = named(settings->addMenu(QStringLiteral("&Trim")), "Trim1");
    QMenu* caseMenu = named(trim->addMenu(QStringLiteral("&Case")), "Case1");
    Capitalize1 = check(caseMenu, "Capitalize1", "&Capitalize", &TForm1::Capitalize1Click, true);
    Sentence1 = check(caseMenu, "Sentence1", "&Sentence", &TForm1::Sentence1Click, false);
    QMenu* numbers = named(trim->addMenu(QStringLiteral("&Numbers to")), "Numbersto1");
    xxtitlemp31 = check(numbers, "xxtitlemp31", "&xx. title.mp3", &TForm1::xxtitlemp31Click, true);
    xxtitlemp32 = check(numbers, "xxtitlemp32", "xx - &title.mp3", &TForm1::xxtitlemp32Click, false);
    for (auto pair : {std::pair{Capitalize1, Sentence1}, std::pair{xxtitlemp31, xxtitlemp32}}) {
        auto* group = new QActionGroup(this);
        group->addAction(pair.first);
        group->addAction(pair.second);
    }
    Filenameshortcut1 = action(nullptr, "Filenameshortcut1", "Filename shortcut",
                               &TForm1::Filenameshortcut1Click, Qt::ALT | Qt::Key_N);
    settings->addSeparator();
    Askfor1 = check(settings, "Askfor1", "&Ask title if over 30 chars", &TForm1::Askfor1Click, true);
    Ask64 = check(settings, "Ask64", "As&k filename if over 64 chars", &TForm1::Ask64Click, false);
    settings->addSeparator();
    Showtaginstatusbar1 = check(settings, "Showtaginstatusbar1", "S&how tag in statusbar",
                                &TForm1::Showtaginstatusbar1Click, false);
    settings->addSeparator();
    action(settings, "Savesettings1", "&Save settings", &TForm1::Savesettings1Click);

    QMenu* help = named(bar->addMenu(QStringLiteral("&Help")), "HelpMenu");
    action(help, "Help2", "&Help (html)", &TForm1::Help2Click, Qt::Key_F1);
    action(help, "Helpenglish1", "Help (&english)", &TForm1::Helpenglish1Click);
    action(help, "Helpfinnish1", "Help (&finnish)", &TForm1::Helpfinnish1Click);
    help->addSeparator();
    action(help, "About1", "&About", &TForm1::About1Click);

    PopupMenu1 = named(new QMenu(this), "PopupMenu1");
    auto popup = [&](const char* name, const char* caption, void (TForm1::*slot)()) {
        auto* a = named(new QAction(QLatin1String(caption), PopupMenu1), name);
        connect(a, &QAction::triggered, this, slot);
        PopupMenu1->addAction(a);
    };
    popup("Rename1", "&Rename", &TForm1::Button3Click);
    popup("Edittags2", "&Edit tags", &TForm1::Button5Click);
    popup("Copydata1", "&Copy data", &TForm1::Button13Click);
    FileListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FileListBox1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(FileListBox1->viewport()->mapToGlobal(at)); });
}

// ---------------------------------------------------------------------------------------------
// Start-up and settings

void TForm1::FormCreate() {
    setStatus(creditLine());
    ComboBox2->setCurrentIndex(0);
    FetchArtistAlbum();
    setFilenameFormat(0); // reports the change, which applies the format
    ApplyFilenameFormat();
    FillGenreList(ComboBox1);
    Options = ProgramOptions{};
    loadSettings();
}

void TForm1::loadSettings() {
    bool completed = false;
    RunCommand(this, [&] {
        const SettingsReader reader;
        if (reader.exists()) {
            if (auto v = reader.read(QStringLiteral("dirnameformat")))
                ComboBox2->setCurrentIndex(*v >= 0 && *v <= 5 ? *v : -1);
            if (auto v = reader.read(QStringLiteral("filenameformat"))) {
                const int format = std::clamp(*v, -1, 3);
                if (format != 0) {
                    setFilenameFormat(format);
                    if (format == -1)
                        RadioGroup1Click();
                }
            }
            if (auto v = reader.read(QStringLiteral("ask")))
                Askfor1->setChecked(*v != 0);
            if (auto v = reader.read(QStringLiteral("ask64")))
                Ask64->setChecked(*v != 0);
            if (auto v = reader.read(QStringLiteral("statusbar")))
                Showtaginstatusbar1->setChecked(*v != 0);
            if (auto v = reader.read(QStringLiteral("starts")))
                Options.starts = *v;
            if (auto v = reader.read(QStringLiteral("uses")))
                Options.uses = *v;
            if (auto v = reader.read(QStringLiteral("trim1")))
                Options.trim1 = *v;
            if (auto v = reader.read(QStringLiteral("trim2")))
                Options.trim2 = *v;
        }
        completed = true;
    });
    if (!completed)
        return; // a failed read abandons the rest of start-up
    (Options.trim1 != 0 ? Sentence1 : Capitalize1)->setChecked(true);
    (Options.trim2 != 0 ? xxtitlemp32 : xxtitlemp31)->setChecked(true);
}

void TForm1::Savesettings1Click() {
    command([this] {
        ++Options.starts;
        WriteSettings({{QStringLiteral("dirnameformat"), dirnameFormat()},
                       {QStringLiteral("filenameformat"), filenameFormat()},
                       {QStringLiteral("ask"), Askfor1->isChecked() ? 1 : 0},
                       {QStringLiteral("ask64"), Ask64->isChecked() ? 1 : 0},
                       {QStringLiteral("statusbar"), Showtaginstatusbar1->isChecked() ? 1 : 0},
                       {QStringLiteral("starts"), Options.starts},
                       {QStringLiteral("uses"), Options.uses},
                       {QStringLiteral("trim1"), Options.trim1},
                       {QStringLiteral("trim2"), Options.trim2}});
    });
}

void TForm1::Button11Click() {
    bool written = false;
    command([&] {
        ++Options.starts;
        WriteSettings({{QStringLiteral("starts"), Options.starts}, {QStringLiteral("uses"), Options.uses}});
        written = true;
    });
    if (written)
        QCoreApplication::quit();
}

// ---------------------------------------------------------------------------------------------
// State the commands read

int TForm1::filenameFormat() const {
    return formatButtons_->checkedId();
}

int TForm1::dirnameFormat() const {
    return ComboBox2->currentIndex();
}

Id3FieldMask TForm1::fieldMask() const {
    return {settag1->isChecked(), settag2->isChecked(), settag3->isChecked(), settag4->isChecked(),
            settag5->isChecked(), settag7->isChecked(), settag6->isChecked()};
}

BatchTagFields TForm1::batchFields() const {
    return {Edit1, Edit2, Edit3, Edit4, ComboBox1};
}

QString TForm1::statusText() const {
    return statusPanel_->text();
}

QString TForm1::currentDirectory() const {
    return DirectoryListBox1->directory();
}

void TForm1::setStatus(const QString& text) {
    statusPanel_->setText(text);
}

void TForm1::setFilenameFormat(int format) {
    if (format >= 0) {
        formatButtons_->button(format)->setChecked(true);
        return;
    }
    formatButtons_->setExclusive(false);
    for (QAbstractButton* b : formatButtons_->buttons())
        b->setChecked(false);
    formatButtons_->setExclusive(true);
}

// ---------------------------------------------------------------------------------------------
// Keeping the fields consistent with the options

void TForm1::ApplyFieldMask() {
    const std::pair<QAction*, QWidget*> pairs[] = {
        {settag2, Edit1}, {settag3, Edit2}, {settag4, Edit3}, {settag5, Edit4}, {settag6, ComboBox1}};
    for (const auto& [mark, field] : pairs) {
        const bool on = mark->isChecked();
        SetFieldState(field, on);
        if (!on) {
            if (auto* edit = qobject_cast<QLineEdit*>(field))
                edit->clear();
            else
                ComboBox1->setCurrentIndex(-1);
        }
    }
    ApplyFilenameFormat();
}

void TForm1::ApplyFilenameFormat() {
    const int format = filenameFormat();
    if (settag2->isChecked() && format >= 0) {
        const bool fromName = format == 1 || format == 2;
        SetFieldState(Edit1, !fromName);
        if (fromName)
            Edit1->clear();
    }
    FetchArtistAlbum();
}

void TForm1::FetchArtistAlbum() {
    const ArtistAlbum values =
        ArtistAlbumFromPath(currentDirectory(), dirnameFormat(), Edit1->isEnabled(), Edit2->isEnabled());
    if (values.artist)
        Edit1->setText(*values.artist);
    if (values.album)
        Edit2->setText(*values.album);
}

// ---------------------------------------------------------------------------------------------
// The browser

void TForm1::refreshDrives() {
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
    DriveComboBox1->clear();
    DriveComboBox1->addItems(roots);
}

void TForm1::driveChosen(int index) {
    const QString root = DriveComboBox1->itemText(index);
    const QString target = lastDirectoryOnDrive_.value(root, root);
    command([&] {
        try {
            openDirectory(target);
        } catch (const CommandError&) {
            openDirectory(root); // the folder last used there has gone
        }
    });
}

void TForm1::openDirectory(const QString& path) {
    if (::chdir(EncodeFileName(path).constData()) != 0)
        ThrowIoError(errno);
    const QString current = workingDirectory();
    DirectoryListBox1->showDirectory(current);
    // Remember the folder per drive: the drive is the longest root that holds it.
    int drive = 0;
    for (int i = 0; i < DriveComboBox1->count(); ++i) {
        const QString root = DriveComboBox1->itemText(i);
        const bool holds =
            current == root ||
            current.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
        if (holds && root.size() >= DriveComboBox1->itemText(drive).size())
            drive = i;
    }
    DriveComboBox1->setCurrentIndex(drive);
    lastDirectoryOnDrive_.insert(DriveComboBox1->itemText(drive), current);
    DirectoryListBox1Change();
    FileListBox1->reread();
}

void TForm1::entryOpened(const QString& path) {
    command([&] { openDirectory(path); });
}

void TForm1::DirectoryListBox1Click() {
    const int row = DirectoryListBox1->currentRow();
    if (row >= 0)
        setStatus(DisplayFileName(DirectoryListBox1->entryPath(row)));
}

void TForm1::DirectoryListBox1Change() {
    FetchArtistAlbum();
}

void TForm1::FileListBox1Change() {
    if (FileListBox1->count() == 0 || !FileListBox1->selectionModel()->hasSelection())
        return;
    const QString focused = FileListBox1->focusedName();
    if (focused.isEmpty())
        return;
    if (!Showtaginstatusbar1->isChecked()) {
        setStatus(DisplayFileName(focused));
        return;
    }
    command([&] {
        ReadMp3Info(focused, Mp3Info);
        setStatus(Mp3Info.hastag ? TagSummary(Mp3Info) : QStringLiteral("No ID3 tag found!"));
    });
}

void TForm1::RadioGroup1Click() {
    ApplyFilenameFormat();
}

void TForm1::ComboBox2Click() {
    FetchArtistAlbum();
}

void TForm1::Button1Click() {
    command([this] {
        DirectoryListBox1->showDirectory(currentDirectory());
        DirectoryListBox1Change();
        FileListBox1->reread();
        FetchArtistAlbum();
    });
}

void TForm1::Button7Click() {
    FileListBox1->setAllSelected(false);
}

void TForm1::Button8Click() {
    FileListBox1->setAllSelected(true);
}

void TForm1::Cleartagfields1Click() {
    for (QLineEdit* e : {Edit1, Edit2, Edit3, Edit4})
        e->clear();
    ComboBox1->setCurrentIndex(0);
}

void TForm1::settagClick() {
    ApplyFieldMask();
}

void TForm1::Toggleallnone1Click() {
    const bool on = toggleAllNone_;
    toggleAllNone_ = !toggleAllNone_;
    for (QAction* mark : {settag1, settag2, settag3, settag4, settag5, settag6, settag7})
        mark->setChecked(on);
    ApplyFieldMask();
}

void TForm1::Filenameshortcut1Click() {
    setFilenameFormat((filenameFormat() + 1) % 4);
    ApplyFilenameFormat();
}

void TForm1::Showtaginstatusbar1Click() {} // the action's own check mark is the option

void TForm1::Ask64Click() {}

void TForm1::Askfor1Click() {}

void TForm1::Capitalize1Click() {
    Options.trim1 = 0;
}

void TForm1::Sentence1Click() {
    Options.trim1 = 1;
}

void TForm1::xxtitlemp31Click() {
    Options.trim2 = 0;
}

void TForm1::xxtitlemp32Click() {
    Options.trim2 = 1;
}

// ---------------------------------------------------------------------------------------------
// Commands of their own units

void TForm1::Button2Click() {
    const int row = DirectoryListBox1->currentRow();
    if (row <= 0)
        return; // the root cannot be renamed
    command([&] {
        openDirectory(DirectoryListBox1->entryPath(row));
        if (const auto parent = RenameDirectory(currentDirectory(), *prompts_)) {
            openDirectory(*parent);
            FetchArtistAlbum();
        }
    });
}

void TForm1::Button3Click() {
    command([this] { RenameFiles(*FileListBox1, *prompts_, Ask64->isChecked()); });
}

void TForm1::Button4Click() {
    command([this] {
        TrimFilenames(*FileListBox1, *prompts_, filenameFormat(), Options.trim1, Options.trim2,
                      Ask64->isChecked());
    });
}

void TForm1::Button5Click() {
    if (form2_)
        command([this] { EditTags(*FileListBox1, *form2_, *prompts_); });
}

void TForm1::Button6Click() {
    PlayFile(FileListBox1->anySelected(), FileListBox1->focusedName());
}

void TForm1::Button9Click() {
    if (!form2_)
        return;
    command([this] {
        TagFiles({*FileListBox1, *prompts_, *form2_, batchFields(), fieldMask(), filenameFormat(),
                  Askfor1->isChecked(), Ask64->isChecked()});
    });
}

void TForm1::Button10Click() {
    command([this] {
        RenameFromTags(*FileListBox1, *prompts_, filenameFormat(), Options.trim2, Ask64->isChecked());
    });
}

void TForm1::Button12Click() {
    command([this] { SearchAndReplace(*FileListBox1, *prompts_, Ask64->isChecked()); });
}

void TForm1::Button13Click() {
    command([this] { CopyTag(*FileListBox1, batchFields()); });
}

void TForm1::Button14Click() {
    command([this] {
        RunBatch(*FileListBox1, [](const QString& name) {
            RemoveAllTags(name);
            return BatchStep::Continue;
        });
    });
}

void TForm1::Exploredirectory1Click() {
    ExploreDirectory(currentDirectory());
}

void TForm1::Help2Click() {
    OpenHelpDocument(QLatin1String(kHelpHtml));
}

void TForm1::Helpenglish1Click() {
    OpenHelpDocument(QLatin1String(kHelpEnglish));
}

void TForm1::Helpfinnish1Click() {
    OpenHelpDocument(QLatin1String(kHelpFinnish));
}

void TForm1::About1Click() {
    if (form3_)
        prompts_->showModal(*form3_);
}

void TForm1::setPrompts(Prompts* prompts) {
    prompts_ = prompts ? prompts : &qtPrompts_;
}

template <typename Command> void TForm1::command(Command&& run) {
    RunCommand(this, std::forward<Command>(run));
    FileListBox1->viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Events

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
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

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!centred_) {
        centred_ = true;
        if (const QScreen* s = screen())
            move(s->availableGeometry().center() - rect().center());
    }
}
