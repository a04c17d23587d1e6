#include "commands/Edit.h"
#include "commands/Prompts.h"
#include "core/Batch.h"
#include "core/Id3Tag.h"
#include "core/IoError.h"
#include "core/Mp3Info.h"
#include "core/StreamInfo.h"
#include "support/FakeSelection.h"
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

using Step = std::function<void(TForm2&)>;

// Shows the real dialog and plays one scripted step per showing on its widgets; a step that
// leaves the dialog open is recorded and the dialog rejected.
class DialogPrompts : public Prompts {
public:
    QList<Step> steps;
    QList<Shown> shown;
    bool leftOpen = false;

    bool inputQuery(const QString&, const QString&, QString&) override { return unexpected(), false; }
    QString inputBox(const QString&, const QString&, const QString& text) override {
        return unexpected(), text;
    }
    bool errorQuestion(const QString&) override { return unexpected(), false; }
    int showModal(QDialog& dialog) override {
        auto& form = static_cast<TForm2&>(dialog);
        shown.append({form.windowTitle(), form.Label7->text(), form.Edit1->text(), form.Edit6->text(),
                      form.ComboBox1->currentText(), form.Memo1->toPlainText()});
        dialog.setResult(QDialog::Rejected);
        dialog.show();
        if (!QTest::qWaitForWindowActive(&dialog))
            leftOpen = true;
        const qsizetype call = shown.size() - 1;
        if (call < steps.size() && steps.at(call))
            steps.at(call)(form);
        if (dialog.isVisible()) {
            leftOpen = true;
            dialog.reject();
        }
        return dialog.result();
    }

private:
    void unexpected() { leftOpen = true; }
};

void save(TForm2& d) {
    QTest::mouseClick(d.Button1, Qt::LeftButton);
}
void cancel(TForm2& d) {
    QTest::mouseClick(d.Button2, Qt::LeftButton);
}

// A stand-in MP3 longer than the stream scan window, optionally with a tag.
QByteArray body() {
    return audio(kScanWindow + 2000);
}

QString memoFor(const QString& name) {
    mp3info info;
    ReadMp3Info(name, info);
    return StreamInfoLines(info).join(QLatin1Char('\n'));
}

} // namespace

class TestEditTags : public QObject {
    Q_OBJECT

private:
    TForm2* dialog_ = nullptr;
    std::unique_ptr<WorkDir> dir_;

private slots:
    void initTestCase() {
        dialog_ = new TForm2; // one dialog for the whole run, as in the program
    }
    void cleanupTestCase() { delete dialog_; }
    void init() {
        dir_ = std::make_unique<WorkDir>();
        QVERIFY(dir_->isValid());
    }
    void cleanup() { dir_.reset(); }

