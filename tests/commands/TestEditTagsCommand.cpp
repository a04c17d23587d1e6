#include "app/dialogs/CharacterLimit.h"
#include "app/dialogs/TagDialog.h"
#include "commands/EditTagsCommand.h"
#include "commands/Prompts.h"
#include "core/Batch.h"
#include "core/Id3Tag.h"
#include "core/IoError.h"
#include "core/Mp3Info.h"
#include "core/StreamInfo.h"
#include "support/FakeSelection.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

using namespace testfiles;

namespace {

// What a showing of the dialog displayed.
struct Shown {
    QString caption, file, title, track, genre, memo;
};

using Step = std::function<void(QDialog&)>;

// The input fields in the dialog's visual order.
const char* const kInputFields[] = {"trackEdit", "titleEdit",  "artistEdit", "albumEdit",
                                    "yearEdit",  "genreCombo", "commentEdit"};

// Scripted answers that also note what each showing of the dialog displayed; anything but a
// dialog that a step closes counts as unexpected.
class DialogPrompts : public ScriptedPrompts {
public:
    DialogPrompts() {
        onShow = [this](QDialog& d) {
            shown.append({d.windowTitle(), Named<QLabel>(&d, "fileNameLabel")->text(),
                          Named<QLineEdit>(&d, "titleEdit")->text(),
                          Named<QLineEdit>(&d, "trackEdit")->text(),
                          Named<QComboBox>(&d, "genreCombo")->currentText(),
                          Named<QPlainTextEdit>(&d, "streamFactsView")->toPlainText()});
        };
    }
    QList<Shown> shown;
};

void save(QDialog& d) {
    QTest::mouseClick(Named<QPushButton>(&d, "saveButton"), Qt::LeftButton);
}
void cancel(QDialog& d) {
    QTest::mouseClick(Named<QPushButton>(&d, "cancelButton"), Qt::LeftButton);
}

// A stand-in MP3 longer than the stream scan window, optionally with a tag.
QByteArray body() {
    return audio(kScanWindow + 2000);
}

QString memoFor(const QString& name) {
    return StreamInfoLines(ReadMp3Info(name)).join(QLatin1Char('\n'));
}

} // namespace

class TestEditTagsCommand : public QObject {
    Q_OBJECT

private:
    TagDialog* dialog_ = nullptr;
    std::unique_ptr<WorkDir> dir_;

    // Edit tags, its questions asked in the run's one dialog.
    BatchReport editTags(FakeSelection& files, ScriptedPrompts& prompts) {
        prompts.setTagDialog(dialog_);
        return EditTagsCommand({files, prompts});
    }

private slots:
    void initTestCase() {
        dialog_ = new TagDialog; // one dialog for the whole run, as in the program
    }
    void cleanupTestCase() { delete dialog_; }
    void init() {
        dir_ = std::make_unique<WorkDir>();
        QVERIFY(dir_->isValid());
    }
    void cleanup() { dir_.reset(); }

