// Faults met by the real commands through the real window: a disk that fills up, files that
// change or vanish under a command, odd and long names, a very large folder. After each, every
// file is either fully processed or byte for byte as it was, nothing is left behind, and the
// program goes on working.
#include "app/FileList.h"
#include "app/MainWindow.h"
#include "app/dialogs/TagDialog.h"
#include "commands/EditTagsCommand.h"
#include "core/FileName.h"
#include "support/FileSizeLimit.h"
#include "support/ModalAnswerer.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testfiles;

namespace {

// What a folder holds: raw name (bytes, not necessarily UTF-8) to content; a subfolder shows as
// kFolder followed by its own entries.
using Entries = QMap<QByteArray, QByteArray>;
const QByteArray kFolder = "<folder>";

QByteArray readRaw(const QByteArray& name) {
    QByteArray out;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        qFatal("cannot read %s", name.constData());
    char buf[65536];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        out.append(buf, n);
    ::close(fd);
    return out;
}

void writeRaw(const QByteArray& name, const QByteArray& bytes) {
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
        qFatal("cannot write %s", name.constData());
    ::close(fd);
}

Entries entries(const QByteArray& dir = ".") {
    Entries out;
    DIR* d = ::opendir(dir.constData());
    if (!d)
        qFatal("cannot list %s", dir.constData());
    while (const dirent* e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = dir + '/' + name;
        struct stat st {};
        ::lstat(path.constData(), &st);
        if (S_ISDIR(st.st_mode)) {
            QByteArray inside = kFolder;
            const Entries sub = entries(path);
            for (auto it = sub.begin(); it != sub.end(); ++it)
                inside += ' ' + it.key() + '=' + it.value();
            out.insert(name, inside);
        } else {
            out.insert(name, readRaw(path));
        }
    }
    ::closedir(d);
    return out;
}

} // namespace

// For QCOMPARE's failure messages: each name with its size and last bytes.
char* toString(const Entries& e) {
    QByteArray out;
    for (auto it = e.begin(); it != e.end(); ++it)
        out += '"' + it.key() + "\" (" + QByteArray::number(it.value().size()) + ") ..." +
               it.value().right(40).toHex(' ') + '\n';
    return qstrdup(out.constData());
}

