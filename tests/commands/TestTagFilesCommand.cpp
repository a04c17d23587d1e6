#include "app/dialogs/GenreList.h"
#include "app/dialogs/QtPrompts.h"
#include "app/dialogs/TagDialog.h"
#include "commands/TagFilesCommand.h"
#include "core/AnsiText.h"
#include "core/Id3Tag.h"
#include "support/FakeSelection.h"
#include "support/ModalAnswerer.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

using namespace testfiles;

namespace {

constexpr int kAudioSize = 1000;

using Step = std::function<void(QDialog&)>;

// What one showing of the tag dialog displayed. `enabled` has one 0/1 per input field in the
// dialog's visual order: Track, Title, Artist, Album, Year, Genre, Comment.
struct Shown {
    QString caption, file, track, title, artist, album, year, genre, comment, memo, enabled;
};

// The tag dialog as it is shown.
Shown shownBy(QDialog& d) {
    QString enabled;
    for (const char* field :
         {"trackEdit", "titleEdit", "artistEdit", "albumEdit", "yearEdit", "genreCombo", "commentEdit"})
        enabled += Named<QWidget>(&d, field)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    return {d.windowTitle(),
            Named<QLabel>(&d, "fileNameLabel")->text(),
            Named<QLineEdit>(&d, "trackEdit")->text(),
            Named<QLineEdit>(&d, "titleEdit")->text(),
            Named<QLineEdit>(&d, "artistEdit")->text(),
            Named<QLineEdit>(&d, "albumEdit")->text(),
            Named<QLineEdit>(&d, "yearEdit")->text(),
            Named<QComboBox>(&d, "genreCombo")->currentText(),
            Named<QLineEdit>(&d, "commentEdit")->text(),
            Named<QPlainTextEdit>(&d, "streamFactsView")->toPlainText(),
            enabled};
}

// Scripted answers that also note what each showing of the tag dialog displayed.
class TagPrompts : public ScriptedPrompts {
public:
    TagPrompts() {
        onShow = [this](QDialog& d) { shown.append(shownBy(d)); };
    }
    QList<Shown> shown;
};

// The seven field marks from letters: t title, a artist, b album, y year, c comment, k track,
// g genre.
Id3FieldMask maskOf(const QString& letters) {
    Id3FieldMask m;
    m.title = letters.contains(QLatin1Char('t'));
    m.artist = letters.contains(QLatin1Char('a'));
    m.album = letters.contains(QLatin1Char('b'));
    m.year = letters.contains(QLatin1Char('y'));
    m.comment = letters.contains(QLatin1Char('c'));
    m.track = letters.contains(QLatin1Char('k'));
    m.genre = letters.contains(QLatin1Char('g'));
    return m;
}

void makeFile(const QString& name, const QByteArray& tag = {}) {
    write(name, audio(kAudioSize) + tag);
}

QByteArray tagOf(const QString& name) {
    return read(name).right(kTagSize);
}

// An ID3v1.0 tag: a 30-byte comment that runs over the zero byte and the track byte.
QByteArray id3v10Tag() {
    ID3Tag tag = makeTag("Old", "Old Artist", "Old Album", "1999", "", 0, 17);
    std::memset(tag.comment, 'c', kCommentWidth);
    tag.zero = 'c';
    tag.track = 'c';
    return tagBytes(tag);
}

QByteArray v10CommentKept(ID3Tag tag) {
    std::memset(tag.comment, 'c', kCommentWidth);
    return tagBytes(tag);
}

void save(QDialog& d) {
    QTest::mouseClick(Named<QPushButton>(&d, "saveButton"), Qt::LeftButton);
}

const QString kTitle40 = QStringLiteral("A Very Long Song Title That Goes On And ");
const QString kArtist40 = QStringLiteral("A Band Whose Name Is Far Too Long For It");

} // namespace

class TestTagFilesCommand : public QObject {
    Q_OBJECT

private:
    TagDialog* dialog_ = nullptr;
    TagFieldValues fields_;
    int tagged_ = 0; // files whose tag the command wrote, over a test
    std::unique_ptr<WorkDir> dir_;