    void dialogShape() {
        TagDialog& d = *dialog_;
        QCOMPARE(d.windowTitle(), QStringLiteral("Tag"));
        QVERIFY(!(d.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(d.windowFlags() & Qt::WindowCloseButtonHint);
        const QList<QPair<QLineEdit*, int>> limits = {
            {Named<QLineEdit>(&d, "trackEdit"), 2},   {Named<QLineEdit>(&d, "titleEdit"), 30},
            {Named<QLineEdit>(&d, "artistEdit"), 30}, {Named<QLineEdit>(&d, "albumEdit"), 30},
            {Named<QLineEdit>(&d, "yearEdit"), 4},    {Named<QLineEdit>(&d, "commentEdit"), 28}};
        for (const auto& [edit, limit] : limits)
            QCOMPARE(edit->objectName() == QLatin1String("trackEdit") ? edit->maxLength()
                                                                      : MaxCharacters(edit),
                     limit);
        // The texts count characters: 30 emoji fit the title as 30 letters do.
        const QString guitars = QString(QStringLiteral(u"🎸")).repeated(31);
        Named<QLineEdit>(&d, "titleEdit")->setText(guitars);
        QCOMPARE(Named<QLineEdit>(&d, "titleEdit")->text(), guitars.left(60));
        QCOMPARE(Named<QComboBox>(&d, "genreCombo")->count(), kGenreCount + 1);
        QCOMPARE(Named<QComboBox>(&d, "genreCombo")->itemText(0), QString());
        QCOMPARE(Named<QComboBox>(&d, "genreCombo")->itemText(1), QStringLiteral("Acapella"));
        QVERIFY(!Named<QComboBox>(&d, "genreCombo")->isEditable());
        QVERIFY(Named<QPlainTextEdit>(&d, "streamFactsView")->isReadOnly());
        QCOMPARE(Named<QPlainTextEdit>(&d, "streamFactsView")->focusPolicy(), Qt::NoFocus);
        QCOMPARE(Named<QPlainTextEdit>(&d, "streamFactsView")->frameShape(), QFrame::NoFrame);
        QCOMPARE(Named<QPlainTextEdit>(&d, "streamFactsView")->palette().color(QPalette::Base),
                 d.palette().color(QPalette::Window));
        QVERIFY(Named<QPushButton>(&d, "saveButton")->isDefault());
        QCOMPARE(Named<QPushButton>(&d, "saveButton")->text(), QStringLiteral("&Save"));
        QCOMPARE(Named<QPushButton>(&d, "cancelButton")->text(), QStringLiteral("Canc&el"));
        for (const char* name :
             {"fileNameLabel", "titleEdit", "artistEdit", "albumEdit", "yearEdit", "commentEdit", "trackEdit",
              "genreCombo", "streamFactsView", "saveButton", "cancelButton"})
            QVERIFY2(d.findChild<QWidget*>(QLatin1String(name)), name);

        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QCOMPARE(d.minimumSize(), d.maximumSize());
        Named<QLabel>(&d, "fileNameLabel")
            ->setText(QString(300, QLatin1Char('x'))); // a long name does not widen the window
        QApplication::processEvents();
        QCOMPARE(d.size(), d.minimumSize());
        d.reject();
    }

    // Focus on showing, the Tab chain and the labels' accelerators.
    void keyboard() {
        TagDialog& d = *dialog_;
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QCOMPARE(QApplication::focusWidget(), Named<QLineEdit>(&d, "titleEdit"));
        QStringList chain;
        for (int i = 0; i < 9; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            chain << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(chain, QStringList({"artistEdit", "albumEdit", "yearEdit", "genreCombo", "commentEdit",
                                     "saveButton", "cancelButton", "trackEdit", "titleEdit"}));
        const QList<QPair<Qt::Key, QWidget*>> accelerators = {
            {Qt::Key_K, Named<QLineEdit>(&d, "trackEdit")},  {Qt::Key_T, Named<QLineEdit>(&d, "titleEdit")},
            {Qt::Key_A, Named<QLineEdit>(&d, "artistEdit")}, {Qt::Key_B, Named<QLineEdit>(&d, "albumEdit")},
            {Qt::Key_Y, Named<QLineEdit>(&d, "yearEdit")},   {Qt::Key_G, Named<QComboBox>(&d, "genreCombo")},
            {Qt::Key_C, Named<QLineEdit>(&d, "commentEdit")}};
        for (const auto& [key, field] : accelerators) {
            QTest::keyClick(&d, key, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), field);
        }
        d.reject();

        // With Title disabled (as a prompt of Tag files leaves it), Artist gets the focus.
        d.setEditable(TagField::Title, false);
        QCOMPARE(Named<QLineEdit>(&d, "titleEdit")->palette().color(QPalette::Base),
                 QApplication::palette().color(QPalette::Button));
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QCOMPARE(QApplication::focusWidget(), Named<QLineEdit>(&d, "artistEdit"));
        d.reject();
    }

    void nothingSelected() {
        write(QStringLiteral("a.mp3"), body());
        FakeSelection files({"a.mp3"}, {false});
        DialogPrompts prompts;
        editTags(files, prompts);
        QVERIFY(prompts.shown.isEmpty());
        QCOMPARE(files.rereads, 0);
    }

    void threeFilesInListOrder() {
        copyFixture(QStringLiteral("peer-id3v1.mp3"), QStringLiteral("."), QStringLiteral("a.mp3"));
        copyFixture(QStringLiteral("cbr128-jstereo-44k.mp3"), QStringLiteral("."), QStringLiteral("b.mp3"));
        const QByteArray c = body() + tagBytes(makeTag("Gamma", "", "", "", "", 0, 150));
        write(QStringLiteral("c.mp3"), c);
        write(QStringLiteral("d.mp3"), c);
        const QByteArray oldA = read(QStringLiteral("a.mp3"));
        const QByteArray oldB = read(QStringLiteral("b.mp3"));
        const QString memoA = memoFor(QStringLiteral("a.mp3"));
        const QString memoB = memoFor(QStringLiteral("b.mp3"));
        const QString memoC = memoFor(QStringLiteral("c.mp3"));

        // The first file keeps an earlier run's disabled fields, which the command undoes.
        dialog_->setAllEditable(false);
        FakeSelection files({"a.mp3", "b.mp3", "d.mp3", "c.mp3"}, {true, true, false, true});
        DialogPrompts prompts;
        const QColor base = QApplication::palette().color(QPalette::Base);
        prompts.steps = {[&](QDialog& d) {
                             for (const char* name : kInputFields) {
                                 const QWidget* field = Named<QWidget>(&d, name);
                                 QVERIFY(field->isEnabled());
                                 QCOMPARE(field->palette().color(QPalette::Base), base);
                             }
                             QCOMPARE(QApplication::focusWidget(), Named<QLineEdit>(&d, "titleEdit"));
                             save(d);
                         },
                         cancel, save};
        editTags(files, prompts);

        QCOMPARE(prompts.unexpected, 0);
        QCOMPARE(prompts.shown.size(), 3);
        for (const Shown& s : prompts.shown)
            QCOMPARE(s.caption, QStringLiteral("Edit"));
        QCOMPARE(prompts.shown[0].file, QStringLiteral("a.mp3"));
        QCOMPARE(prompts.shown[0].title, QStringLiteral("First Song"));
        QCOMPARE(prompts.shown[0].track, QStringLiteral("1"));
        QCOMPARE(prompts.shown[0].genre, QStringLiteral("Rock"));
        QCOMPARE(prompts.shown[0].memo, memoA);
        QVERIFY(memoA.startsWith(QStringLiteral("Size: 48611 bytes\n")));
        QCOMPARE(prompts.shown[1].file, QStringLiteral("b.mp3"));
        QCOMPARE(prompts.shown[1].title, QString());
        QCOMPARE(prompts.shown[1].genre, QString());
        QCOMPARE(prompts.shown[1].memo, memoB);
        QVERIFY(memoB.contains(QStringLiteral("\nChannelmode: Joint-Stereo")));
        QCOMPARE(prompts.shown[2].file, QStringLiteral("c.mp3"));
        QCOMPARE(prompts.shown[2].title, QStringLiteral("Gamma"));
        QCOMPARE(prompts.shown[2].memo, memoC);

        // The peer's tag is rewritten in place with the same fields.
        const QByteArray newA = read(QStringLiteral("a.mp3"));
        QCOMPARE(newA.size(), oldA.size());
        QCOMPARE(newA.right(kTagSize),
                 tagBytes(makeTag("First Song", "Some Band", "First Album", "2004", "a comment", 1, 17)));
        QCOMPARE(read(QStringLiteral("b.mp3")), oldB);
        QCOMPARE(read(QStringLiteral("c.mp3")), body() + tagBytes(makeTag("Gamma", "", "", "", "", 0, 255)));
        QCOMPARE(read(QStringLiteral("d.mp3")), c);
        QCOMPARE(files.selected, QList<bool>({false, false, false, false}));
        QCOMPARE(files.rereads, 0);
    }

    // One file saved after an optional edit: what the dialog showed and the tag written.
    void savedTag_data() {
        QTest::addColumn<QByteArray>("oldTag"); // empty: the file has no tag
        QTest::addColumn<QString>("field");     // the field typed into, if any
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shownTrack");
        QTest::addColumn<QString>("shownGenre");
        QTest::addColumn<QByteArray>("newTag");

        const QByteArray tagged = tagBytes(makeTag("Song", "Band", "Album", "2001", "note", 3, 17));
        QTest::newRow("no tag: appended") << QByteArray() << ""
                                          << ""
                                          << ""
                                          << "" << tagBytes(makeTag("", "", "", "", "", 0, 255));
        QTest::newRow("tag: replaced unchanged") << tagged << ""
                                                 << ""
                                                 << "3"
                                                 << "Rock" << tagged;
        QTest::newRow("track 0 shown empty, saved 0")
            << tagBytes(makeTag("Song", "", "", "", "", 0, 17)) << ""
            << ""
            << ""
            << "Rock" << tagBytes(makeTag("Song", "", "", "", "", 0, 17));
        QTest::newRow("track 200 shown whole")
            << tagBytes(makeTag("Song", "", "", "", "", 200, 17)) << ""
            << ""
            << "200"
            << "Rock" << tagBytes(makeTag("Song", "", "", "", "", 200, 17));
        QTest::newRow("track -1 gives 255")
            << tagged << "trackEdit"
            << "-1"
            << "3"
            << "Rock" << tagBytes(makeTag("Song", "Band", "Album", "2001", "note", 255, 17));
        QTest::newRow("track not a number gives 0")
            << tagged << "trackEdit"
            << "x"
            << "3"
            << "Rock" << tagBytes(makeTag("Song", "Band", "Album", "2001", "note", 0, 17));
        QTest::newRow("genre 255 stays 255") << tagBytes(makeTag("Song", "", "", "", "", 1, 255)) << ""
                                             << ""
                                             << "1"
                                             << "" << tagBytes(makeTag("Song", "", "", "", "", 1, 255));
        QTest::newRow("genre 150 saved as 255") << tagBytes(makeTag("Song", "", "", "", "", 1, 150)) << ""
                                                << ""
                                                << "1"
                                                << "" << tagBytes(makeTag("Song", "", "", "", "", 1, 255));
        QTest::newRow("title trimmed")
            << tagged << "titleEdit"
            << " \t New Song  "
            << "3"
            << "Rock" << tagBytes(makeTag("New Song", "Band", "Album", "2001", "note", 3, 17));
        QTest::newRow("comment trimmed")
            << tagged << "commentEdit"
            << "  x "
            << "3"
            << "Rock" << tagBytes(makeTag("Song", "Band", "Album", "2001", "x", 3, 17));
        QTest::newRow("year keeps its space")
            << tagged << "yearEdit"
            << "199 "
            << "3"
            << "Rock" << tagBytes(makeTag("Song", "Band", "Album", "199 ", "note", 3, 17));
        QTest::newRow("ID3v1.0 comment cut")
            << tagBytes(makeTag("Song", "", "", "", "", 0, 17)).replace(125, 2, "ab") << ""
            << ""
            << ""
            << "Rock" << tagBytes(makeTag("Song", "", "", "", "", 0, 17));
    }
    void savedTag() {
        QFETCH(QByteArray, oldTag);
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, shownTrack);
        QFETCH(QString, shownGenre);
        QFETCH(QByteArray, newTag);

        write(QStringLiteral("f.mp3"), body() + oldTag);
        FakeSelection files({"f.mp3"}, {true});
        DialogPrompts prompts;
        prompts.steps = {[&](QDialog& d) {
            if (!field.isEmpty()) {
                auto* edit = d.findChild<QLineEdit*>(field);
                edit->clear();
                QTest::keyClicks(edit, typed);
            }
            save(d);
        }};
        editTags(files, prompts);

        QCOMPARE(prompts.unexpected, 0);
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown[0].track, shownTrack);
        QCOMPARE(prompts.shown[0].genre, shownGenre);
        QCOMPARE(read(QStringLiteral("f.mp3")), body() + newTag); // grows by 128 only when it had no tag
        if (field == QLatin1String("titleEdit"))
            QCOMPARE(Named<QLineEdit>(dialog_, "titleEdit")->text(),
                     QStringLiteral("New Song")); // the trimmed text is shown back
    }

