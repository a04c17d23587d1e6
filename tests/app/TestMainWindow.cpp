#include "app/About.h"
#include "app/FileList.h"
#include "app/Settings.h"
#include "app/Shell.h"
#include "app/Tag.h"
#include "commands/Edit.h"
#include "core/ProgramOptions.h"
#include "support/ModalAnswerer.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <memory>

using namespace testfiles;

namespace {

// Presses OK on the error box, noting its text.
ModalAnswerer::Answer answerErrorBox(QString* text) {
    return [text](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("Morwick"));
        *text = box->text();
        box->button(QMessageBox::Ok)->click();
    };
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> tmp_;
    std::unique_ptr<TForm1> form_;
    QString oldCwd_;

    QString configFile() const { return tmp_->filePath(QStringLiteral("config/morwick.ini")); }
    void writeConfig(const QByteArray& ini) {
        QDir().mkpath(tmp_->filePath(QStringLiteral("config")));
        write(configFile(), ini);
    }
    QMap<QString, QString> storedValues() const {
        QSettings s(configFile(), QSettings::IniFormat);
        QMap<QString, QString> out;
        for (const QString& group : s.childGroups()) {
            s.beginGroup(group);
            for (const QString& key : s.childKeys())
                out.insert(group + QLatin1Char('/') + key, s.value(key).toString());
            s.endGroup();
        }
        return out;
    }
    TForm1* open() {
        form_ = std::make_unique<TForm1>();
        form_->show();
        if (!QTest::qWaitForWindowExposed(form_.get()))
            qWarning("window not exposed");
        return form_.get();
    }
    template <typename T> T* find(const char* name) const {
        T* object = form_->findChild<T*>(QLatin1String(name));
        if (!object)
            qFatal("no %s", name);
        return object;
    }
    QAction* action(const char* name) const { return find<QAction>(name); }
    void makeMusic(const QStringList& names) {
        for (const QString& n : names)
            write(QDir::current().filePath(n), audio(300));
    }

private slots:
    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", tmp_->filePath(QStringLiteral("config")).toUtf8());
        oldCwd_ = QDir::currentPath();
        QDir(tmp_->path()).mkpath(QStringLiteral("music/Band/Record"));
        QDir::setCurrent(tmp_->filePath(QStringLiteral("music")));
        Options = ProgramOptions{};
    }
    void cleanup() {
        form_.reset();
        QDir::setCurrent(oldCwd_);
        tmp_.reset();
    }

    // ---- Start-up and settings ----

    void startWithoutSettingsUsesDefaultsAndCreatesNothing() {
        TForm1* w = open();
        QCOMPARE(w->filenameFormat(), 0);
        QCOMPARE(w->dirnameFormat(), 0);
        QVERIFY(action("Askfor1")->isChecked());
        QVERIFY(!action("Ask64")->isChecked());
        QVERIFY(!action("Showtaginstatusbar1")->isChecked());
        QVERIFY(action("Capitalize1")->isChecked());
        QVERIFY(action("xxtitlemp31")->isChecked());
        QCOMPARE(find<QComboBox>("ComboBox1")->currentIndex(), 0);
        QCOMPARE(find<QComboBox>("ComboBox1")->currentText(), QString());
        QVERIFY(w->statusText().startsWith(QLatin1String("Morwick by ")));
        QVERIFY(w->statusText().contains(QLatin1String("   |   ")));
        QVERIFY(!QFile::exists(configFile()));
        w->close(); // the close box writes nothing
        QVERIFY(!QFile::exists(configFile()));
    }

    void storedValuesApply_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("filenameFormat");
        QTest::addColumn<int>("dirnameFormat");
        QTest::addColumn<bool>("sentence");
        QTest::newRow("format above range") << QByteArray("[morwick]\nfilenameformat=7\n") << 3 << 0 << false;
        QTest::newRow("format below range")
            << QByteArray("[morwick]\nfilenameformat=-5\n") << -1 << 0 << false;
        QTest::newRow("dirname out of range")
            << QByteArray("[morwick]\ndirnameformat=9\n") << 0 << -1 << false;
        QTest::newRow("trim1 other than 0") << QByteArray("[morwick]\ntrim1=2\n") << 0 << 0 << true;
        QTest::newRow("names in other case")
            << QByteArray("[Morwick]\nFilenameFormat=2\nDIRNAMEFORMAT=4\nTrim1=1\n") << 2 << 4 << true;
    }
    void storedValuesApply() {
        QFETCH(QByteArray, ini);
        QFETCH(int, filenameFormat);
        QFETCH(int, dirnameFormat);
        QFETCH(bool, sentence);
        writeConfig(ini);
        TForm1* w = open();
        QCOMPARE(w->filenameFormat(), filenameFormat);
        QCOMPARE(w->dirnameFormat(), dirnameFormat);
        QCOMPARE(action("Sentence1")->isChecked(), sentence);
        QCOMPARE(action("Capitalize1")->isChecked(), !sentence);
    }

    void saveStoresMinusOneForNoDirnameFormat() {
        writeConfig("[morwick]\ndirnameformat=9\n");
        open();
        action("Savesettings1")->trigger();
        const auto values = storedValues();
        QCOMPARE(values.value(QStringLiteral("morwick/dirnameformat")), QStringLiteral("-1"));
        QCOMPARE(values.value(QStringLiteral("morwick/filenameformat")), QStringLiteral("0"));
        QCOMPARE(values.value(QStringLiteral("morwick/ask")), QStringLiteral("1"));
        QCOMPARE(values.size(), 9);
    }

    void textValueStopsLoadingWithTheErrorBox() {
        writeConfig("[morwick]\ndirnameformat=abc\nfilenameformat=2\nask=0\ntrim1=1\nuses=5\n");
        QString text;
        ModalAnswerer answers({answerErrorBox(&text)});
        TForm1* w = open();
        QCOMPARE(text, QStringLiteral("Invalid data type for 'dirnameformat'"));
        QCOMPARE(answers.remaining(), 0);
        QCOMPARE(w->filenameFormat(), 0);
        QVERIFY(action("Askfor1")->isChecked());
        QCOMPARE(Options.uses, 0);
        QVERIFY(action("Capitalize1")->isChecked());
    }

    void saveTwiceThenExitAddsThreeStarts() {
        writeConfig("[morwick]\nstarts=4\nuses=10\nfilenameformat=1\n");
        TForm1* w = open();
        action("Savesettings1")->trigger();
        action("Savesettings1")->trigger();
        find<QComboBox>("ComboBox2")->setCurrentIndex(2); // changed after the last save...
        find<QPushButton>("Button11")->click();
        const auto values = storedValues();
        QCOMPARE(values.value(QStringLiteral("morwick/starts")), QStringLiteral("7"));
        QCOMPARE(values.value(QStringLiteral("morwick/uses")), QStringLiteral("10"));
        QCOMPARE(values.value(QStringLiteral("morwick/dirnameformat")),
                 QStringLiteral("0")); // ...is not kept
        Q_UNUSED(w);
    }

    void exitWritesOnlyTheCounters() {
        open();
        find<QPushButton>("Button11")->click();
        const auto values = storedValues();
        QCOMPARE(values.keys(),
                 (QStringList{QStringLiteral("morwick/starts"), QStringLiteral("morwick/uses")}));
        QCOMPARE(values.value(QStringLiteral("morwick/starts")), QStringLiteral("1"));
    }

    void failedWriteNamesTheValue() {
        open();
        // A configuration folder below a regular file cannot exist, even for root.
        write(tmp_->filePath(QStringLiteral("plainfile")), "x");
        qputenv("XDG_CONFIG_HOME", tmp_->filePath(QStringLiteral("plainfile/config")).toUtf8());
        QString text;
        ModalAnswerer answers({answerErrorBox(&text)});
        action("Savesettings1")->trigger();
        QCOMPARE(text, QStringLiteral("Failed to set data for 'dirnameformat'"));
        text.clear();
        answers.add(answerErrorBox(&text));
        find<QPushButton>("Button11")->click();
        QCOMPARE(text, QStringLiteral("Failed to set data for 'starts'"));
        QVERIFY(form_->isVisible()); // the program keeps running
    }

    // ---- The window ----

    void tabOrder() {
        TForm1* w = open();
        const QStringList expected = {
            "DriveComboBox1", "DirectoryListBox1", "Button1",  "Button2",   "Button7",
            "Button8",        "FileListBox1",      "Button3",  "Button4",   "Button12",
            "Button5",        "Button13",          "Button6",  "Edit1",     "Edit2",
            "Edit3",          "ComboBox1",         "Edit4",    "ComboBox2", "RadioGroup1Format0",
            "Button9",        "Button14",          "Button10", "Button11"};
        QStringList seen;
        QWidget* start = w->findChild<QWidget*>(QStringLiteral("DriveComboBox1"));
        QWidget* at = start;
        do {
            if (expected.contains(at->objectName()) && !seen.contains(at->objectName()))
                seen.append(at->objectName());
            at = at->nextInFocusChain();
        } while (at != start);
        QCOMPARE(seen, expected);
    }

    void windowLayout() {
        TForm1* w = open();
        QCOMPARE(w->windowTitle(), QStringLiteral("Morwick"));
        QCOMPARE(w->centralWidget()->height() + w->statusBar()->height(), 393);
        QCOMPARE(w->width(), 681);
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        auto* tag = find<QPushButton>("Button9");
        QVERIFY(tag->font().bold());
        QCOMPARE(tag->font().pixelSize(), 24);
        QCOMPARE(find<QLineEdit>("Edit1")->maxLength(), 30);
        QCOMPARE(find<QLineEdit>("Edit2")->maxLength(), 30);
        QCOMPARE(find<QLineEdit>("Edit3")->maxLength(), 4);
        QCOMPARE(find<QLineEdit>("Edit4")->maxLength(), 28);
        QCOMPARE(find<QComboBox>("ComboBox1")->count(), 146);
        QCOMPARE(find<QComboBox>("ComboBox2")->count(), 6);
        QCOMPARE(find<QComboBox>("ComboBox2")->itemText(2), QStringLiteral("artist \\ album"));
    }

    void menuItems_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QKeySequence>("shortcut");
        const auto row = [](const char* name, const char* caption, QKeySequence key = {}) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(caption) << key;
        };
        row("Exit1", "E&xit");
        row("Clearselection1", "&Clear selection", Qt::CTRL | Qt::Key_C);
        row("Selectall1", "Select &all", Qt::CTRL | Qt::Key_A);
        row("Refresh1", "Re&fresh", Qt::Key_F5);
        row("Renamedir1", "Rename &dir", Qt::Key_F4);
        row("Renamefiles1", "&Rename files", Qt::Key_F2);
        row("SearchReplace1", "&Search && Replace", Qt::Key_F3);
        row("Trimfilenames1", "&Trim filenames", Qt::CTRL | Qt::Key_T);
        row("Edittags1", "&Edit tags", Qt::ALT | Qt::Key_3);
        row("Copytag1", "Copy ta&g", Qt::CTRL | Qt::Key_W);
        row("Playfile1", "&Play file", Qt::Key_F11);
        row("Exploredirectory1", "E&xplore directory", Qt::CTRL | Qt::Key_E);
        row("Tagem1", "&Tag files", Qt::Key_F12);
        row("Removealltags1", "Remove all tags", Qt::Key_F9);
        row("Renamefromtags1", "&Rename from tags", Qt::Key_F10);
        row("Cleartagfields1", "&Clear ID3 fields", Qt::CTRL | Qt::Key_N);
        row("settag1", "&Title");
        row("settag2", "&Artist");
        row("settag3", "Al&bum");
        row("settag4", "&Year");
        row("settag5", "&Comment");
        row("settag7", "Track");
        row("settag6", "&Genre");
        row("Toggleallnone1", "Toggle all / &none");
        row("Capitalize1", "&Capitalize");
        row("Sentence1", "&Sentence");
        row("xxtitlemp31", "&xx. title.mp3");
        row("xxtitlemp32", "xx - &title.mp3");
        row("Filenameshortcut1", "Filename shortcut", Qt::ALT | Qt::Key_N);
        row("Askfor1", "&Ask title if over 30 chars");
        row("Ask64", "As&k filename if over 64 chars");
        row("Showtaginstatusbar1", "S&how tag in statusbar");
        row("Savesettings1", "&Save settings");
        row("Help2", "&Help (html)", Qt::Key_F1);
        row("Helpenglish1", "Help (&english)");
        row("Helpfinnish1", "Help (&finnish)");
        row("About1", "&About");
        row("Rename1", "&Rename");
        row("Edittags2", "&Edit tags");
        row("Copydata1", "&Copy data");
    }
    void menuItems() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QKeySequence, shortcut);
        open();
        auto* a = form_->findChild<QAction*>(name);
        QVERIFY(a);
        QCOMPARE(a->text(), caption);
        QCOMPARE(a->shortcut(), shortcut);
        // Every item but the hidden shortcut sits in a menu.
        QCOMPARE(a->associatedObjects().isEmpty() || name == QLatin1String("Filenameshortcut1"),
                 name == QLatin1String("Filenameshortcut1"));
    }

    void fieldMask() {
        TForm1* w = open();
        auto* artist = find<QLineEdit>("Edit1");
        artist->setText(QStringLiteral("Someone"));
        action("settag2")->trigger(); // Artist mark off
        QVERIFY(!artist->isEnabled());
        QCOMPARE(artist->text(), QString());
        find<QWidget>("RadioGroup1Format1")->setProperty("checked", true);
        QCOMPARE(w->filenameFormat(), 1);
        action("settag2")->trigger(); // on again, but format 1 takes the artist from the name
        QVERIFY(!artist->isEnabled());
        find<QWidget>("RadioGroup1Format3")->setProperty("checked", true);
        QVERIFY(artist->isEnabled());
        auto* genre = find<QComboBox>("ComboBox1");
        genre->setCurrentIndex(5);
        action("settag6")->trigger();
        QVERIFY(!genre->isEnabled());
        QCOMPARE(genre->currentText(), QString());
    }

    void toggleAllNoneAlternatesOnItsOwnFlag() {
        open();
        const char* marks[] = {"settag1", "settag2", "settag3", "settag4", "settag5", "settag6", "settag7"};
        action("settag3")->trigger(); // some off by hand
        action("settag5")->trigger();
        action("Toggleallnone1")->trigger();
        for (const char* m : marks)
            QVERIFY2(!action(m)->isChecked(), m);
        QVERIFY(!find<QLineEdit>("Edit4")->isEnabled());
        action("Toggleallnone1")->trigger();
        for (const char* m : marks)
            QVERIFY2(action(m)->isChecked(), m);
        QVERIFY(find<QLineEdit>("Edit4")->isEnabled());
    }

    void altNCyclesTheFilenameFormat() {
        TForm1* w = open();
        find<QLineEdit>("Edit2")->setFocus();
        QList<int> formats;
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(w, Qt::Key_N, Qt::AltModifier);
            formats.append(w->filenameFormat());
        }
        QCOMPARE(formats, (QList<int>{1, 2, 3, 0}));
        QVERIFY(find<QLineEdit>("Edit2")->hasFocus()); // the radio group did not take the focus
    }

    void directoryNamesFillArtistAndAlbum() {
        TForm1* w = open();
        w->openDirectory(QDir::current().filePath(QStringLiteral("Band/Record")));
        auto* dirname = find<QComboBox>("ComboBox2");
        dirname->setCurrentIndex(2);
        w->ComboBox2Click();
        QCOMPARE(find<QLineEdit>("Edit1")->text(), QStringLiteral("Band"));
        QCOMPARE(find<QLineEdit>("Edit2")->text(), QStringLiteral("Record"));
        action("Cleartagfields1")->trigger();
        action("settag3")->trigger(); // Album mark off: only the artist is filled
        QCOMPARE(find<QLineEdit>("Edit1")->text(), QStringLiteral("Band"));
        QCOMPARE(find<QLineEdit>("Edit2")->text(), QString());
    }

    void tagSummary_data() {
        QTest::addColumn<int>("track");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("genre");
        QTest::addColumn<QString>("summary");
        const QString gap(10, QLatin1Char(' '));
        QTest::newRow("all") << 7 << "Band"
                             << "Song"
                             << "Rock"
                             << "#7" + gap + "Band" + gap + "Song" + gap + "2004" + gap + "[Rock]";
        QTest::newRow("no track, no genre") << 0 << "Band"
                                            << "Song"
                                            << ""
                                            << "Band" + gap + "Song" + gap + "2004";
        QTest::newRow("only year") << 0 << ""
                                   << ""
                                   << ""
                                   << "2004";
    }
    void tagSummary() {
        QFETCH(int, track);
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFETCH(QString, genre);
        QFETCH(QString, summary);
        mp3info info;
        info.track = track;
        info.artist = artist;
        info.title = title;
        info.year = QStringLiteral("2004");
        info.genrename = genre;
        QCOMPARE(TagSummary(info), summary);
        QCOMPARE(TagSummary(mp3info{}), QString());
    }

    void statusLine() {
        write(QStringLiteral("a.mp3"), audio(300) + tagBytes(makeTag("Song", "Band", "", "", "", 0, 255)));
        write(QStringLiteral("b.mp3"), audio(300));
        write(QStringLiteral("c.mp3"), audio(300) + tagBytes(makeTag("", "", "", "", "", 0, 255)));
        TForm1* w = open();
        QCOMPARE(w->fileList()->count(), 3);
        auto click = [&](int row) {
            QListWidget* list = w->fileList();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(row)).center());
        };
        click(0);
        QCOMPARE(w->statusText(), QStringLiteral("a.mp3"));
        action("Showtaginstatusbar1")->trigger();
        QCOMPARE(w->statusText(), QStringLiteral("a.mp3")); // unchanged until the list changes
        click(0);
        QCOMPARE(w->statusText(), QStringLiteral("Band          Song"));
        click(1);
        QCOMPARE(w->statusText(), QStringLiteral("No ID3 tag found!"));
        click(2);
        QCOMPARE(w->statusText(), QString());
    }

    void ctrlAInATagFieldSelectsFiles() {
        makeMusic({QStringLiteral("a.mp3"), QStringLiteral("b.mp3")});
        TForm1* w = open();
        auto* album = find<QLineEdit>("Edit2");
        album->setText(QStringLiteral("Record"));
        album->setFocus();
        album->setCursorPosition(2);
        QTest::keyClick(album, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(w->fileList()->selectedItems().size(), 2);
        QCOMPARE(album->selectedText(), QString());
        QTest::keyClick(album, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(w->fileList()->selectedItems().size(), 0);
        QCOMPARE(album->text(), QStringLiteral("Record"));
    }

    void selectAllThenRefreshLeavesNothingSelected() {
        makeMusic({QStringLiteral("a.mp3"), QStringLiteral("b.mp3")});
        TForm1* w = open();
        const QString before = w->statusText();
        action("Selectall1")->trigger();
        QCOMPARE(w->fileList()->selectedItems().size(), 2);
        QCOMPARE(w->statusText(), before);
        write(QStringLiteral("c.mp3"), audio(10));
        action("Refresh1")->trigger();
        QCOMPARE(w->fileList()->count(), 3);
        QCOMPARE(w->fileList()->selectedItems().size(), 0);
        QCOMPARE(w->statusText(), before);
    }

    void fileListShowsOnlyMp3Files() {
        makeMusic({QStringLiteral("b.MP3"), QStringLiteral("A.mp3"), QStringLiteral(".hidden.mp3"),
                   QStringLiteral("notes.txt"), QStringLiteral("c.mp3.bak")});
        QDir().mkdir(QStringLiteral("folder.mp3"));
        QVERIFY(QFile::link(QStringLiteral("A.mp3"), QStringLiteral("link.mp3")));
        write(QString::fromUtf8("\xc3\xa4iti.mp3"), audio(10));
        QCOMPARE(FileList::ReadMp3Names(QStringLiteral(".")),
                 (QStringList{QStringLiteral("A.mp3"), QStringLiteral("b.MP3"), QStringLiteral("link.mp3"),
                              QString::fromUtf8("äiti.mp3")}));
    }

    void directoryTree() {
        TForm1* w = open();
        auto* tree = find<QListWidget>("DirectoryListBox1");
        const QString music = QDir::currentPath();
        QCOMPARE(tree->item(0)->data(Qt::UserRole).toString(), QStringLiteral("/"));
        QCOMPARE(tree->item(tree->currentRow())->data(Qt::UserRole).toString(), music);
        QCOMPARE(tree->item(tree->count() - 1)->data(Qt::UserRole).toString(),
                 music + QStringLiteral("/Band"));
        // A click shows the path; Enter opens it.
        const int band = tree->count() - 1;
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(tree->item(band)).center());
        QCOMPARE(w->statusText(), music + QStringLiteral("/Band"));
        QCOMPARE(w->currentDirectory(), music);
        QTest::keyClick(tree, Qt::Key_Return);
        QCOMPARE(w->currentDirectory(), music + QStringLiteral("/Band"));
        QCOMPARE(QDir::currentPath(), music + QStringLiteral("/Band"));
    }

    void renameDirectory() {
        TForm1* w = open();
        auto* tree = find<QListWidget>("DirectoryListBox1");
        const QString music = QDir::currentPath();
        const int band = tree->count() - 1;
        // The root: nothing at all.
        tree->setCurrentRow(0);
        find<QPushButton>("Button2")->click();
        QCOMPARE(w->currentDirectory(), music);
        // Cancel: the selected folder is opened, nothing renamed.
        QList<SeenPrompt> seen;
        ModalAnswerer answers({AnswerInput(std::nullopt, &seen)});
        tree->setCurrentRow(band);
        find<QPushButton>("Button2")->click();
        QCOMPARE(seen, (QList<SeenPrompt>{{"Rename directory", "Enter new directoryname", "Band"}}));
        QCOMPARE(w->currentDirectory(), music + QStringLiteral("/Band"));
        // A new name: renamed, and the view moves to the parent showing it.
        answers.add(AnswerInput(QStringLiteral("Group")));
        tree->setCurrentRow(tree->currentRow()); // the opened folder itself
        find<QPushButton>("Button2")->click();
        QCOMPARE(w->currentDirectory(), music);
        QVERIFY(QFileInfo(music + QStringLiteral("/Group/Record")).isDir());
        QVERIFY(!QFileInfo::exists(music + QStringLiteral("/Band")));
        QCOMPARE(tree->item(tree->count() - 1)->data(Qt::UserRole).toString(),
                 music + QStringLiteral("/Group"));
    }

    void shellCommands() {
        makeMusic({QStringLiteral("a.mp3"), QStringLiteral("b.mp3"), QStringLiteral("c.mp3")});
        QStringList opened;
        SetShellOpenHook([&](const QString& file, const QString&, const QString&, int show) {
            opened.append(file + QLatin1Char('/') + QString::number(show));
        });
        TForm1* w = open();
        action("Playfile1")->trigger(); // nothing selected
        QCOMPARE(opened, QStringList());
        QListWidget* list = w->fileList();
        list->setCurrentRow(1, QItemSelectionModel::NoUpdate);
        list->item(0)->setSelected(true);
        list->item(2)->setSelected(true);
        action("Playfile1")->trigger();
        QCOMPARE(opened, QStringList{QStringLiteral("b.mp3/8")});
        action("Exploredirectory1")->trigger();
        QCOMPARE(opened.last(), QDir::currentPath() + QStringLiteral("/8"));
        w->openDirectory(QStringLiteral("/"));
        action("Exploredirectory1")->trigger();
        QCOMPARE(opened.last(), QStringLiteral("//8"));
        SetShellOpenHook(nullptr);
    }

    // A failure stops the batch at that file with the error box: earlier files are done,
    // later ones untouched and still selected, and the list is not re-read.
    void removeAllTagsStopsAtAReadOnlyFile() {
        const QByteArray song = audio(2000);
        const QByteArray tagged = song + tagBytes(makeTag("Song"));
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
            write(QString::fromLatin1(name), tagged);
        QFile::setPermissions(QStringLiteral("b.mp3"), QFile::ReadOwner | QFile::ReadGroup);
        TForm1* w = open();
        action("Selectall1")->trigger();
        QString text;
        ModalAnswerer answers({answerErrorBox(&text)});
        action("Removealltags1")->trigger();
        QCOMPARE(text, QStringLiteral("File access denied."));
        QCOMPARE(read(QStringLiteral("a.mp3")), song);
        QCOMPARE(read(QStringLiteral("b.mp3")), tagged);
        QCOMPARE(read(QStringLiteral("c.mp3")), tagged);
        QVERIFY(!w->fileList()->isSelected(0));
        QVERIFY(!w->fileList()->isSelected(1));
        QVERIFY(w->fileList()->isSelected(2));
        // The list's own selection says the same, as the user sees it.
        const QList<QListWidgetItem*> marked = w->fileList()->selectedItems();
        QCOMPARE(marked.size(), 1);
        QCOMPARE(marked.front()->text(), QStringLiteral("c.mp3"));
        // The program goes on: the next run finishes the rest.
        QFile::setPermissions(QStringLiteral("b.mp3"), QFile::ReadOwner | QFile::WriteOwner);
        action("Selectall1")->trigger();
        action("Removealltags1")->trigger();
        QCOMPARE(read(QStringLiteral("b.mp3")), song);
        QCOMPARE(read(QStringLiteral("c.mp3")), song);
        QCOMPARE(w->fileList()->selectedItems().size(), 0);
    }

    void copyTagFillsOnlyFieldsThatTakeIt() {
        write(QStringLiteral("a.mp3"),
              audio(300) + tagBytes(makeTag("T", "Band", "Album", "1999", "Note", 1, 17)));
        TForm1* w = open();
        find<QWidget>("RadioGroup1Format1")->setProperty("checked", true); // artist from the name
        action("Selectall1")->trigger();
        action("Copytag1")->trigger();
        QCOMPARE(find<QLineEdit>("Edit1")->text(), QString());
        QCOMPARE(find<QLineEdit>("Edit2")->text(), QStringLiteral("Album"));
        QCOMPARE(find<QLineEdit>("Edit3")->text(), QStringLiteral("1999"));
        QCOMPARE(find<QLineEdit>("Edit4")->text(), QStringLiteral("Note"));
        QCOMPARE(find<QComboBox>("ComboBox1")->currentText(), QStringLiteral("Rock"));
        QCOMPARE(w->fileList()->selectedItems().size(), 0);
    }

    // The whole path of a typical run: a folder named "artist - album", files named
    // "xx. title.mp3", TAG, then the about box counting the files tagged this run on top of
    // the stored count.
    void tagFilesThroughTheWindowAndCountThem() {
        writeConfig("[morwick]\nuses=10\ndirnameformat=1\n");
        QDir().mkdir(QStringLiteral("Some Band - First Album"));
        QDir::setCurrent(QStringLiteral("Some Band - First Album"));
        const QByteArray song = audio(500);
        for (const char* name : {"01. First Song.mp3", "02 - Second Song.mp3", "03. Third.mp3"})
            write(QString::fromLatin1(name), song);
        TForm1* w = open();
        TForm2 form2(w);
        TForm3 form3(w);
        w->setDialogs(&form2, &form3);
        w->openDirectory(QDir::currentPath());
        QCOMPARE(find<QLineEdit>("Edit1")->text(), QStringLiteral("Some Band"));
        QCOMPARE(find<QLineEdit>("Edit2")->text(), QStringLiteral("First Album"));
        find<QLineEdit>("Edit3")->setText(QStringLiteral("2004"));
        find<QComboBox>("ComboBox1")->setCurrentText(QStringLiteral("Rock"));
        action("Selectall1")->trigger();
        find<QPushButton>("Button9")->click();
        QCOMPARE(w->fileList()->selectedItems().size(), 0);
        const ID3Tag expected = makeTag("First Song", "Some Band", "First Album", "2004", "", 1, 17);
        QCOMPARE(read(QStringLiteral("01. First Song.mp3")), song + tagBytes(expected));
        QCOMPARE(read(QStringLiteral("02 - Second Song.mp3")).right(128).mid(3, 11),
                 QByteArray("Second Song"));
        QCOMPARE(Options.uses, 13);

        QString line;
        ModalAnswerer answers({[&](QWidget* modal) {
            auto* memo = modal->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
            QVERIFY(memo);
            line = memo->toPlainText().split(QLatin1Char('\n')).value(9);
            QTest::keyClick(modal, Qt::Key_Return);
        }});
        action("About1")->trigger();
        QCOMPARE(line, QStringLiteral("You have tagged 13 files"));
        w->close(); // the close box writes nothing: the stored count stays
        QCOMPARE(storedValues().value(QStringLiteral("morwick/uses")), QStringLiteral("10"));
    }

    // A batch that stops leaves the list's own selection as the loop left it, with no event in
    // between: the file done is unmarked, the one after it still marked.
    void stoppedBatchLeavesTheSelectionExact() {
        write(QStringLiteral("Song.mp3"), audio(200));
        write(QStringLiteral("Tune.mp3"), audio(200));
        TForm1* w = open();
        TForm2 form2(w);
        w->setDialogs(&form2, nullptr);
        struct AnswerNo : Prompts {
            bool inputQuery(const QString&, const QString&, QString&) override { return false; }
            QString inputBox(const QString&, const QString&, const QString& text) override { return text; }
            bool errorQuestion(const QString&) override { return false; }
            int showModal(QDialog&) override { return QDialog::Rejected; }
        } no;
        w->setPrompts(&no);
        w->fileList()->setAllSelected(true);
        w->Button9Click();
        w->setPrompts(nullptr);
        const QList<QListWidgetItem*> marked = w->fileList()->selectedItems();
        QCOMPARE(marked.size(), 1);
        QCOMPARE(marked.front()->text(), QStringLiteral("Tune.mp3"));
    }

    // Only No stops the batch; the question's close box goes on like Yes.
    void formatQuestionCloseBoxGoesOn() {
        write(QStringLiteral("Song.mp3"), audio(200));
        write(QStringLiteral("Tune.mp3"), audio(200));
        TForm1* w = open();
        TForm2 form2(w);
        w->setDialogs(&form2, nullptr);
        action("Selectall1")->trigger();
        QStringList texts;
        ModalAnswerer answers;
        for (int i = 0; i < 2; ++i)
            answers.add([&](QWidget* modal) {
                texts.append(qobject_cast<QMessageBox*>(modal)->text());
                modal->close();
            });
        find<QPushButton>("Button9")->click();
        QCOMPARE(texts, (QStringList{
                            QStringLiteral("Filename format error in file \"Song.mp3\". Continue batch?"),
                            QStringLiteral("Filename format error in file \"Tune.mp3\". Continue batch?")}));
        QCOMPARE(read(QStringLiteral("Tune.mp3")).size(), 328);
    }

    // A batch that runs for a while shows its progress in the status bar, and the bar goes
    // when the batch ends.
    void longBatchShowsProgress() {
        const QString longTitle(40, QLatin1Char('x'));
        for (int i = 1; i <= 3; ++i)
            write(QStringLiteral("0%1. %2.mp3").arg(i).arg(longTitle), audio(200));
        TForm1* w = open();
        TForm2 form2(w);
        w->setDialogs(&form2, nullptr);
        auto* bar = find<QWidget>("BatchProgress");
        bool shownDuringBatch = false;
        ModalAnswerer answers;
        answers.add([&](QWidget* modal) {
            QThread::msleep(450); // a person reading the prompt
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        for (int i = 0; i < 2; ++i)
            answers.add([&](QWidget* modal) {
                shownDuringBatch = shownDuringBatch || bar->isVisible();
                QTest::keyClick(modal, Qt::Key_Escape);
            });
        action("Selectall1")->trigger();
        find<QPushButton>("Button9")->click();
        QCOMPARE(answers.remaining(), 0);
        QVERIFY(shownDuringBatch);
        QVERIFY(!bar->isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