namespace {

// Removes a folder and everything in it by raw names, which QDir cannot reach when they are
// not UTF-8.
void removeTree(const QByteArray& dir) {
    if (DIR* d = ::opendir(dir.constData())) {
        while (const dirent* e = ::readdir(d)) {
            const QByteArray name(e->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray path = dir + '/' + name;
            struct stat st {};
            if (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
                removeTree(path);
            else
                ::unlink(path.constData());
        }
        ::closedir(d);
    }
    ::rmdir(dir.constData());
}

// A leading ID3v2.3 tag with a body of `body` zero bytes.
QByteArray id3v2(int body) {
    QByteArray h("ID3\x03\x00\x00\x00\x00\x00", 9);
    h.append(char(body));
    return h + QByteArray(body, '\0');
}

QByteArray taggedBy(int track, const char* title) {
    return tagBytes(makeTag(title, "", "", "", "", track, kNoGenre));
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> tmp_;
    std::unique_ptr<MainWindow> form_;
    std::unique_ptr<TagDialog> form2_;
    QString oldCwd_;

    MainWindow* open() {
        form_ = std::make_unique<MainWindow>();
        form2_ = std::make_unique<TagDialog>(form_.get());
        form_->setDialogs(form2_.get(), nullptr);
        form_->show();
        if (!QTest::qWaitForWindowExposed(form_.get()))
            qWarning("window not exposed");
        return form_.get();
    }

    // Presses a button or triggers a menu item of the main window, by objectName.
    void run(const char* name) {
        if (auto* action = form_->findChild<QAction*>(QLatin1String(name)))
            action->trigger();
        else if (auto* button = form_->findChild<QAbstractButton*>(QLatin1String(name)))
            button->click();
        else
            QFAIL(name);
    }

    // Marks exactly the entries with these raw names.
    void select(const QList<QByteArray>& names) {
        FileList* list = form_->fileList();
        list->setAllSelected(false);
        for (int i = 0; i < list->count(); ++i) {
            if (names.contains(EncodeFileName(list->name(i))))
                list->item(i)->setSelected(true);
        }
    }

    bool selected(const QByteArray& name) const {
        const FileList* list = form_->fileList();
        for (int i = 0; i < list->count(); ++i) {
            if (EncodeFileName(list->name(i)) == name)
                return list->isSelected(i);
        }
        return false;
    }

    // Runs a command and returns the error box's text, or an empty string when it showed none
    // (any other modal window fails the test).
    QString runExpectingBox(const char* name, bool box) {
        QString text;
        ModalAnswerer answers;
        if (box)
            answers.add(AnswerErrorBox(&text));
        run(name);
        return text;
    }

    // The program goes on after a fault: Tag files over a fresh file does its whole work.
    void checkStillUsable() {
        const QByteArray name = "99. usable.mp3";
        writeRaw(name, audio(300));
        run("actionRefresh");
        select({name});
        form_->findChild<QAbstractButton*>(QStringLiteral("filenameFormatRadio0"))->click();
        runExpectingBox("tagFilesButton", false);
        QCOMPARE(readRaw(name), audio(300) + taggedBy(99, "usable"));
        QVERIFY(!selected(name));
        ::unlink(name.constData());
    }

private slots:
    void initTestCase() {
        // As the program itself does: past the file-size limit a write fails instead of killing.
        std::signal(SIGXFSZ, SIG_IGN);
    }

    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", tmp_->filePath(QStringLiteral("config")).toUtf8());
        oldCwd_ = QDir::currentPath();
        QDir(tmp_->path()).mkpath(QStringLiteral("music"));
        QDir::setCurrent(tmp_->filePath(QStringLiteral("music")));
    }
    void cleanup() {
        form2_.reset();
        form_.reset();
        QDir::setCurrent(oldCwd_);
        removeTree(QFile::encodeName(tmp_->path()));
        tmp_.reset();
    }

    // The disk fills up at the second of three files: the first is done, the second is as it
    // was (no torn tag, no half-copied file, no temporary file), the third untouched and still
    // selected. With room again, the same command finishes the rest.
    void diskFullMidBatch_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QList<QByteArray>>("before");
        QTest::addColumn<QList<QByteArray>>("after");
        QTest::addColumn<qint64>("limit");
        const QByteArray t1 = taggedBy(1, "one"), t2 = taggedBy(2, "two"), t3 = taggedBy(3, "three");
        QTest::newRow("remove all tags, the rewrite fills the disk")
            << QByteArray("actionRemoveAllTags")
            << QList<QByteArray>{id3v2(20) + audio(1000) + t1, id3v2(20) + audio(6000) + t2,
                                 id3v2(20) + audio(1000) + t3}
            << QList<QByteArray>{audio(1000), audio(6000), audio(1000)} << qint64(3000);
        QTest::newRow("tag files, the append fills the disk half-way")
            << QByteArray("tagFilesButton") << QList<QByteArray>{audio(1000), audio(3000), audio(1000)}
            << QList<QByteArray>{audio(1000) + t1, audio(3000) + t2, audio(1000) + t3} << qint64(3000 + 60);
        QTest::newRow("tag files, no room at all")
            << QByteArray("tagFilesButton") << QList<QByteArray>{audio(1000), audio(3000), audio(1000)}
            << QList<QByteArray>{audio(1000) + t1, audio(3000) + t2, audio(1000) + t3} << qint64(3000);
    }
    void diskFullMidBatch() {
        QFETCH(QByteArray, command);
        QFETCH(QList<QByteArray>, before);
        QFETCH(QList<QByteArray>, after);
        QFETCH(qint64, limit);
        const QList<QByteArray> names{"01. one.mp3", "02. two.mp3", "03. three.mp3"};
        for (int i = 0; i < 3; ++i)
            writeRaw(names[i], before[i]);
        open();
        run("actionSelectAll");
        QString text;
        {
            const FileSizeLimit full{rlim_t(limit)};
            text = runExpectingBox(command.constData(), true);
        }
        QCOMPARE(text, QStringLiteral("Disk full."));
        QCOMPARE(entries(), (Entries{{names[0], after[0]}, {names[1], before[1]}, {names[2], before[2]}}));
        // The focus frame is on the file the message is about, not on the next selected one.
        QCOMPARE(form_->fileList()->currentItem()->text(), QString::fromUtf8(names[1]));
        QVERIFY(!selected(names[1]));
        QVERIFY(selected(names[2]));
        QCOMPARE(form_->taggedFiles(), command == "tagFilesButton" ? 1 : 0);

        run("actionSelectAll");
        QCOMPARE(runExpectingBox(command.constData(), false), QString());
        QCOMPARE(entries(), (Entries{{names[0], after[0]}, {names[1], after[1]}, {names[2], after[2]}}));
        checkStillUsable();
    }

    // The first listed file vanishes, or a folder takes its name, before the command runs.
    // Remove all tags reports it and stops there; the others pass over it in silence and do
    // the rest. The folder keeps its content. A tag read earlier (here: from another folder)
    // never stands in for the missing one's.
    void entryGoneBeforeTheCommand_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* command, bool folder, const char* message) {
            QTest::addRow("%s, %s", command, folder ? "a folder in its place" : "vanished")
                << QByteArray(command) << folder << QString::fromLatin1(message);
        };
        for (bool folder : {false, true}) {
            row("tagFilesButton", folder, "");
            row("actionRemoveAllTags", folder, folder ? "File access denied." : "File not found.");
            row("renameFromTagsButton", folder, "");
            row("trimFilenamesButton", folder, "");
        }
    }
    void entryGoneBeforeTheCommand() {
        QFETCH(QByteArray, command);
        QFETCH(bool, folder);
        QFETCH(QString, message);
        // Earlier work in another folder leaves its tag in the working buffer.
        QDir().mkdir(QStringLiteral("../elsewhere"));
        writeRaw("../elsewhere/01. Elsewhere.mp3", audio(200));
        MainWindow* w = open();
        w->openDirectory(QStringLiteral("../elsewhere"));
        run("actionSelectAll");
        runExpectingBox("tagFilesButton", false);
        w->openDirectory(QStringLiteral("../music"));

        // Each file's tag has a capitalised title, its name a lower-case one: Rename from tags
        // and Trim filenames both give it the tidied name; Tag files takes the title from the name.
        struct File {
            QByteArray name, tidied, audio;
            int track;
        };
        const QList<File> files{{"01. one.mp3", "01. One.mp3", audio(500, 'a'), 1},
                                {"02. two.mp3", "02. Two.mp3", audio(600, 'b'), 2},
                                {"03. three.mp3", "03. Three.mp3", audio(700, 'c'), 3}};
        const auto title = [](const QByteArray& name) { return name.mid(4).chopped(4); };
        const auto content = [&](const File& f) {
            return f.audio +
                   tagBytes(makeTag(title(f.tidied).constData(), "", "", "", "old note", f.track, 17));
        };
        for (const File& f : files)
            writeRaw(f.name, content(f));
        run("actionRefresh");
        run("actionSelectAll");
        ::unlink(files[0].name.constData());
        if (folder) {
            ::mkdir(files[0].name.constData(), 0755);
            writeRaw(files[0].name + "/inside.mp3", audio(50));
        }

        QCOMPARE(runExpectingBox(command.constData(), !message.isEmpty()), message);

        Entries expected;
        if (folder) // a rename acts on the name, whatever stands there now
            expected.insert(command == "trimFilenamesButton" ? files[0].tidied : files[0].name,
                            kFolder + " inside.mp3=" + audio(50));
        for (const File& f : files.mid(1)) {
            if (!message.isEmpty()) {
                expected.insert(f.name, content(f));
                QVERIFY(selected(f.name));
            } else if (command == "tagFilesButton") {
                expected.insert(f.name, f.audio + taggedBy(f.track, title(f.name).constData()));
            } else {
                expected.insert(f.tidied, content(f));
            }
        }
        QCOMPARE(entries(), expected);
        checkStillUsable();
    }

    // Another program changes the file while the song prompt of Tag files is up; then Save.
    // The new tag goes over a trailer only where a trailer still is; no byte of the file as
    // the other program left it is lost.
    void sizeChangesWhileTheSongPromptIsUp_data() {
        QTest::addColumn<QByteArray>("changed");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("message");
        const QByteArray song = audio(2000);
        const QByteArray ours = taggedBy(1, "a very long song title that go");
        QTest::newRow("tag rewritten, same size") << song + taggedBy(5, "Other") << song + ours << QString();
        QTest::newRow("tag stripped") << song << song + ours << QString();
        QTest::newRow("grown past the tag")
            << song + taggedBy(5, "Old") + audio(700, 'q')
            << song + taggedBy(5, "Old") + audio(700, 'q') + ours << QString();
        QTest::newRow("shrunk below a tag's size")
            << song.left(100) << song.left(100) << QStringLiteral("Read beyond end of file.");
    }
    void sizeChangesWhileTheSongPromptIsUp() {
        QFETCH(QByteArray, changed);
        QFETCH(QByteArray, after);
        QFETCH(QString, message);
        const QByteArray name = "01. a very long song title that goes on.mp3";
        writeRaw(name, audio(2000) + taggedBy(5, "Old"));
        open();
        run("actionSelectAll");
        QString text;
        ModalAnswerer answers({[&](QWidget* modal) {
            QCOMPARE(modal, static_cast<QWidget*>(form2_.get()));
            writeRaw(name, changed);
            Named<QPushButton>(form2_.get(), "saveButton")->click(); // Save
        }});
        if (!message.isEmpty())
            answers.add(AnswerErrorBox(&text));
        run("tagFilesButton");
        QCOMPARE(answers.remaining(), 0);
        QCOMPARE(text, message);
        QCOMPARE(entries(), (Entries{{name, after}}));
        checkStillUsable();
    }

    // A name that is not UTF-8 is listed (shown with a replacement character) and each command
    // acts on that very file, never on a look-alike beside it: one whose name holds the
    // replacement character itself and so shows the same, and one spelt in UTF-8.
    void invalidUtf8Name_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("newName");
        QTest::addColumn<QByteArray>("newContent");
        const QByteArray song = audio(400, 'a');
        const QByteArray tagged = song + taggedBy(1, "Song");
        QTest::newRow("tag files") << QByteArray("tagFilesButton") << QByteArray("01. caf\xe9.mp3")
                                   << song + taggedBy(1, "caf?");
        QTest::newRow("rename from tags")
            << QByteArray("renameFromTagsButton") << QByteArray("01. Song.mp3") << tagged;
        QTest::newRow("remove all tags")
            << QByteArray("actionRemoveAllTags") << QByteArray("01. caf\xe9.mp3") << song;
        QTest::newRow("trim filenames")
            << QByteArray("trimFilenamesButton") << QByteArray("01. Caf\xe9.mp3") << tagged;
    }
    void invalidUtf8Name() {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, newName);
        QFETCH(QByteArray, newContent);
        const QByteArray raw = "01. caf\xe9.mp3"; // Latin-1
        const QByteArray shownAlike = "01. caf\xef\xbf\xbd.mp3";
        const QByteArray utf8Alike = "01. caf\xc3\xa9.mp3";
        writeRaw(raw, audio(400, 'a') + taggedBy(1, "Song"));
        writeRaw(shownAlike, audio(400, 'b') + taggedBy(1, "Song"));
        writeRaw(utf8Alike, audio(400, 'c') + taggedBy(1, "Song"));
        const Entries before = entries();
        MainWindow* w = open();
        QCOMPARE(w->fileList()->count(), 3);
        QStringList shown;
        for (int i = 0; i < 3; ++i)
            shown.append(w->fileList()->item(i)->text());
        const QString replaced = QStringLiteral("01. caf\uFFFD.mp3");
        QCOMPARE(shown.count(replaced), 2);
        QVERIFY(shown.contains(QStringLiteral("01. caf\u00e9.mp3")));

        select({raw});
        QCOMPARE(w->fileList()->selectedItems().size(), 1);
        QCOMPARE(runExpectingBox(command.constData(), false), QString());
        Entries expected = before;
        expected.remove(raw);
        expected.insert(newName, newContent);
        QCOMPARE(entries(), expected);
        checkStillUsable();
    }

    // The longest name Linux takes: commands that would lengthen it leave the file as it is,
    // in silence; commands that keep the name do their work (a rewrite's temporary file
    // beside it must fit too).
    void longestName_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        // 255 bytes but fewer characters: the file system counts bytes.
        const auto longName = [](const char* prefix) {
            QByteArray name = prefix;
            for (int i = 0; i < 120; ++i)
                name += "\xc3\xa9"; // "é"
            return name + QByteArray(255 - 4 - name.size(), 'x') + ".mp3";
        };
        const QByteArray song = audio(800);
        const QByteArray tag = taggedBy(1, QByteArray(30, '\xe9').constData()); // "é" in the tag's code page
        QTest::newRow("trim filenames would lengthen it")
            << QByteArray("trimFilenamesButton") << longName("1. ") << song << song; // "1. " becomes "01. "
        QTest::newRow("replace would lengthen it")
            << QByteArray("replaceTextButton") << longName("1. ") << song << song;
        QTest::newRow("tag files") << QByteArray("tagFilesButton") << longName("01. ") << song << song + tag;
        QTest::newRow("remove all tags, rewritten")
            << QByteArray("actionRemoveAllTags") << longName("01. ") << id3v2(30) + song + tag << song;
    }
    void longestName() {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QCOMPARE(name.size(), 255);
        writeRaw(name, before);
        open();
        run("actionAskLongTitle"); // no prompt for the long title
        run("actionSelectAll");
        ModalAnswerer answers;
        if (command == "replaceTextButton") {
            answers.add(AnswerInput(QStringLiteral("x.mp3")));
            answers.add(AnswerInput(QStringLiteral("xy.mp3")));
        }
        run(command.constData());
        QCOMPARE(answers.remaining(), 0);
        QCOMPARE(entries(), (Entries{{name, after}}));
        checkStillUsable();
    }

    // A folder of 20,000 files is listed whole, and Tag files goes over all of them.
    void twentyThousandFiles() {
        constexpr int kCount = 20000;
        const QByteArray song = audio(16);
        const auto nameOf = [](int i) { return QByteArray("s") + QByteArray::number(i) + ".mp3"; };
        for (int i = 0; i < kCount; ++i)
            writeRaw(nameOf(i), song);
        MainWindow* w = open();
        QCOMPARE(w->fileList()->count(), kCount);
        form_->findChild<QAbstractButton*>(QStringLiteral("filenameFormatRadio3"))->click(); // "song.mp3"
        run("actionSelectAll");
        QCOMPARE(runExpectingBox("tagFilesButton", false), QString());
        QCOMPARE(w->fileList()->count(), kCount);
        QCOMPARE(w->fileList()->selectedItems().size(), 0);
        QCOMPARE(form_->taggedFiles(), kCount);
        const Entries after = entries();
        QCOMPARE(after.size(), kCount);
        for (int i = 0; i < kCount; i += 997) {
            const QByteArray name = nameOf(i);
            QCOMPARE(after.value(name), song + taggedBy(0, name.chopped(4).constData()));
        }
        int tagged = 0;
        for (const QByteArray& content : after)
            tagged += content.size() == song.size() + 128 && content.startsWith(song);
        QCOMPARE(tagged, kCount);
        checkStillUsable();
    }
};

QTEST_MAIN(TestFaults)
#include "TestFaults.moc"