    void escapeWritesNothing_data() {
        QTest::addColumn<QString>("field");
        QTest::newRow("Title") << "titleEdit";
        QTest::newRow("Genre") << "genreCombo";
        QTest::newRow("Track") << "trackEdit";
        QTest::newRow("Save button") << "saveButton";
    }
    void escapeWritesNothing() {
        QFETCH(QString, field);
        const QByteArray old = body() + tagBytes(makeTag("Song", "", "", "", "", 0, 17));
        write(QStringLiteral("f.mp3"), old);
        FakeSelection files({"f.mp3"}, {true});
        DialogPrompts prompts;
        prompts.steps = {[&](QDialog& d) {
            QTest::keyClicks(Named<QLineEdit>(&d, "titleEdit"), QStringLiteral("changed"));
            auto* widget = d.findChild<QWidget*>(field);
            widget->setFocus();
            QCOMPARE(QApplication::focusWidget(), widget);
            QTest::keyClick(widget, Qt::Key_Escape);
            QVERIFY(!d.isVisible());
        }};
        editTags(files, prompts);
        QCOMPARE(prompts.unexpected, 0);
        QCOMPARE(read(QStringLiteral("f.mp3")), old);
    }

    void enterSaves() {
        write(QStringLiteral("f.mp3"), body());
        FakeSelection files({"f.mp3"}, {true});
        DialogPrompts prompts;
        prompts.steps = {[](QDialog& d) {
            QTest::keyClicks(Named<QLineEdit>(&d, "titleEdit"), QStringLiteral("Typed"));
            QTest::keyClick(Named<QLineEdit>(&d, "titleEdit"), Qt::Key_Return);
        }};
        editTags(files, prompts);
        QCOMPARE(prompts.unexpected, 0);
        QCOMPARE(read(QStringLiteral("f.mp3")), body() + tagBytes(makeTag("Typed", "", "", "", "", 0, 255)));
    }

