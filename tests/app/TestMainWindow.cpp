#include "app/AboutBox.h"
#include "app/CommandLine.h"
#include "app/ErrorBox.h"
#include "app/FileList.h"
#include "app/MainWindow.h"
#include "app/ProgramIcon.h"
#include "app/Shell.h"
#include "app/dialogs/CharacterLimit.h"
#include "app/dialogs/QtPrompts.h"
#include "app/dialogs/TagDialog.h"
#include "commands/EditTagsCommand.h"
#include "commands/Settings.h"
#include "core/Directory.h"
#include "core/FileRewrite.h"
#include "core/TagSummary.h"
#include "support/ModalAnswerer.h"
#include "support/PeerTags.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOption>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QWindow>
#include <memory>

using namespace testfiles;

namespace {

QString withoutMnemonic(QString text) {
    return text.replace(QLatin1String("&&"), QLatin1String("\x01"))
        .remove(QLatin1Char('&'))
        .replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

// What in `top` is cut off or covered: a caption, label, group title or list text wider (or
// taller) than the room its widget gives it; a widget sticking out of its parent; two visible
// siblings on top of each other. Qt's own parts (scroll area insides) are left out.
QStringList LayoutProblems(const QWidget* top) {
    QStringList problems;
    const auto fits = [&](const QWidget* w, const QRect& room, const QString& text) {
        const QFontMetrics metrics = w->fontMetrics();
        const int width = metrics.horizontalAdvance(withoutMnemonic(text));
        if (width > room.width() || (!text.isEmpty() && metrics.height() > room.height() + 2))
            problems << QStringLiteral("%1: \"%2\" needs %3x%4 in %5x%6")
                            .arg(w->objectName(), text)
                            .arg(width)
                            .arg(metrics.height())
                            .arg(room.width())
                            .arg(room.height());
    };
    QList<const QWidget*> widgets{top};
    for (const QWidget* w : top->findChildren<QWidget*>())
        widgets << w;
    for (const QWidget* w : widgets) {
        if (!w->isVisibleTo(top) || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        QStyle* style = w->style();
        if (const auto* radio = qobject_cast<const QRadioButton*>(w)) {
            QStyleOptionButton option;
            option.initFrom(radio);
            option.text = radio->text();
            fits(w, style->subElementRect(QStyle::SE_RadioButtonContents, &option, w), radio->text());
        } else if (const auto* button = qobject_cast<const QPushButton*>(w)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            fits(w, style->subElementRect(QStyle::SE_PushButtonContents, &option, w), button->text());
        } else if (const auto* label = qobject_cast<const QLabel*>(w)) {
            fits(w, label->contentsRect(), label->text());
        } else if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
            QStyleOptionGroupBox option;
            option.initFrom(group);
            option.text = group->title();
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            const QRect title =
                style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, w);
            // The style sizes the title's room to the title: it is whole when that room is.
            if (!group->rect().contains(title))
                problems << QStringLiteral("%1: title cut").arg(w->objectName());
        } else if (const auto* combo = qobject_cast<const QComboBox*>(w)) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QRect room =
                style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, w);
            // A list of formats shows any of its entries; the others show what they hold.
            if (combo->objectName() == QLatin1String("dirnameFormatCombo")) {
                for (int i = 0; i < combo->count(); ++i)
                    fits(w, room, combo->itemText(i));
            } else {
                fits(w, room, combo->currentText());
            }
        }
        QList<const QWidget*> children;
        for (const QObject* child : w->children()) {
            const auto* c = qobject_cast<const QWidget*>(child);
            if (c && !c->isWindow() && c->isVisibleTo(top) &&
                !c->objectName().startsWith(QLatin1String("qt_")))
                children << c;
        }
        for (qsizetype i = 0; i < children.size(); ++i) {
            const QRect a = children[i]->geometry();
            if (!w->rect().contains(a))
                problems << QStringLiteral("%1 sticks out of %2 (%3,%4 %5x%6 in %7x%8)")
                                .arg(children[i]->objectName(), w->objectName())
                                .arg(a.x())
                                .arg(a.y())
                                .arg(a.width())
                                .arg(a.height())
                                .arg(w->width())
                                .arg(w->height());
            for (qsizetype j = i + 1; j < children.size(); ++j) {
                if (a.intersects(children[j]->geometry()))
                    problems << QStringLiteral("%1 overlaps %2")
                                    .arg(children[i]->objectName(), children[j]->objectName());
            }
        }
    }
    return problems;
}

// Answers Yes to every "Continue batch?" question, taking its time over the first one as a
// person reading it would, so that the batch runs long enough to show its progress.
class SlowFirstAnswer : public WindowPrompts {
public:
    int questions = 0;
    bool inputQuery(const QString&, const QString&, QString&) override { return false; }
    QString inputBox(const QString&, const QString&, const QString& text) override { return text; }
    bool errorQuestion(const QString&) override {
        if (questions++ == 0)
            QThread::msleep(450);
        return true;
    }
    int showModal(QDialog&) override { return QDialog::Rejected; }
    void notice(const QString&) override {}
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> tmp_;
    std::unique_ptr<MainWindow> form_;
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
    MainWindow* open() {
        form_ = std::make_unique<MainWindow>();
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
        qputenv("XDG_STATE_HOME", tmp_->filePath(QStringLiteral("state")).toUtf8());
        oldCwd_ = QDir::currentPath();
        QDir(tmp_->path()).mkpath(QStringLiteral("music/Band/Record"));
        QDir::setCurrent(tmp_->filePath(QStringLiteral("music")));
    }
    void cleanup() {
        SetShellOpenHook(nullptr);
        form_.reset();
        QDir::setCurrent(oldCwd_);
        tmp_.reset();
    }

    // ---- Start-up and settings ----

    void startWithoutSettingsUsesDefaultsAndCreatesNothing() {
        MainWindow* w = open();
        QCOMPARE(int(w->filenameFormat()), 0);
        QCOMPARE(int(w->dirnameFormat()), 0);
        QVERIFY(action("actionAskLongTitle")->isChecked());
        QVERIFY(!action("actionAskLongFilename")->isChecked());
        QVERIFY(!action("actionShowTagInStatus")->isChecked());
        QVERIFY(!action("actionUseId3v2")->isChecked());
        QVERIFY(action("actionCaseCapitalize")->isChecked());
        QVERIFY(action("actionNumbersDot")->isChecked());
        QCOMPARE(find<QComboBox>("genreCombo")->currentIndex(), 0);
        QCOMPARE(find<QComboBox>("genreCombo")->currentText(), QString());
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
        MainWindow* w = open();
        QCOMPARE(int(w->filenameFormat()), filenameFormat);
        QCOMPARE(int(w->dirnameFormat()), dirnameFormat);
        QCOMPARE(action("actionCaseSentence")->isChecked(), sentence);
        QCOMPARE(action("actionCaseCapitalize")->isChecked(), !sentence);
    }

    void saveStoresMinusOneForNoDirnameFormat() {
        writeConfig("[morwick]\ndirnameformat=9\n");
        open();
        action("actionSaveSettings")->trigger();
        const auto values = storedValues();
        QCOMPARE(values.value(QStringLiteral("morwick/dirnameformat")), QStringLiteral("-1"));
        QCOMPARE(values.value(QStringLiteral("morwick/filenameformat")), QStringLiteral("0"));
        QCOMPARE(values.value(QStringLiteral("morwick/ask")), QStringLiteral("1"));
        QCOMPARE(values.value(QStringLiteral("morwick/id3v2")), QStringLiteral("0"));
        QCOMPARE(values.size(), 10);
    }

    // "Also use ID3v2 tags" is loaded, checked by hand and saved like the other check marks.
    void id3v2SettingLoadsAndSaves() {
        writeConfig("[morwick]\nid3v2=1\n");
        MainWindow* w = open();
        QVERIFY(action("actionUseId3v2")->isChecked());
        QVERIFY(w->useId3v2());
        action("actionUseId3v2")->trigger();
        QVERIFY(!w->useId3v2());
        action("actionSaveSettings")->trigger();
        QCOMPARE(storedValues().value(QStringLiteral("morwick/id3v2")), QStringLiteral("0"));
        action("actionUseId3v2")->trigger();
        action("actionSaveSettings")->trigger();
        QCOMPARE(storedValues().value(QStringLiteral("morwick/id3v2")), QStringLiteral("1"));
    }