    void setGenre(const QString& name) { fields_.genre = GenreIndex(name); }

    BatchReport tagFiles(FakeSelection& files, ScriptedPrompts& prompts, const Id3FieldMask& mask, int format,
                         bool ask = true, bool ask64 = false) {
        TagFieldValues values = fields_;
        values.mask = mask;
        prompts.setTagDialog(dialog_);
        const BatchReport report =
            TagFilesCommand({files, prompts}, {values, FilenameFormat(format), ask, ask64});
        tagged_ += report.changed;
        return report;
    }

private slots:
    void initTestCase() {
        dialog_ = new TagDialog;
        QCOMPARE(QString::fromLatin1(GenreNames[13]), QStringLiteral("Pop"));
    }
    void cleanupTestCase() { delete dialog_; }
    void init() {
        dir_ = std::make_unique<WorkDir>();
        QVERIFY(dir_->isValid());
        fields_.artist = QStringLiteral("Some Band");
        fields_.album = QStringLiteral("First Album");
        fields_.year = QStringLiteral("2004");
        fields_.comment = QStringLiteral("a comment");
        setGenre(QStringLiteral("Pop"));
        tagged_ = 0;
        // Leftovers of an earlier showing, which the prompts must replace.
        Named<QPlainTextEdit>(dialog_, "streamFactsView")->setPlainText(QStringLiteral("stale"));
        dialog_->setAllEditable(true);
    }
    void cleanup() { dir_.reset(); }

    void writesTag_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<bool>("ask");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("before"); // the file's tag, or empty
        QTest::addColumn<QString>("album");     // as typed in the Album field
        QTest::addColumn<QString>("genre");
        QTest::addColumn<QByteArray>("expected");