    // A failed write stops the command at that file; the files after it keep their marks.
    void writeFailureStops() {
        write(QStringLiteral("a.mp3"), body());
        write(QStringLiteral("b.mp3"), body() + tagBytes(makeTag("Song")));
        write(QStringLiteral("c.mp3"), body());
        FakeSelection files({"a.mp3", "b.mp3", "c.mp3"}, {true, true, true});
        DialogPrompts prompts;
        prompts.steps = {save,
                         [](QDialog& d) {
                             // Another program cuts the file while its dialog is open.
                             QVERIFY(QFile::resize(QStringLiteral("b.mp3"), 50));
                             save(d);
                         },
                         save};
        const BatchReport report = editTags(files, prompts);
        QVERIFY(report.error);
        QCOMPARE(report.error->message(), QString::fromLatin1(kReadBeyondEnd));
        QCOMPARE(report.stoppedAt, 1);
        QCOMPARE(prompts.shown.size(), 2);
        QCOMPARE(read(QStringLiteral("a.mp3")), body() + tagBytes(makeTag("", "", "", "", "", 0, 255)));
        QCOMPARE(read(QStringLiteral("b.mp3")), body().left(50));
        QCOMPARE(read(QStringLiteral("c.mp3")), body());
        QCOMPARE(files.selected, QList<bool>({false, false, true}));
        QCOMPARE(files.rereads, 0);
    }
};

QTEST_MAIN(TestEditTagsCommand)
#include "TestEditTagsCommand.moc"