    void dialogShape() {
        TForm2& d = *dialog_;
        QCOMPARE(d.windowTitle(), QStringLiteral("Tag"));
        QVERIFY(!(d.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(d.windowFlags() & Qt::WindowCloseButtonHint);
        const QList<QPair<QLineEdit*, int>> limits = {{d.Edit6, 2},  {d.Edit1, 30}, {d.Edit2, 30},
                                                      {d.Edit3, 30}, {d.Edit4, 4},  {d.Edit5, 28}};
        for (const auto& [edit, limit] : limits)
            QCOMPARE(edit->maxLength(), limit);
        QCOMPARE(d.ComboBox1->count(), kGenreCount + 1);
        QCOMPARE(d.ComboBox1->itemText(0), QString());
        QCOMPARE(d.ComboBox1->itemText(1), QStringLiteral("Acapella"));
        QVERIFY(!d.ComboBox1->isEditable());
        QVERIFY(d.Memo1->isReadOnly());
        QCOMPARE(d.Memo1->focusPolicy(), Qt::NoFocus);
        QCOMPARE(d.Memo1->frameShape(), QFrame::NoFrame);
        QCOMPARE(d.Memo1->palette().color(QPalette::Base), d.palette().color(QPalette::Window));
        QVERIFY(d.Button1->isDefault());
        QCOMPARE(d.Button1->text(), QStringLiteral("&Save"));
        QCOMPARE(d.Button2->text(), QStringLiteral("Canc&el"));
        for (const char* name : {"Label7", "Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "Edit6", "ComboBox1",
                                 "Memo1", "Button1", "Button2"})
            QVERIFY2(d.findChild<QWidget*>(QLatin1String(name)), name);

        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QCOMPARE(d.minimumSize(), d.maximumSize());
        d.Label7->setText(QString(300, QLatin1Char('x'))); // a long name does not widen the window
        QApplication::processEvents();
        QCOMPARE(d.size(), d.minimumSize());
        d.reject();
    }

    // Focus on showing, the Tab chain and the labels' accelerators.
    void keyboard() {
        TForm2& d = *dialog_;
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QCOMPARE(QApplication::focusWidget(), d.Edit1);
        QStringList chain;
        for (int i = 0; i < 9; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            chain << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(chain, QStringList({"Edit2", "Edit3", "Edit4", "ComboBox1", "Edit5", "Button1", "Button2",
                                     "Edit6", "Edit1"}));
        const QList<QPair<Qt::Key, QWidget*>> accelerators = {
            {Qt::Key_K, d.Edit6}, {Qt::Key_T, d.Edit1},     {Qt::Key_A, d.Edit2}, {Qt::Key_B, d.Edit3},
            {Qt::Key_Y, d.Edit4}, {Qt::Key_G, d.ComboBox1}, {Qt::Key_C, d.Edit5}};
        for (const auto& [key, field] : accelerators) {
            QTest::keyClick(&d, key, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), field);
        }
        d.reject();

        // With Title disabled (as a prompt of Tag files leaves it), Artist gets the focus.
        d.setFieldEnabled(d.Edit1, false);
        QCOMPARE(d.Edit1->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Button));
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QCOMPARE(QApplication::focusWidget(), d.Edit2);
        d.reject();
    }

    void nothingSelected() {
        write(QStringLiteral("a.mp3"), body());
        FakeSelection files({"a.mp3"}, {false});
        DialogPrompts prompts;
        EditTags(files, *dialog_, prompts);
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
        for (QWidget* field : dialog_->inputFields())
            dialog_->setFieldEnabled(field, false);
        FakeSelection files({"a.mp3", "b.mp3", "d.mp3", "c.mp3"}, {true, true, false, true});
        DialogPrompts prompts;
        const QColor base = QApplication::palette().color(QPalette::Base);
        prompts.steps = {[&](TForm2& d) {
                             for (QWidget* field : d.inputFields()) {
                                 QVERIFY(field->isEnabled());
                                 QCOMPARE(field->palette().color(QPalette::Base), base);
                             }
                             QCOMPARE(QApplication::focusWidget(), d.Edit1);
                             save(d);
                         },
                         cancel, save};
        EditTags(files, *dialog_, prompts);

        QVERIFY(!prompts.leftOpen);
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
            << tagged << "Edit6"
            << "-1"
            << "3"
            << "Rock" << tagBytes(makeTag("Song", "Band", "Album", "2001", "note", 255, 17));
        QTest::newRow("track not a number gives 0")
            << tagged << "Edit6"
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
            << tagged << "Edit1"
            << " \t New Song  "
            << "3"
            << "Rock" << tagBytes(makeTag("New Song", "Band", "Album", "2001", "note", 3, 17));
        QTest::newRow("comment trimmed")
            << tagged << "Edit5"
            << "  x "
            << "3"
            << "Rock" << tagBytes(makeTag("Song", "Band", "Album", "2001", "x", 3, 17));
        QTest::newRow("year keeps its space")
            << tagged << "Edit4"
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
        prompts.steps = {[&](TForm2& d) {
            if (!field.isEmpty()) {
                auto* edit = d.findChild<QLineEdit*>(field);
                edit->clear();
                QTest::keyClicks(edit, typed);
            }
            save(d);
        }};
        EditTags(files, *dialog_, prompts);

        QVERIFY(!prompts.leftOpen);
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown[0].track, shownTrack);
        QCOMPARE(prompts.shown[0].genre, shownGenre);
        QCOMPARE(read(QStringLiteral("f.mp3")), body() + newTag); // grows by 128 only when it had no tag
        if (field == QLatin1String("Edit1"))
            QCOMPARE(dialog_->Edit1->text(), QStringLiteral("New Song")); // the trimmed text is shown back
    }

    void escapeWritesNothing_data() {
        QTest::addColumn<QString>("field");
        QTest::newRow("Title") << "Edit1";
        QTest::newRow("Genre") << "ComboBox1";
        QTest::newRow("Track") << "Edit6";
        QTest::newRow("Save button") << "Button1";
    }
    void escapeWritesNothing() {
        QFETCH(QString, field);
        const QByteArray old = body() + tagBytes(makeTag("Song", "", "", "", "", 0, 17));
        write(QStringLiteral("f.mp3"), old);
        FakeSelection files({"f.mp3"}, {true});
        DialogPrompts prompts;
        prompts.steps = {[&](TForm2& d) {
            QTest::keyClicks(d.Edit1, QStringLiteral("changed"));
            auto* widget = d.findChild<QWidget*>(field);
            widget->setFocus();
            QCOMPARE(QApplication::focusWidget(), widget);
            QTest::keyClick(widget, Qt::Key_Escape);
            QVERIFY(!d.isVisible());
        }};
        EditTags(files, *dialog_, prompts);
        QVERIFY(!prompts.leftOpen);
        QCOMPARE(read(QStringLiteral("f.mp3")), old);
    }

    void enterSaves() {
        write(QStringLiteral("f.mp3"), body());
        FakeSelection files({"f.mp3"}, {true});
        DialogPrompts prompts;
        prompts.steps = {[](TForm2& d) {
            QTest::keyClicks(d.Edit1, QStringLiteral("Typed"));
            QTest::keyClick(d.Edit1, Qt::Key_Return);
        }};
        EditTags(files, *dialog_, prompts);
        QVERIFY(!prompts.leftOpen);
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
                         [](TForm2& d) {
                             // Another program cuts the file while its dialog is open.
                             QVERIFY(QFile::resize(QStringLiteral("b.mp3"), 50));
                             save(d);
                         },
                         save};
        QString message;
        try {
            EditTags(files, *dialog_, prompts);
        } catch (const CommandError& e) {
            message = e.message();
        }
        QCOMPARE(message, QString::fromLatin1(kReadBeyondEnd));
        QCOMPARE(prompts.shown.size(), 2);
        QCOMPARE(read(QStringLiteral("a.mp3")), body() + tagBytes(makeTag("", "", "", "", "", 0, 255)));
        QCOMPARE(read(QStringLiteral("b.mp3")), body().left(50));
        QCOMPARE(read(QStringLiteral("c.mp3")), body());
        QCOMPARE(files.selected, QList<bool>({false, false, true}));
        QCOMPARE(files.rereads, 0);
    }
};

QTEST_MAIN(TestEditTags)
#include "TestEditTags.moc"