    void textValueStopsLoadingWithTheErrorBox() {
        writeConfig("[morwick]\ndirnameformat=abc\nfilenameformat=2\nask=0\ntrim1=1\nuses=5\n");
        QString text;
        ModalAnswerer answers({AnswerErrorBox(&text)});
        MainWindow* w = open();
        QCOMPARE(text, QStringLiteral("Invalid data type for 'dirnameformat'"));
        QCOMPARE(answers.remaining(), 0);
        QCOMPARE(int(w->filenameFormat()), 0);
        QVERIFY(action("actionAskLongTitle")->isChecked());
        QCOMPARE(w->taggedFiles(), 0);
        QVERIFY(action("actionCaseCapitalize")->isChecked());
    }

    void saveTwiceThenExitAddsThreeStarts() {
        writeConfig("[morwick]\nstarts=4\nuses=10\nfilenameformat=1\n");
        MainWindow* w = open();
        action("actionSaveSettings")->trigger();
        action("actionSaveSettings")->trigger();
        find<QComboBox>("dirnameFormatCombo")->setCurrentIndex(2); // changed after the last save...
        find<QPushButton>("exitButton")->click();
        const auto values = storedValues();
        QCOMPARE(values.value(QStringLiteral("morwick/starts")), QStringLiteral("7"));
        QCOMPARE(values.value(QStringLiteral("morwick/uses")), QStringLiteral("10"));
        QCOMPARE(values.value(QStringLiteral("morwick/dirnameformat")),
                 QStringLiteral("0")); // ...is not kept
        Q_UNUSED(w);
    }

    void exitWritesOnlyTheCounters() {
        open();
        find<QPushButton>("exitButton")->click();
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
        ModalAnswerer answers({AnswerErrorBox(&text)});
        action("actionSaveSettings")->trigger();
        QCOMPARE(text, QStringLiteral("Failed to set data for 'dirnameformat'"));
        text.clear();
        answers.add(AnswerErrorBox(&text));
        find<QPushButton>("exitButton")->click();
        QCOMPARE(text, QStringLiteral("Failed to set data for 'starts'"));
        QVERIFY(form_->isVisible()); // the program keeps running
    }

    // ---- Started with a folder or files ----