        const QString all = QStringLiteral("tabyckg");
        const QString song = QStringLiteral("01. First Song.mp3");
        const QString album = QStringLiteral("First Album");
        const QString pop = QStringLiteral("Pop");
        const QByteArray old = tagBytes(makeTag("Old title", "Old Artist", "Old Album", "1990", "old", 7, 1));
        QTest::newRow("format 0, whole tag")
            << 0 << all << true << song << QByteArray() << album << pop
            << tagBytes(makeTag("First Song", "Some Band", "First Album", "2004", "a comment", 1, 13));
        QTest::newRow("format 1 takes the artist from the name")
            << 1 << all << true << QStringLiteral("02 - Other Band - Second Song.mp3") << old << album << pop
            << tagBytes(makeTag("Second Song", "Other Band", "First Album", "2004", "a comment", 2, 13));
        QTest::newRow("title unmarked, no separator: no question")
            << 0 << QStringLiteral("abyckg") << true << QStringLiteral("Song.mp3") << old << album << pop
            << tagBytes(makeTag("Old title", "Some Band", "First Album", "2004", "a comment", 0, 13));
        QTest::newRow("format 2 removes the track")
            << 2 << all << true << QStringLiteral("Band - Song.mp3") << old << album << pop
            << tagBytes(makeTag("Song", "Band", "First Album", "2004", "a comment", 0, 13));
        QTest::newRow("format 3 removes the track")
            << 3 << all << true << QStringLiteral("Song.mp3") << old << album << pop
            << tagBytes(makeTag("Song", "Some Band", "First Album", "2004", "a comment", 0, 13));
        QTest::newRow("ask off cuts a long title")
            << 0 << all << false << QStringLiteral("01. ") + kTitle40 + QStringLiteral(".mp3") << QByteArray()
            << album << pop
            << tagBytes(makeTag(qPrintable(kTitle40.left(kTextWidth)), "Some Band", "First Album", "2004",
                                "a comment", 1, 13));
        QTest::newRow("no marks: old fields") << 0 << QString() << true << song << old << album << pop << old;
        QTest::newRow("no marks, no tag: empty tag")
            << 0 << QString() << true << song << QByteArray() << album << pop
            << tagBytes(makeTag("", "", "", "", "", 0, kNoGenre));
        QTest::newRow("empty genre entry")
            << 0 << all << true << song << old << album << QString()
            << tagBytes(makeTag("First Song", "Some Band", "First Album", "2004", "a comment", 1, kNoGenre));
        QTest::newRow("ID3v1.0, comment unmarked, track marked")
            << 0 << QStringLiteral("tabykg") << true << QStringLiteral("05. New.mp3") << id3v10Tag() << album
            << pop << v10CommentKept(makeTag("New", "Some Band", "First Album", "2004", "", 5, 13));
        QTest::newRow("ID3v1.0, comment and track unmarked")
            << 0 << QStringLiteral("tabyg") << true << QStringLiteral("05. New.mp3") << id3v10Tag() << album
            << pop << v10CommentKept(makeTag("New", "Some Band", "First Album", "2004", "", 0, 13));
        QTest::newRow("blanks around the album")
            << 0 << all << true << song << QByteArray() << QStringLiteral("  First Album\t ") << pop
            << tagBytes(makeTag("First Song", "Some Band", "First Album", "2004", "a comment", 1, 13));
    }
    void writesTag() {
        QFETCH(int, format);
        QFETCH(QString, mask);
        QFETCH(bool, ask);
        QFETCH(QString, name);
        QFETCH(QByteArray, before);
        QFETCH(QString, album);
        QFETCH(QString, genre);
        QFETCH(QByteArray, expected);

        makeFile(name, before);
        fields_.album = album;
        setGenre(genre);
        FakeSelection files({name});
        TagPrompts prompts;
        tagFiles(files, prompts, maskOf(mask), format, ask);

        QCOMPARE(prompts.unexpected, 0);
        QCOMPARE(read(name).size(), kAudioSize + kTagSize);
        QCOMPARE(tagOf(name), expected);
        QCOMPARE(tagged_, 1);
        QCOMPARE(files.rereads, 1);
        QCOMPARE(files.selected, QList<bool>{false});
    }

    void trimsTheFields() {
        makeFile(QStringLiteral("01. A.mp3"));
        fields_.artist = QStringLiteral(" \tSome Band ");
        fields_.year = QStringLiteral("04 ");
        fields_.comment = QStringLiteral("  a comment  ");
        FakeSelection files({QStringLiteral("01. A.mp3")});
        TagPrompts prompts;
        tagFiles(files, prompts, maskOf(QStringLiteral("tabyckg")), 0);
        // Artist, Album and Comment are used trimmed; the year is not trimmed.
        QCOMPARE(tagOf(QStringLiteral("01. A.mp3")),
                 tagBytes(makeTag("A", "Some Band", "First Album", "04 ", "a comment", 1, 13)));
    }

    void nothingSelected() {
        makeFile(QStringLiteral("01. A.mp3"));
        fields_.album = QStringLiteral(" First Album ");
        FakeSelection files({QStringLiteral("01. A.mp3")}, {false});
        TagPrompts prompts;
        tagFiles(files, prompts, maskOf(QStringLiteral("tabyckg")), 0);
        QCOMPARE(read(QStringLiteral("01. A.mp3")).size(), kAudioSize);
        QCOMPARE(files.rereads, 0);
        QCOMPARE(tagged_, 0);
    }

    // The real error box: Enter answers Yes (the default), Escape answers No.
    void formatErrorQuestion_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("goesOn");
        QTest::newRow("Enter: Yes") << int(Qt::Key_Return) << true;
        QTest::newRow("Escape: No") << int(Qt::Key_Escape) << false;
    }
    void formatErrorQuestion() {
        QFETCH(int, key);
        QFETCH(bool, goesOn);
        const QStringList names = {QStringLiteral("01. One.mp3"), QStringLiteral("Two.mp3"),
                                   QStringLiteral("03. Three.mp3")};
        for (const QString& name : names)
            makeFile(name);
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        ModalAnswerer answerer({[&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box != nullptr);
            text = box->text();
            icon = box->icon();
            QTest::keyClick(box, Qt::Key(key));
        }});
        FakeSelection files(names);
        QtPrompts real;
        TagPrompts prompts;
        prompts.real = &real;
        tagFiles(files, prompts, maskOf(QStringLiteral("tabyckg")), 0);

        QCOMPARE(answerer.remaining(), 0);
        QCOMPARE(text, QStringLiteral("Filename format error in file \"Two.mp3\". Continue batch?"));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(tagOf(names[0]),
                 tagBytes(makeTag("One", "Some Band", "First Album", "2004", "a comment", 1, 13)));
        if (goesOn) {
            QCOMPARE(tagOf(names[1]),
                     tagBytes(makeTag("", "Some Band", "First Album", "2004", "a comment", 0, 13)));
            QCOMPARE(read(names[2]).size(), kAudioSize + kTagSize);
            QCOMPARE(files.rereads, 1);
            QCOMPARE(tagged_, 3);
        } else {
            QCOMPARE(read(names[1]).size(), kAudioSize);
            QCOMPARE(read(names[2]).size(), kAudioSize);
            QCOMPARE(files.selected, (QList<bool>{false, false, true}));
            QCOMPARE(files.rereads, 0);
            QCOMPARE(tagged_, 1);
        }
    }

    void songPrompt_data() {
        QTest::addColumn<bool>("saved");
        QTest::newRow("Save") << true;
        QTest::newRow("Cancel") << false;
    }
    void songPrompt() {
        QFETCH(bool, saved);
        const QString name = QStringLiteral("01. ") + kTitle40 + QStringLiteral(".mp3");
        makeFile(name, tagBytes(makeTag("old", "Old Artist", "Old Album", "1999", "old comment", 9, 17)));
        FakeSelection files({name});
        TagPrompts prompts;
        prompts.steps = {[&](QDialog& d) {
            QCOMPARE(Named<QLineEdit>(&d, "artistEdit")->palette().color(QPalette::Base),
                     QApplication::palette().color(QPalette::Button));
            QCOMPARE(Named<QLineEdit>(&d, "titleEdit")->palette().color(QPalette::Base),
                     QApplication::palette().color(QPalette::Base));
            QCOMPARE(QApplication::focusWidget(), Named<QLineEdit>(&d, "titleEdit"));
            if (saved) {
                Named<QLineEdit>(&d, "titleEdit")->setText(QStringLiteral("Short Title"));
                Named<QLineEdit>(&d, "commentEdit")->setText(QStringLiteral("new comment"));
                save(d);
            } else {
                QTest::keyClick(Named<QLineEdit>(&d, "commentEdit"), Qt::Key_Escape);
            }
        }};
        // Album unmarked: the dialog shows the file's old album.
        tagFiles(files, prompts, maskOf(QStringLiteral("tayckg")), 0);

        QCOMPARE(prompts.unexpected, 0);
        QCOMPARE(prompts.shown.size(), 1);
        const Shown& s = prompts.shown.first();
        QCOMPARE(s.caption, QStringLiteral("Song name exceeds 30 characters!"));
        QCOMPARE(s.file, name);
        QCOMPARE(s.title, kTitle40.left(kTextWidth));
        QCOMPARE(s.artist, QStringLiteral("Some Band"));
        QCOMPARE(s.album, QStringLiteral("Old Album"));
        QCOMPARE(s.year, QStringLiteral("2004"));
        QCOMPARE(s.track, QStringLiteral("1"));
        QCOMPARE(s.genre, QStringLiteral("Pop"));
        QCOMPARE(s.comment, QStringLiteral("a comment"));
        QCOMPARE(s.memo, QString());
        QCOMPARE(s.enabled, QStringLiteral("0100001"));
        const QByteArray expected =
            saved ? tagBytes(makeTag("Short Title", "Some Band", "Old Album", "2004", "new comment", 1, 13))
                  : tagBytes(makeTag(qPrintable(kTitle40.left(kTextWidth)), "Some Band", "Old Album", "2004",
                                     "a comment", 1, 13));
        QCOMPARE(tagOf(name), expected);
        QCOMPARE(tagged_, 1);
    }

    // Under format 1 both prompts come, the artist's second, showing the title the first saved.
    void artistPromptAfterSongPrompt() {
        const QString name =
            QStringLiteral("01 - ") + kArtist40 + QStringLiteral(" - ") + kTitle40 + QStringLiteral(".mp3");
        makeFile(name);
        FakeSelection files({name});
        TagPrompts prompts;
        prompts.steps = {[](QDialog& d) {
                             Named<QLineEdit>(&d, "titleEdit")->setText(QStringLiteral("Short Title"));
                             save(d);
                         },
                         [](QDialog& d) {
                             QCOMPARE(QApplication::focusWidget(), Named<QLineEdit>(&d, "artistEdit"));
                             Named<QLineEdit>(&d, "artistEdit")->setText(QStringLiteral("Short Band"));
                             save(d);
                         }};
        tagFiles(files, prompts, maskOf(QStringLiteral("tabyckg")), 1);

        QCOMPARE(prompts.unexpected, 0);
        QCOMPARE(prompts.shown.size(), 2);
        const Shown& s = prompts.shown.at(1);
        QCOMPARE(s.caption, QStringLiteral("Artist name exceeds 30 characters!"));
        QCOMPARE(s.title, QStringLiteral("Short Title"));
        QCOMPARE(s.artist, kArtist40.left(kTextWidth));
        QCOMPARE(s.enabled, QStringLiteral("0010001"));
        QCOMPARE(tagOf(name),
                 tagBytes(makeTag("Short Title", "Short Band", "First Album", "2004", "a comment", 1, 13)));
    }

    void longNameOfferedAfterTagging() {
        const QString title62 = QString(62, QLatin1Char('s'));
        const QString name = QStringLiteral("01. ") + title62 + QStringLiteral(".mp3");
        makeFile(name);
        FakeSelection files({name});
        TagPrompts prompts;
        prompts.inputs = {QStringLiteral("01. Short.mp3")};
        tagFiles(files, prompts, maskOf(QStringLiteral("tabyckg")), 0, false, true);

        QCOMPARE(prompts.unexpected, 0);
        QCOMPARE(
            prompts.seenInputs,
            (QList<SeenPrompt>{{QStringLiteral("Filename exceeds 64 characters!"),
                                QStringLiteral("Enter new filename (current is 70 characters)"), name}}));
        QVERIFY(!QFileInfo::exists(name));
        QCOMPARE(tagOf(QStringLiteral("01. Short.mp3")),
                 tagBytes(makeTag(qPrintable(title62.left(kTextWidth)), "Some Band", "First Album", "2004",
                                  "a comment", 1, 13)));
    }

    // Only the files whose tag was written count: a missing one gets no tag and is not made.
    void countsTheFilesWritten() {
        makeFile(QStringLiteral("01. One.mp3"));
        makeFile(QStringLiteral("03. Three.mp3"));
        makeFile(QStringLiteral("04. Four.mp3"));
        tagged_ = 41;
        FakeSelection files({QStringLiteral("01. One.mp3"), QStringLiteral("02. Gone.mp3"),
                             QStringLiteral("03. Three.mp3"), QStringLiteral("04. Four.mp3")},
                            {true, true, true, false});
        TagPrompts prompts;
        tagFiles(files, prompts, maskOf(QStringLiteral("tabyckg")), 0);
        QCOMPARE(tagged_, 43);
        QVERIFY(!QFileInfo::exists(QStringLiteral("02. Gone.mp3")));
        QCOMPARE(read(QStringLiteral("04. Four.mp3")).size(), kAudioSize);
        QCOMPARE(read(QStringLiteral("03. Three.mp3")).size(), kAudioSize + kTagSize);
    }
};

QTEST_MAIN(TestTagFilesCommand)
#include "TestTagFilesCommand.moc"