    // As a file manager hands over its selection: the first path decides the folder, and the
    // files given that are in it are selected, the first one given focused.
    void commandLineSelectsGivenFiles_data() {
        QTest::addColumn<QStringList>("arguments"); // relative to the music folder
        QTest::addColumn<QString>("folder");        // where the window ends up, relative too
        QTest::addColumn<QStringList>("selected");  // in list order
        QTest::addColumn<QString>("focused");       // empty: nothing selected, no status change
        QTest::newRow("two files of one folder, the later one first")
            << QStringList{"Band/Record/02. Two.mp3", "Band/Record/01. One.mp3"} << "Band/Record"
            << QStringList{"01. One.mp3", "02. Two.mp3"} << "02. Two.mp3";
        // Other holds a "03. Three.mp3" too, which must not select Record's.
        QTest::newRow("files of two folders: the first one's")
            << QStringList{"Band/Record/01. One.mp3", "Other/03. Three.mp3",
                           "Band/../Band/Record/02. Two.mp3"}
            << "Band/Record" << QStringList{"01. One.mp3", "02. Two.mp3"} << "01. One.mp3";
        QTest::newRow("a picture first: its folder, the MP3 files selected")
            << QStringList{"Band/Record/cover.jpg", "Band/Record/03. Three.mp3"} << "Band/Record"
            << QStringList{"03. Three.mp3"} << "03. Three.mp3";
        QTest::newRow("a folder alone selects nothing")
            << QStringList{"Band/Record"} << "Band/Record" << QStringList{} << "";
    }
    void commandLineSelectsGivenFiles() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, folder);
        QFETCH(QStringList, selected);
        QFETCH(QString, focused);
        QVERIFY(QDir().mkpath(QStringLiteral("Other")));
        makeMusic({"Band/Record/01. One.mp3", "Band/Record/02. Two.mp3", "Band/Record/03. Three.mp3",
                   "Other/03. Three.mp3"});
        write(QStringLiteral("Band/Record/cover.jpg"), "JFIF");
        const QString expectedFolder = QDir(folder).canonicalPath();
        MainWindow* w = open();
        const QString startStatus = w->statusText();

        const StartRequest request = ParseCommandLine(QStringList{QStringLiteral("morwick")} + arguments);
        QCOMPARE(request.action, StartAction::Open);
        w->openFromCommandLine(request.folder, request.files);
        QCOMPARE(w->currentDirectory(), expectedFolder);
        auto* list = find<FileList>("fileList");
        QStringList marked;
        for (int row = 0; row < list->count(); ++row) {
            if (list->isSelected(row))
                marked << list->name(row);
        }
        QCOMPARE(marked, selected);
        if (focused.isEmpty()) {
            QCOMPARE(w->statusText(), startStatus);
            return;
        }
        QCOMPARE(list->focusedName(), focused);
        QCOMPARE(w->focusWidget(), list);
        QCOMPARE(w->statusText(), focused); // as if the user had selected them
    }

    void commandLineNamesAFolderThatCannotBeOpened() {
        MainWindow* w = open();
        const QString before = w->currentDirectory();
        const QString missing = tmp_->filePath(QStringLiteral("music/gone"));
        QString text;
        ModalAnswerer answers({AnswerErrorBox(&text)});
        const StartRequest request = ParseCommandLine({QStringLiteral("morwick"), missing});
        w->openFromCommandLine(request.folder, request.files);
        QCOMPARE(answers.remaining(), 0);
        QCOMPARE(text, QStringLiteral("Cannot open the folder '%1': File not found.").arg(missing));
        QCOMPARE(w->currentDirectory(), before);
    }

    // A window manager cuts a title that does not fit between its icon and buttons ("Mo…ick"), so
    // each box is wide enough for its title in the bold title-bar font and four buttons at least
    // the font's height (up to the screen's width), even with a one-letter message and at a
    // large font.
    void boxTitlesAreWhole_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("pointSize");
        for (const int size : {9, 20}) {
            for (const char* box : {"error box", "notice", "error question", "input prompt"})
                QTest::addRow("%s, %d pt", box, size) << QString::fromLatin1(box) << size;
        }
    }
    void boxTitlesAreWhole() {
        QFETCH(QString, box);
        QFETCH(int, pointSize);
        const QFont oldFont = QApplication::font();
        QFont font = oldFont;
        font.setPointSize(pointSize);
        QApplication::setFont(font);
        const auto restore = qScopeGuard([&] { QApplication::setFont(oldFont); });

        int width = 0;
        QString title;
        ModalAnswerer answers({[&](QWidget* modal) {
            width = modal->width();
            title = modal->windowTitle();
            static_cast<QDialog*>(modal)->reject();
        }});
        QtPrompts prompts;
        if (box == QLatin1String("error box"))
            ShowErrorBox(nullptr, QStringLiteral("x"));
        else if (box == QLatin1String("notice"))
            prompts.notice(QStringLiteral("x"));
        else if (box == QLatin1String("error question"))
            prompts.errorQuestion(QStringLiteral("x"));
        else
            prompts.inputBox(
                QStringLiteral("A caption that runs on for longer than a file name of sixty-four "
                               "characters would"),
                QStringLiteral("x"), QString());
        QCOMPARE(answers.remaining(), 0);
        QVERIFY(!title.isEmpty());
        QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
        titleFont.setBold(true);
        const QFontMetrics metrics(titleFont);
        const int needed = std::min(metrics.horizontalAdvance(title) + 4 * metrics.height(),
                                    QApplication::primaryScreen()->availableGeometry().width());
        QVERIFY2(width >= needed, qPrintable(QStringLiteral("%1 < %2").arg(width).arg(needed)));
    }

    // ---- The window ----

    void tabOrder() {
        MainWindow* w = open();
        const QStringList expected = {"driveCombo",
                                      "directoryList",
                                      "refreshButton",
                                      "renameDirButton",
                                      "clearSelectionButton",
                                      "selectAllButton",
                                      "fileList",
                                      "renameFilesButton",
                                      "trimFilenamesButton",
                                      "replaceTextButton",
                                      "editTagsButton",
                                      "copyTagButton",
                                      "playFileButton",
                                      "artistEdit",
                                      "albumEdit",
                                      "yearEdit",
                                      "genreCombo",
                                      "commentEdit",
                                      "dirnameFormatCombo",
                                      "filenameFormatRadio0",
                                      "tagFilesButton",
                                      "removeAllTagsButton",
                                      "renameFromTagsButton",
                                      "exitButton"};
        QStringList seen;
        QWidget* start = w->findChild<QWidget*>(QStringLiteral("driveCombo"));
        QWidget* at = start;
        do {
            if (expected.contains(at->objectName()) && !seen.contains(at->objectName()))
                seen.append(at->objectName());
            at = at->nextInFocusChain();
        } while (at != start);
        QCOMPARE(seen, expected);
    }

    void windowLayout() {
        MainWindow* w = open();
        QCOMPARE(w->windowTitle(), QStringLiteral("Morwick"));
        QCOMPARE(w->centralWidget()->height() + w->statusBar()->height(), 393);
        QCOMPARE(w->width(), 681);
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        auto* tag = find<QPushButton>("tagFilesButton");
        QVERIFY(tag->font().bold());
        QCOMPARE(tag->font().pixelSize(), 24);
        QCOMPARE(MaxCharacters(find<QLineEdit>("artistEdit")), 30);
        QCOMPARE(MaxCharacters(find<QLineEdit>("albumEdit")), 30);
        QCOMPARE(MaxCharacters(find<QLineEdit>("yearEdit")), 4);
        QCOMPARE(MaxCharacters(find<QLineEdit>("commentEdit")), 28);
        QCOMPARE(find<QComboBox>("genreCombo")->count(), 146);
        QCOMPARE(find<QComboBox>("dirnameFormatCombo")->count(), 6);
        QCOMPARE(find<QComboBox>("dirnameFormatCombo")->itemText(2), QStringLiteral("artist \\ album"));
    }

    // Every text in the window is whole and nothing overlaps, at the usual font and at larger
    // ones (the desktop's font one or two points up; the same again at other scale factors in
    // the test's scaled runs); the window's size follows, still fixed, and is 681 x 393 pixels
    // around the client area at the usual font. The tag dialog shows its texts whole too.

    void windowFitsItsTexts_data() {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("points"); // 0: the usual font
        QTest::newRow("usual font") << QString() << 0;
        QTest::newRow("DejaVu Sans 10") << "DejaVu Sans" << 10;
        QTest::newRow("DejaVu Sans 11") << "DejaVu Sans" << 11;
        QTest::newRow("usual family, 2 points up") << QString() << 2;
    }
    void windowFitsItsTexts() {
        QFETCH(QString, family);
        QFETCH(int, points);
        const QFont usual = QApplication::font();
        const auto restore = qScopeGuard([&] { QApplication::setFont(usual); });
        QFont font = usual;
        if (!family.isEmpty())
            font = QFont(family, points);
        else if (points > 0)
            font.setPointSizeF(usual.pointSizeF() + points);
        QApplication::setFont(font);
        MainWindow* w = open();
        QCOMPARE(w->minimumSize(), w->maximumSize());
        const QSize client(w->width(), w->centralWidget()->height() + w->statusBar()->height());
        if (points == 0)
            QCOMPARE(client, QSize(681, 393));
        else
            QVERIFY(client.width() >= 681 && client.height() >= 393);
        const QStringList problems = LayoutProblems(w);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("; "))));

        TagDialog dialog(w);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QStringList dialogProblems = LayoutProblems(&dialog);
        QVERIFY2(dialogProblems.isEmpty(), qPrintable(dialogProblems.join(QLatin1String("; "))));
        // The genre list keeps a little distance from its label, here and in the window.
        for (const QWidget* top : {static_cast<const QWidget*>(w), static_cast<const QWidget*>(&dialog)}) {
            const auto* label = Named<QLabel>(top, "genreLabel");
            const auto* list = Named<QComboBox>(top, "genreCombo");
            QVERIFY(list->mapTo(top, QPoint(0, 0)).x() - label->mapTo(top, QPoint(label->width(), 0)).x() >=
                    4);
        }
    }

    // On a screen too small for the window at a large font (1,280 by 800 pixels at a scale of 1.5
    // leaves 853 by 533), the window and its frame stay on the screen: the two lists give way
    // first, so every caption stays whole; only the status line's credit is cut, from its end, and its
    // tooltip gives it whole. Past what the lists can give, the window still never outgrows the screen.
    void windowFitsItsScreen_data() {
        QTest::addColumn<int>("points");
        QTest::addColumn<bool>("whole"); // every caption but the status line's whole
        QTest::newRow("10 points") << 10 << true;
        QTest::newRow("12 points") << 12 << true;
        QTest::newRow("16 points") << 16 << false;
    }
    void windowFitsItsScreen() {
        QFETCH(int, points);
        QFETCH(bool, whole);
        if (QGuiApplication::primaryScreen()->availableGeometry().size() != QSize(853, 533))
            QSKIP("needs a screen of 853 by 533 (tests/data/screen-1280x800.json at a scale of 1.5)");
        const QFont usual = QApplication::font();
        const auto restore = qScopeGuard([&] { QApplication::setFont(usual); });
        QFont font = usual;
        font.setPointSize(points);
        QApplication::setFont(font);
        MainWindow* w = open();
        const QRect screen = w->screen()->availableGeometry();
        QVERIFY2(
            screen.contains(w->frameGeometry()),
            qPrintable(
                QStringLiteral("%1x%2").arg(w->frameGeometry().width()).arg(w->frameGeometry().height())));
        if (!whole)
            return;
        QStringList problems = LayoutProblems(w);
        problems.removeIf([](const QString& p) { return p.startsWith(QLatin1String("statusLine: ")); });
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("; "))));
        const auto* status = Named<QLabel>(w, "statusLine");
        QCOMPARE(status->toolTip(), status->text());
        // A cut line keeps its start in view.
        if (status->fontMetrics().horizontalAdvance(status->text()) > status->contentsRect().width())
            QVERIFY(status->alignment() & Qt::AlignLeft);
    }

    // Each window reaches the window system titled exactly as it says. The program sets no
    // display name of its own, which Qt would append to every title ("Edit — Morwick").
    void windowTitlesAreTheirOwn() {
        SetProgramIdentity();
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Morwick"));
        // A display name that was set would stay when the program's name changes.
        QCoreApplication::setApplicationName(QStringLiteral("Renamed"));
        QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("Renamed"));
        QCoreApplication::setApplicationName(QStringLiteral("Morwick"));

        write(QStringLiteral("Song.mp3"), audio(300));
        MainWindow* w = open();
        QCOMPARE(w->windowHandle()->title(), QStringLiteral("Morwick"));
        TagDialog form2(w);
        w->setDialogs(&form2, nullptr);
        QStringList titles;
        const auto note = [&](QWidget* modal) {
            titles << modal->windowHandle()->title();
            QTest::keyClick(modal, Qt::Key_Escape);
        };
        ModalAnswerer answers({note, note});
        action("actionSelectAll")->trigger();
        action("actionEditTags")->trigger();
        QtPrompts(w).errorQuestion(QStringLiteral("Continue batch?"));
        QCOMPARE(titles, (QStringList{QStringLiteral("Edit"), QStringLiteral("Error")}));
    }

    void menuItems_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QKeySequence>("shortcut");
        const auto row = [](const char* name, const char* caption, QKeySequence key = {}) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(caption) << key;
        };
        row("actionExit", "E&xit");
        row("actionClearSelection", "&Clear selection", Qt::CTRL | Qt::Key_C);
        row("actionSelectAll", "Select &all", Qt::CTRL | Qt::Key_A);
        row("actionRefresh", "Re&fresh", Qt::Key_F5);
        row("actionRenameDir", "Rename &dir", Qt::Key_F4);
        row("actionRenameFiles", "&Rename files", Qt::Key_F2);
        row("actionSearchReplace", "&Search && Replace", Qt::Key_F3);
        row("actionTrimFilenames", "&Trim filenames", Qt::CTRL | Qt::Key_T);
        row("actionPreviewRenames", "Pre&view renames...");
        row("actionEditTags", "&Edit tags", Qt::ALT | Qt::Key_3);
        row("actionCopyTag", "Copy ta&g", Qt::CTRL | Qt::Key_W);
        row("actionPlayFile", "&Play file", Qt::Key_F11);
        row("actionExploreDirectory", "E&xplore directory", Qt::CTRL | Qt::Key_E);
        row("actionTagFiles", "&Tag files", Qt::Key_F12);
        row("actionRemoveAllTags", "Remove all tags", Qt::Key_F9);
        row("actionRenameFromTags", "&Rename from tags", Qt::Key_F10);
        row("actionClearTagFields", "&Clear ID3 fields", Qt::CTRL | Qt::Key_N);
        row("actionMarkTitle", "&Title");
        row("actionMarkArtist", "&Artist");
        row("actionMarkAlbum", "Al&bum");
        row("actionMarkYear", "&Year");
        row("actionMarkComment", "&Comment");
        row("actionMarkTrack", "Track");
        row("actionMarkGenre", "&Genre");
        row("actionToggleAllMarks", "Toggle all / &none");
        row("actionCaseCapitalize", "&Capitalize");
        row("actionCaseSentence", "&Sentence");
        row("actionNumbersDot", "&xx. title.mp3");
        row("actionNumbersDash", "xx - &title.mp3");
        row("actionNextFilenameFormat", "Filename shortcut", Qt::ALT | Qt::Key_N);
        row("actionAskLongTitle", "&Ask title if over 30 chars");
        row("actionAskLongFilename", "As&k filename if over 64 chars");
        row("actionShowTagInStatus", "S&how tag in statusbar");
        row("actionUseId3v2", "Also use ID3v&2 tags");
        row("actionSaveSettings", "&Save settings");
        row("actionHelpHtml", "&Help (html)", Qt::Key_F1);
        row("actionHelpEnglish", "Help (&english)");
        row("actionHelpFinnish", "Help (&finnish)");
        row("actionAbout", "&About");
        row("actionContextRename", "&Rename");
        row("actionContextEditTags", "&Edit tags");
        row("actionContextCopyData", "&Copy data");
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
        QCOMPARE(a->associatedObjects().isEmpty() || name == QLatin1String("actionNextFilenameFormat"),
                 name == QLatin1String("actionNextFilenameFormat"));
    }

    // The preview sits right after Trim filenames; Close changes nothing, Apply runs the real
    // command on the same selection.
    void previewRenames() {
        write(QStringLiteral("01_my_song.mp3"), audio(300));
        write(QStringLiteral("b.mp3"), audio(300));
        MainWindow* w = open();
        const QList<QAction*> edit = find<QMenu>("editMenu")->actions();
        QCOMPARE(edit.indexOf(action("actionPreviewRenames")),
                 edit.indexOf(action("actionTrimFilenames")) + 1);
        ScriptedPrompts prompts;
        QStringList shown;
        prompts.onShow = [&](QDialog& d) {
            Named<QComboBox>(&d, "ruleCombo")->setCurrentIndex(1);
            emit Named<QComboBox>(&d, "ruleCombo")->activated(1);
            auto* table = Named<QTableWidget>(&d, "previewTable");
            for (int row = 0; row < table->rowCount(); ++row)
                shown << table->item(row, 0)->text() + QStringLiteral(" -> ") + table->item(row, 1)->text();
        };
        const auto press = [](const char* button) {
            return [button](QDialog& d) { Named<QPushButton>(&d, button)->click(); };
        };
        prompts.steps = {press("closeButton"), press("applyButton")};
        w->setPrompts(&prompts);
        w->fileList()->setAllSelected(true);
        action("actionPreviewRenames")->trigger();
        QCOMPARE(shown, (QStringList{"01_my_song.mp3 -> 01. My Song.mp3", "b.mp3 -> B.mp3"}));
        QCOMPARE(listing(), (QStringList{"01_my_song.mp3", "b.mp3"}));
        action("actionPreviewRenames")->trigger();
        QCOMPARE(listing(), (QStringList{"01. My Song.mp3", "B.mp3"}));
        QCOMPARE(prompts.unexpected, 0);
        w->setPrompts(nullptr);
    }

    // Files that also carry an ID3v2 tag are marked; every entry's tooltip gives its full name,
    // and a marked one's says what the mark means.
    void id3v2Mark() {
        const QByteArray v2 = QByteArray("ID3\x03\0\0\0\0\0\x0a", 10) + QByteArray(10, '\0');
        write(QStringLiteral("a.mp3"), v2 + audio(300));
        write(QStringLiteral("b.mp3"), audio(300));
        write(QStringLiteral("c.mp3"),
              QByteArray("ID3\x03\0\0\0\0\x80\x0a", 10) + audio(300)); // not well formed
        const QString longName = QString(120, QLatin1Char('x')) + QStringLiteral(".mp3");
        write(longName, v2 + audio(300));
        MainWindow* w = open();
        FileList* list = w->fileList();
        QCOMPARE(list->count(), 4);
        QList<bool> marks;
        for (int i = 0; i < list->count(); ++i)
            marks << list->hasId3v2Tag(i);
        QCOMPARE(marks, (QList<bool>{true, false, false, true}));
        const auto tooltip = [&](int row) {
            const QRect rect = list->visualItemRect(list->item(row));
            QHelpEvent help(QEvent::ToolTip, rect.center(), list->viewport()->mapToGlobal(rect.center()));
            QCoreApplication::sendEvent(list->viewport(), &help);
            const QString text = QToolTip::text();
            QToolTip::hideText();
            return text;
        };
        QCOMPARE(tooltip(1), QStringLiteral("b.mp3"));
        QCOMPARE(tooltip(3), longName + QLatin1Char('\n') + FileList::id3v2Note());
        QVERIFY(
            FileList::id3v2Note().startsWith(QStringLiteral("Also has an ID3v2 tag: most players show it")));
        QVERIFY(FileList::id3v2Note().contains(QStringLiteral("Settings > Also use ID3v2 tags")));
    }

    // The mark is drawn whole, right after the name, whatever the scroll bar: with a vertical one
    // (more entries than fit) and without, after a name wider than the list (elided before the
    // mark), on a selected entry and on one that is not.
    void id3v2MarkIsWhole_data() {
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("longName"); // characters in the last entry's name
        QTest::newRow("no scroll bar") << 3 << 0;
        QTest::newRow("vertical scroll bar") << 60 << 0;
        QTest::newRow("vertical scroll bar, a long name") << 60 << 100;
    }
    void id3v2MarkIsWhole() {
        QFETCH(int, entries);
        QFETCH(int, longName);
        const QByteArray v2 = QByteArray("ID3\x03\0\0\0\0\0\x0a", 10) + QByteArray(10, '\0');
        for (int i = 1; i <= entries; ++i)
            write(QStringLiteral("%1 song.mp3").arg(i, 2, 10, QLatin1Char('0')),
                  (i % 2 ? v2 : QByteArray()) + audio(300));
        if (longName > 0)
            write(QStringLiteral("00") + QString(longName, QLatin1Char('x')) + QStringLiteral(".mp3"),
                  v2 + audio(300));
        MainWindow* w = open();
        FileList* list = w->fileList();
        QCOMPARE(list->verticalScrollBar()->isVisible(), entries > 20);
        list->item(0)->setSelected(true);
        const QImage shown = list->viewport()->grab().toImage();
        const qreal ratio = shown.devicePixelRatio();
        const QColor markColour = list->palette().color(QPalette::Link);
        QFont small = list->font();
        small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.8));
        const int markText = QFontMetrics(small).horizontalAdvance(QStringLiteral("ID3v2"));
        int checked = 0;
        for (int row = 0; row < list->count(); ++row) {
            if (!list->hasId3v2Tag(row))
                continue;
            const QRect rect = list->visualItemRect(list->item(row));
            if (!list->viewport()->rect().contains(QPoint(0, rect.center().y())))
                continue;
            // The columns of the mark's colour on the entry's middle line.
            const int y = int(rect.center().y() * ratio);
            int first = -1, last = -1;
            for (int x = 0; x < shown.width(); ++x)
                if (shown.pixelColor(x, y) == markColour) {
                    if (first < 0)
                        first = x;
                    last = x;
                }
            const QString what = QStringLiteral("row %1: mark at %2..%3 in %4")
                                     .arg(row)
                                     .arg(first)
                                     .arg(last)
                                     .arg(shown.width());
            QVERIFY2(first >= 0 && (last - first + 1) / ratio >= markText, qPrintable(what));
            QVERIFY2(last < shown.width() - 1, qPrintable(what));
            const QString name = list->item(row)->text();
            const int nameEnd = rect.left() + list->fontMetrics().horizontalAdvance(name);
            if (name.size() < 20) // beside a name that is shown whole
                QVERIFY2(first / ratio >= nameEnd &&
                             first / ratio <= nameEnd + 4 * list->fontMetrics().averageCharWidth(),
                         qPrintable(what));
            ++checked;
        }
        QVERIFY(checked > 0);
    }

    // Ctrl+Z takes the last command back, byte for byte, unless a text field has the focus,
    // whose own undo gets the key; a file changed since is left alone and counted.
    void undoLastCommand() {
        const QByteArray oldTag = tagBytes(makeTag("Old", "Someone", "", "", "", 4, 17));
        write(QStringLiteral("a.mp3"), audio(300) + oldTag);
        write(QStringLiteral("b.mp3"), audio(400));
        const QStringList before = listing();
        const QList<QByteArray> contents{read(QStringLiteral("a.mp3")), read(QStringLiteral("b.mp3"))};
        MainWindow* w = open();
        TagDialog dialog(w);
        w->setDialogs(&dialog, nullptr);
        QVERIFY(!action("actionUndo")->isEnabled());
        QCOMPARE(find<QMenu>("editMenu")->actions().indexOf(action("actionUndo")), 0);
        QVERIFY(find<QMenu>("editMenu")->actions().at(1)->isSeparator());
        find<QRadioButton>("filenameFormatRadio3")->setChecked(true); // song.mp3
        w->fileList()->setAllSelected(true);
        find<QPushButton>("tagFilesButton")->click();
        QVERIFY(read(QStringLiteral("b.mp3")).size() == 400 + 128);
        QVERIFY(action("actionUndo")->isEnabled());

        auto* album = find<QLineEdit>("albumEdit");
        album->setFocus();
        QTest::keyClicks(album, QStringLiteral("xy"));
        const QString typed = album->text();
        QTest::keyClick(album, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(album->text(), typed.left(typed.size() - 2));     // the field's own undo
        QCOMPARE(read(QStringLiteral("b.mp3")).size(), 400 + 128); // the files untouched

        w->fileList()->setFocus();
        QTest::keyClick(w->fileList(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(listing(), before);
        QCOMPARE(read(QStringLiteral("a.mp3")), contents[0]);
        QCOMPARE(read(QStringLiteral("b.mp3")), contents[1]);
        QVERIFY(!action("actionUndo")->isEnabled());

        // Trim renames both; one is changed afterwards by another program: it stays, the other goes back.
        w->fileList()->setAllSelected(true);
        find<QPushButton>("trimFilenamesButton")->click();
        QCOMPARE(listing(), (QStringList{"A.mp3", "B.mp3"}));
        write(QStringLiteral("B.mp3"), audio(10));
        QString text;
        ModalAnswerer answers({AnswerErrorBox(&text)});
        action("actionUndo")->trigger();
        QCOMPARE(text,
                 QStringLiteral(
                     "1 file could not be restored: it changed since, or its old name is taken again."));
        QCOMPARE(listing(), (QStringList{"B.mp3", "a.mp3"}));
        QCOMPARE(read(QStringLiteral("a.mp3")), contents[0]);
    }

    void fieldMask() {
        MainWindow* w = open();
        auto* artist = find<QLineEdit>("artistEdit");
        artist->setText(QStringLiteral("Someone"));
        action("actionMarkArtist")->trigger(); // Artist mark off
        QVERIFY(!artist->isEnabled());
        QCOMPARE(artist->text(), QString());
        find<QWidget>("filenameFormatRadio1")->setProperty("checked", true);
        QCOMPARE(int(w->filenameFormat()), 1);
        action("actionMarkArtist")->trigger(); // on again, but format 1 takes the artist from the name
        QVERIFY(!artist->isEnabled());
        find<QWidget>("filenameFormatRadio3")->setProperty("checked", true);
        QVERIFY(artist->isEnabled());
        auto* genre = find<QComboBox>("genreCombo");
        genre->setCurrentIndex(5);
        action("actionMarkGenre")->trigger();
        QVERIFY(!genre->isEnabled());
        QCOMPARE(genre->currentText(), QString());
    }

    void toggleAllNoneAlternatesOnItsOwnFlag() {
        open();
        const char* marks[] = {"actionMarkTitle",   "actionMarkArtist", "actionMarkAlbum", "actionMarkYear",
                               "actionMarkComment", "actionMarkGenre",  "actionMarkTrack"};
        action("actionMarkAlbum")->trigger(); // some off by hand
        action("actionMarkComment")->trigger();
        action("actionToggleAllMarks")->trigger();
        for (const char* m : marks)
            QVERIFY2(!action(m)->isChecked(), m);
        QVERIFY(!find<QLineEdit>("commentEdit")->isEnabled());
        action("actionToggleAllMarks")->trigger();
        for (const char* m : marks)
            QVERIFY2(action(m)->isChecked(), m);
        QVERIFY(find<QLineEdit>("commentEdit")->isEnabled());
    }

    void altNCyclesTheFilenameFormat() {
        MainWindow* w = open();
        find<QLineEdit>("albumEdit")->setFocus();
        QList<int> formats;
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(w, Qt::Key_N, Qt::AltModifier);
            formats.append(int(w->filenameFormat()));
        }
        QCOMPARE(formats, (QList<int>{1, 2, 3, 0}));
        QVERIFY(find<QLineEdit>("albumEdit")->hasFocus()); // the radio group did not take the focus
    }

    void directoryNamesFillArtistAndAlbum() {
        MainWindow* w = open();
        w->openDirectory(QDir::current().filePath(QStringLiteral("Band/Record")));
        auto* dirname = find<QComboBox>("dirnameFormatCombo");
        dirname->setCurrentIndex(2);
        emit dirname->activated(2);
        QCOMPARE(find<QLineEdit>("artistEdit")->text(), QStringLiteral("Band"));
        QCOMPARE(find<QLineEdit>("albumEdit")->text(), QStringLiteral("Record"));
        action("actionClearTagFields")->trigger();
        action("actionMarkAlbum")->trigger(); // Album mark off: only the artist is filled
        QCOMPARE(find<QLineEdit>("artistEdit")->text(), QStringLiteral("Band"));
        QCOMPARE(find<QLineEdit>("albumEdit")->text(), QString());
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
        Mp3Info info;
        info.track = track;
        info.artist = artist;
        info.title = title;
        info.year = QStringLiteral("2004");
        info.genreName = genre;
        QCOMPARE(TagSummary(info), summary);
        QCOMPARE(TagSummary(Mp3Info{}), QString());
    }

    void statusLine() {
        write(QStringLiteral("a.mp3"), audio(300) + tagBytes(makeTag("Song", "Band", "", "", "", 0, 255)));
        write(QStringLiteral("b.mp3"), audio(300));
        write(QStringLiteral("c.mp3"), audio(300) + tagBytes(makeTag("", "", "", "", "", 0, 255)));
        MainWindow* w = open();
        QCOMPARE(w->fileList()->count(), 3);
        auto click = [&](int row) {
            QListWidget* list = w->fileList();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(row)).center());
        };
        click(0);
        QCOMPARE(w->statusText(), QStringLiteral("a.mp3"));
        action("actionShowTagInStatus")->trigger();
        QCOMPARE(w->statusText(), QStringLiteral("a.mp3")); // unchanged until the list changes
        click(0);
        QCOMPARE(w->statusText(), QStringLiteral("Band          Song"));
        click(1);
        QCOMPARE(w->statusText(), QStringLiteral("No ID3 tag found!"));
        click(2);
        QCOMPARE(w->statusText(), QString());
    }

    // With ID3v2 tags used the status line shows a file's ID3v2 tag (written here by mutagen)
    // when it has one, else its ID3v1 tag as above.
    void statusLineFromTheTagPlayersShow_data() {
        if (!haveMutagen())
            QSKIP("/usr/bin/python3 has no mutagen (python3-mutagen)");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("trailer");
        QTest::addColumn<bool>("useId3v2");
        QTest::addColumn<QString>("status");
        const QString gap(10, QLatin1Char(' '));
        const QByteArray v2 = mutagenId3v2({"Song v2", "Band v2", "Album", "2004", {}, "3/12", "Rock"});
        const QByteArray v1 = tagBytes(makeTag("Song v1", "Band v1", "", "", "", 0, 255));
        const QString fromV2 = "#3/12" + gap + "Band v2" + gap + "Song v2" + gap + "2004" + gap + "[Rock]";
        const QString fromV1 = "Band v1" + gap + "Song v1";
        QTest::newRow("ID3v2 only, on") << v2 << QByteArray() << true << fromV2;
        QTest::newRow("ID3v2 only, off") << v2 << QByteArray() << false << "No ID3 tag found!";
        QTest::newRow("both, on") << v2 << v1 << true << fromV2;
        QTest::newRow("both, off") << v2 << v1 << false << fromV1;
        QTest::newRow("ID3v1 only, on") << QByteArray() << v1 << true << fromV1;
        QTest::newRow("neither, on") << QByteArray() << QByteArray() << true << "No ID3 tag found!";
        // Whole and in Unicode; a comment's line breaks as blanks, the status line being one line.
        const QString night = QStringLiteral(u"Тихая ночь над рекой, где звёзды горят");
        QTest::newRow("long non-Latin title, comment of two lines")
            << mutagenId3v2({night, {}, {}, {}, "line one\nline two", {}, {}}) << v1 << true
            << night + gap + "line one line two";
    }
    void statusLineFromTheTagPlayersShow() {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, trailer);
        QFETCH(bool, useId3v2);
        QFETCH(QString, status);
        write(QStringLiteral("a.mp3"), head + audio(300) + trailer);
        MainWindow* w = open();
        action("actionShowTagInStatus")->setChecked(true);
        action("actionUseId3v2")->setChecked(useId3v2);
        QListWidget* list = w->fileList();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        QCOMPARE(w->statusText(), status);
    }

    void ctrlAInATagFieldSelectsFiles() {
        makeMusic({QStringLiteral("a.mp3"), QStringLiteral("b.mp3")});
        MainWindow* w = open();
        auto* album = find<QLineEdit>("albumEdit");
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

    // A refresh shows the folder as it is now, nothing selected and no entry focused, the status
    // line left alone: with a file more, and with as many files under other names (as after a
    // batch of renames), where each entry's ID3v2 mark follows its file.
    void refreshLeavesNothingSelected_data() {
        QTest::addColumn<QString>("renamedTo"); // what a.mp3 is renamed to; empty: c.mp3 is added
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QList<bool>>("marks");
        QTest::newRow("a file more") << QString() << QStringList{"a.mp3", "b.mp3", "c.mp3"}
                                     << QList<bool>{true, false, false};
        QTest::newRow("as many, renamed")
            << QStringLiteral("d.mp3") << QStringList{"b.mp3", "d.mp3"} << QList<bool>{false, true};
    }

    void refreshLeavesNothingSelected() {
        QFETCH(QString, renamedTo);
        QFETCH(QStringList, shown);
        QFETCH(QList<bool>, marks);
        write(QStringLiteral("a.mp3"),
              QByteArray("ID3\x03\0\0\0\0\0\x0a", 10) + QByteArray(10, '\0') + audio(10));
        write(QStringLiteral("b.mp3"), audio(10));
        MainWindow* w = open();
        FileList* list = w->fileList();
        QVERIFY(list->hasId3v2Tag(0));
        const QString before = w->statusText();
        action("actionSelectAll")->trigger();
        list->setCurrentRow(1, QItemSelectionModel::NoUpdate);
        QCOMPARE(list->selectedItems().size(), 2);
        QCOMPARE(w->statusText(), before);
        if (renamedTo.isEmpty())
            write(QStringLiteral("c.mp3"), audio(10));
        else
            QVERIFY(QFile::rename(QStringLiteral("a.mp3"), renamedTo));
        const QSignalSpy selectionChanges(list->selectionModel(), &QItemSelectionModel::selectionChanged);
        action("actionRefresh")->trigger();
        QStringList texts;
        QList<bool> marked;
        for (int row = 0; row < list->count(); ++row) {
            texts << list->item(row)->text();
            marked << list->hasId3v2Tag(row);
        }
        QCOMPARE(texts, shown);
        QCOMPARE(marked, marks);
        QCOMPARE(list->selectedItems().size(), 0);
        QCOMPARE(list->currentRow(), -1);
        QCOMPARE(selectionChanges.count(), 0);
        QCOMPARE(w->statusText(), before);
    }

    void fileListShowsOnlyMp3Files() {
        makeMusic({QStringLiteral("b.MP3"), QStringLiteral("A.mp3"), QStringLiteral(".hidden.mp3"),
                   QStringLiteral("notes.txt"), QStringLiteral("c.mp3.bak")});
        QDir().mkdir(QStringLiteral("folder.mp3"));
        QVERIFY(QFile::link(QStringLiteral("A.mp3"), QStringLiteral("link.mp3")));
        write(QString::fromUtf8("\xc3\xa4iti.mp3"), audio(10));
        QCOMPARE(ListDirectory(QStringLiteral("."), EntryKind::Mp3File),
                 (QStringList{QStringLiteral("A.mp3"), QStringLiteral("b.MP3"), QStringLiteral("link.mp3"),
                              QString::fromUtf8("äiti.mp3")}));
    }

    void directoryTree() {
        MainWindow* w = open();
        auto* tree = find<QListWidget>("directoryList");
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

    // A name cut at the list's edge shows whole in its tooltip, in the file list and in the
    // folder tree; in the file list every entry's tooltip gives its name (with the ID3v2 note
    // where it applies), in the tree a name that shows whole gets none.
    void cutNamesShowInTooltips() {
        const QString longName = QStringLiteral("Long ") + QString(80, QLatin1Char('n'));
        write(QStringLiteral("a.mp3"), audio(100));
        write(longName + QStringLiteral(".mp3"), audio(100));
        QDir().mkdir(longName);
        MainWindow* w = open();
        const auto tipFor = [](QListWidget* list, int row) {
            const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
            QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
            QApplication::sendEvent(list->viewport(), &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        FileList* files = w->fileList();
        QCOMPARE(files->item(0)->text(), QStringLiteral("a.mp3"));
        QCOMPARE(tipFor(files, 0), QStringLiteral("a.mp3"));
        QCOMPARE(tipFor(files, 1), longName + QStringLiteral(".mp3"));
        auto* folders = find<QListWidget>("directoryList");
        int row = 0;
        while (row < folders->count() && !folders->item(row)->text().endsWith(longName))
            ++row;
        QVERIFY(row < folders->count());
        QCOMPARE(tipFor(folders, row), longName);
    }

    // A batch's marks: deselections are held back until the batch ends, and an entry whose
    // held work was dropped gets its mark back among them.
    void batchMarksGivenBack() {
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
            write(QString::fromLatin1(name), audio(100));
        MainWindow* w = open();
        FileList* list = w->fileList();
        list->selectAll();
        for (int i = 0; i < 3; ++i)
            list->deselect(i);
        list->reselect(1);
        const QList<bool> expected{false, true, false, true};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(list->isSelected(i), expected[i]);
        list->endBatch();
        for (int i = 0; i < 4; ++i)
            QCOMPARE(list->selectionModel()->isSelected(list->model()->index(i, 0)), expected[i]);
    }

    void renameDirectory() {
        MainWindow* w = open();
        auto* tree = find<QListWidget>("directoryList");
        const QString music = QDir::currentPath();
        const int band = tree->count() - 1;
        // The root: nothing at all.
        tree->setCurrentRow(0);
        find<QPushButton>("renameDirButton")->click();
        QCOMPARE(w->currentDirectory(), music);
        // Cancel: the selected folder is opened, nothing renamed.
        QList<SeenPrompt> seen;
        ModalAnswerer answers({AnswerInput(std::nullopt, &seen)});
        tree->setCurrentRow(band);
        find<QPushButton>("renameDirButton")->click();
        QCOMPARE(seen, (QList<SeenPrompt>{{"Rename directory", "Enter new directoryname", "Band"}}));
        QCOMPARE(w->currentDirectory(), music + QStringLiteral("/Band"));
        // A new name: renamed, and the view moves to the parent showing it.
        answers.add(AnswerInput(QStringLiteral("Group")));
        tree->setCurrentRow(tree->currentRow()); // the opened folder itself
        find<QPushButton>("renameDirButton")->click();
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
        MainWindow* w = open();
        action("actionPlayFile")->trigger(); // nothing selected
        QCOMPARE(opened, QStringList());
        QListWidget* list = w->fileList();
        list->setCurrentRow(1, QItemSelectionModel::NoUpdate);
        list->item(0)->setSelected(true);
        list->item(2)->setSelected(true);
        action("actionPlayFile")->trigger();
        QCOMPARE(opened, QStringList{QStringLiteral("b.mp3/8")});
        action("actionExploreDirectory")->trigger();
        QCOMPARE(opened.last(), QDir::currentPath() + QStringLiteral("/8"));
        w->openDirectory(QStringLiteral("/"));
        action("actionExploreDirectory")->trigger();
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
        MainWindow* w = open();
        action("actionSelectAll")->trigger();
        QString text;
        ModalAnswerer answers({AnswerErrorBox(&text)});
        action("actionRemoveAllTags")->trigger();
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
        action("actionSelectAll")->trigger();
        action("actionRemoveAllTags")->trigger();
        QCOMPARE(read(QStringLiteral("b.mp3")), song);
        QCOMPARE(read(QStringLiteral("c.mp3")), song);
        QCOMPARE(w->fileList()->selectedItems().size(), 0);
    }

    // Files another program changes while Remove all tags works on them are left alone, and the
    // command says how many in one box at its end; the others lose their tags.
    void removeAllTagsTellsFilesLeftAlone_data() {
        QTest::addColumn<QStringList>("changed");
        QTest::addColumn<QString>("text");
        QTest::newRow("one")
            << QStringList{"b.mp3"}
            << "1 file was changed by another program while Morwick worked and was left alone.";
        QTest::newRow("two") << QStringList{"a.mp3", "c.mp3"}
                             << "2 files were changed by another program while Morwick worked and were left "
                                "alone.";
    }
    void removeAllTagsTellsFilesLeftAlone() {
        QFETCH(QStringList, changed);
        QFETCH(QString, text);
        const QByteArray song = audio(2000);
        const QByteArray tagged = song + tagBytes(makeTag("Song"));
        const QStringList names{"a.mp3", "b.mp3", "c.mp3"};
        for (const QString& name : names)
            write(name, tagged);
        MainWindow* w = open();
        action("actionSelectAll")->trigger();
        SetChangeGivenHook([&](const QString& path) {
            QFile file(path);
            if (changed.contains(QFileInfo(path).fileName()) && file.open(QIODevice::Append))
                file.write("more");
        });
        const auto noHook = qScopeGuard([] { SetChangeGivenHook({}); });
        QString shown;
        ModalAnswerer answers({AnswerErrorBox(&shown)});
        action("actionRemoveAllTags")->trigger();
        QCOMPARE(shown, text);
        for (const QString& name : names)
            QCOMPARE(read(name), changed.contains(name) ? tagged + "more" : song);
        QCOMPARE(w->fileList()->selectedItems().size(), 0);
    }

    void copyTagFillsOnlyFieldsThatTakeIt() {
        write(QStringLiteral("a.mp3"),
              audio(300) + tagBytes(makeTag("T", "Band", "Album", "1999", "Note", 1, 17)));
        MainWindow* w = open();
        find<QWidget>("filenameFormatRadio1")->setProperty("checked", true); // artist from the name
        action("actionSelectAll")->trigger();
        action("actionCopyTag")->trigger();
        QCOMPARE(find<QLineEdit>("artistEdit")->text(), QString());
        QCOMPARE(find<QLineEdit>("albumEdit")->text(), QStringLiteral("Album"));
        QCOMPARE(find<QLineEdit>("yearEdit")->text(), QStringLiteral("1999"));
        QCOMPARE(find<QLineEdit>("commentEdit")->text(), QStringLiteral("Note"));
        QCOMPARE(find<QComboBox>("genreCombo")->currentText(), QStringLiteral("Rock"));
        QCOMPARE(w->fileList()->selectedItems().size(), 0);
    }

    // The window hands the setting to Rename from tags and to its preview: the preview shows
    // the name from the tag the setting chooses, and Apply gives it.
    void renameFromTagsFollowsTheSetting_data() {
        if (!haveMutagen())
            QSKIP("/usr/bin/python3 has no mutagen (python3-mutagen)");
        QTest::addColumn<bool>("useId3v2");
        QTest::addColumn<QString>("expected");
        QTest::newRow("on") << true << "02. Song v2.mp3";
        QTest::newRow("off") << false << "01. Song v1.mp3";
    }
    void renameFromTagsFollowsTheSetting() {
        QFETCH(bool, useId3v2);
        QFETCH(QString, expected);
        write(QStringLiteral("a.mp3"), mutagenId3v2({"Song v2", {}, {}, {}, {}, "2", {}}) + audio(300) +
                                           tagBytes(makeTag("Song v1", "", "", "", "", 1)));
        MainWindow* w = open();
        action("actionUseId3v2")->setChecked(useId3v2);
        ScriptedPrompts prompts;
        QString shown;
        prompts.onShow = [&](QDialog& d) {
            shown = Named<QTableWidget>(&d, "previewTable")->item(0, 1)->text();
        };
        prompts.steps = {[](QDialog& d) { Named<QPushButton>(&d, "applyButton")->click(); }};
        w->setPrompts(&prompts);
        w->fileList()->setAllSelected(true);
        action("actionPreviewRenames")->trigger();
        QCOMPARE(shown, expected);
        QCOMPARE(listing(), QStringList{expected});
        QCOMPARE(prompts.unexpected, 0);
        w->setPrompts(nullptr);
    }

    // With ID3v2 tags used the fields take whole texts, so Copy tag puts an ID3v2 tag's long
    // texts in whole; with the setting off again they are held to the ID3v1 widths.
    void copyTagPutsLongId3v2TextsWhole() {
        if (!haveMutagen())
            QSKIP("/usr/bin/python3 has no mutagen (python3-mutagen)");
        const QString artist = QStringLiteral(u"Ансамбль «Северное сияние» и друзья");
        const QString album = QStringLiteral(u"Песни о ночных реках и далёких звёздах");
        const QString comment = QStringLiteral(u"Записано вживую в Петрозаводске, зима");
        write(QStringLiteral("a.mp3"),
              mutagenId3v2({"T", artist, album, "2003-07-01", comment, {}, {}}) + audio(300));
        MainWindow* w = open();
        auto* artistEdit = find<QLineEdit>("artistEdit");
        auto* albumEdit = find<QLineEdit>("albumEdit");
        auto* yearEdit = find<QLineEdit>("yearEdit");
        auto* commentEdit = find<QLineEdit>("commentEdit");
        action("actionUseId3v2")->trigger();
        QVERIFY(w->useId3v2());
        action("actionSelectAll")->trigger();
        action("actionCopyTag")->trigger();
        QCOMPARE(artistEdit->text(), artist);
        QCOMPARE(albumEdit->text(), album);
        QCOMPARE(yearEdit->text(), QStringLiteral("2003-07-01"));
        QCOMPARE(commentEdit->text(), comment);

        action("actionUseId3v2")->trigger();
        QCOMPARE(MaxCharacters(artistEdit), 30);
        QCOMPARE(artistEdit->text(), artist.left(30));
        QCOMPARE(albumEdit->text(), album.left(30));
        QCOMPARE(yearEdit->text(), QStringLiteral("2003"));
        QCOMPARE(commentEdit->text(), comment.left(28));
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
        MainWindow* w = open();
        TagDialog form2(w);
        AboutBox form3(w);
        w->setDialogs(&form2, &form3);
        w->openDirectory(QDir::currentPath());
        QCOMPARE(find<QLineEdit>("artistEdit")->text(), QStringLiteral("Some Band"));
        QCOMPARE(find<QLineEdit>("albumEdit")->text(), QStringLiteral("First Album"));
        find<QLineEdit>("yearEdit")->setText(QStringLiteral("2004"));
        find<QComboBox>("genreCombo")->setCurrentText(QStringLiteral("Rock"));
        action("actionSelectAll")->trigger();
        find<QPushButton>("tagFilesButton")->click();
        QCOMPARE(w->fileList()->selectedItems().size(), 0);
        const ID3Tag expected = makeTag("First Song", "Some Band", "First Album", "2004", "", 1, 17);
        QCOMPARE(read(QStringLiteral("01. First Song.mp3")), song + tagBytes(expected));
        QCOMPARE(read(QStringLiteral("02 - Second Song.mp3")).right(128).mid(3, 11),
                 QByteArray("Second Song"));
        QCOMPARE(w->taggedFiles(), 13);

        QString line;
        ModalAnswerer answers({[&](QWidget* modal) {
            auto* memo = modal->findChild<QPlainTextEdit*>(QStringLiteral("aboutText"));
            QVERIFY(memo);
            line = memo->toPlainText().split(QLatin1Char('\n')).value(9);
            QTest::keyClick(modal, Qt::Key_Return);
        }});
        action("actionAbout")->trigger();
        QCOMPARE(line, QStringLiteral("You have tagged 13 files"));
        w->close(); // the close box writes nothing: the stored count stays
        QCOMPARE(storedValues().value(QStringLiteral("morwick/uses")), QStringLiteral("10"));
    }

    // A batch that stops leaves the list's own selection as the loop left it, with no event in
    // between: the file done is unmarked, the one after it still marked.
    void stoppedBatchLeavesTheSelectionExact() {
        write(QStringLiteral("Song.mp3"), audio(200));
        write(QStringLiteral("Tune.mp3"), audio(200));
        MainWindow* w = open();
        TagDialog form2(w);
        w->setDialogs(&form2, nullptr);
        ScriptedPrompts no;
        no.answers = {false};
        w->setPrompts(&no);
        w->fileList()->setAllSelected(true);
        w->tagFiles();
        w->setPrompts(nullptr);
        const QList<QListWidgetItem*> marked = w->fileList()->selectedItems();
        QCOMPARE(marked.size(), 1);
        QCOMPARE(marked.front()->text(), QStringLiteral("Tune.mp3"));
    }

    // Only No stops the batch; the question's close box goes on like Yes.
    void formatQuestionCloseBoxGoesOn() {
        write(QStringLiteral("Song.mp3"), audio(200));
        write(QStringLiteral("Tune.mp3"), audio(200));
        MainWindow* w = open();
        TagDialog form2(w);
        w->setDialogs(&form2, nullptr);
        action("actionSelectAll")->trigger();
        QStringList texts;
        ModalAnswerer answers;
        for (int i = 0; i < 2; ++i)
            answers.add([&](QWidget* modal) {
                texts.append(qobject_cast<QMessageBox*>(modal)->text());
                modal->close();
            });
        find<QPushButton>("tagFilesButton")->click();
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
        MainWindow* w = open();
        TagDialog form2(w);
        w->setDialogs(&form2, nullptr);
        auto* bar = find<QWidget>("batchProgress");
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
        action("actionSelectAll")->trigger();
        find<QPushButton>("tagFilesButton")->click();
        QCOMPARE(answers.remaining(), 0);
        QVERIFY(shownDuringBatch);
        QVERIFY(!bar->isVisible());
    }

    // A long batch shows "n of N" beside a Stop button. Stop, or Escape, ends it after the
    // current file the way No does: the files handled stay handled, the rest are untouched and
    // still selected, and the list is not re-read. Meanwhile the window takes events (it
    // repaints), but no command starts and the list does not change. With nothing pressed the
    // batch runs to its end as before.
    void stopEndsALongBatch_data() {
        QTest::addColumn<QString>("press");
        QTest::newRow("Stop button") << "stop";
        // As a real click arrives: at the window first, which hands it to the widget under it.
        QTest::newRow("Stop button, clicked through the window") << "window click";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("nothing") << "";
    }
    void stopEndsALongBatch() {
        QFETCH(QString, press);
        const int files = 6;
        const QByteArray song = audio(300);
        for (int i = 1; i <= files; ++i)
            write(QStringLiteral("Song %1.mp3").arg(i), song);
        MainWindow* w = open();
        TagDialog form2(w);
        w->setDialogs(&form2, nullptr);
        SlowFirstAnswer prompts;
        w->setPrompts(&prompts);
        find<QWidget>("filenameFormatRadio1")->setProperty("checked", true); // every name asks
        action("actionSelectAll")->trigger();
        FileList* list = w->fileList();
        auto* bar = find<QProgressBar>("batchProgress");
        auto* stop = find<QToolButton>("stopBatchButton");
        QVERIFY(!stop->isVisible());

        QString shown; // the bar's text when Stop was pressed
        int asked = -1;
        QTimer during; // runs only while the batch lets events through
        during.setInterval(0);
        connect(&during, &QTimer::timeout, this, [&] {
            if (!stop->isVisible() || !shown.isEmpty())
                return;
            shown = bar->text();
            asked = prompts.questions;
            // Both are inside the window, beside the status line.
            QVERIFY(w->rect().contains(QRect(stop->mapTo(w, QPoint(0, 0)), stop->size())));
            QVERIFY(w->rect().contains(QRect(bar->mapTo(w, QPoint(0, 0)), bar->size())));
            // The status line gives way to them meanwhile; everything else stays whole.
            QStringList problems = LayoutProblems(w);
            problems.removeIf([](const QString& p) { return p.startsWith(QLatin1String("statusLine:")); });
            QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("; "))));
            // Nothing else starts and the list stays as it is: menu items, shortcuts, clicks and
            // keys in the list all do nothing.
            action("actionTagFiles")->trigger();
            action("actionClearSelection")->trigger();
            QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(list, Qt::Key_F9);
            QTest::mouseClick(find<QPushButton>("removeAllTagsButton"), Qt::LeftButton);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(0)).center());
            QTest::keyClick(list, Qt::Key_Down);
            QCOMPARE(prompts.questions, asked);
            QVERIFY(list->isSelected(files - 1));
            QCOMPARE(list->count(), files);
            const auto clickThroughWindow = [&](QWidget* widget) {
                QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {},
                                  widget->mapTo(w, widget->rect().center()));
            };
            if (press == QLatin1String("window click")) {
                clickThroughWindow(find<QPushButton>("removeAllTagsButton")); // takes nothing
                QCOMPARE(prompts.questions, asked);
                clickThroughWindow(stop);
            }
            if (press == QLatin1String("stop"))
                QTest::mouseClick(stop, Qt::LeftButton);
            else if (press == QLatin1String("escape"))
                QTest::keyClick(list, Qt::Key_Escape);
        });
        during.start();
        find<QPushButton>("tagFilesButton")->click();
        during.stop();

        QVERIFY2(!shown.isEmpty(), "the window took no events during the batch");
        QVERIFY(!stop->isVisible());
        QVERIFY(!bar->isVisible());
        QVERIFY(action("actionTagFiles")->isEnabled());
        const int handled = press.isEmpty() ? files : asked;
        QCOMPARE(shown, QStringLiteral("%1 of %2").arg(asked).arg(files));
        QCOMPARE(prompts.questions, handled);
        QCOMPARE(list->count(), files);
        for (int i = 0; i < files; ++i) {
            const QString name = QStringLiteral("Song %1.mp3").arg(i + 1);
            QCOMPARE(read(name).size(), song.size() + (i < handled ? 128 : 0));
            QCOMPARE(list->isSelected(i), i >= handled);
        }
        QCOMPARE(list->selectedItems().size(), files - handled);
        // The window is itself again: the next command runs.
        action("actionSelectAll")->trigger();
        QCOMPARE(list->selectedItems().size(), files);
    }
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
