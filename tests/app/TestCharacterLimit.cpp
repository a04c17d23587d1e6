#include "app/dialogs/CharacterLimit.h"
#include "core/TextLength.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kGuitar = QStringLiteral(u"\U0001F3B8");

// One change to a field, done as a person or the program would do it.
void apply(QLineEdit& edit, const QString& action, const QString& text) {
    if (action == QLatin1String("type")) {
        QTest::sendKeyEvent(QTest::Click, &edit, Qt::Key_unknown, text, Qt::NoModifier);
    } else if (action == QLatin1String("insert")) {
        edit.insert(text);
    } else if (action == QLatin1String("paste")) {
        QApplication::clipboard()->setText(text);
        edit.paste();
    } else {
        edit.setText(text);
    }
}

} // namespace

class TestCharacterLimit : public QObject {
    Q_OBJECT

private slots:
    // `before` is in the field, the cursor at `cursor` (units); then the action. Rows of plain
    // text must also give exactly what QLineEdit::setMaxLength gives.
    void limit_data() {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("action"); // type, insert, paste or setText
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("cursorAfter");
        const QString g = kGuitar;
        const QString a30 = QString(30, QLatin1Char('a'));
        const QString g29 = QString(g).repeated(29), g30 = QString(g).repeated(30);

        QTest::newRow("30 letters, 31st typed") << 30 << a30 << 30 << "type"
                                                << "x" << a30 << 30;
        QTest::newRow("29 letters, 30th typed") << 30 << a30.left(29) << 29 << "type"
                                                << "x" << a30.left(29) + "x" << 30;
        QTest::newRow("30th character an emoji") << 30 << g29 << 58 << "type" << g << g30 << 60;
        QTest::newRow("31st character an emoji") << 30 << g30 << 60 << "type" << g << g30 << 60;
        QTest::newRow("31st character typed in the middle") << 30 << g30 << 2 << "type"
                                                            << "x" << g30 << 2;
        QTest::newRow("paste keeps what fits") << 30 << a30.left(27) << 27 << "paste"
                                               << "bcdef" << a30.left(27) + "bcd" << 30;
        QTest::newRow("insert of emoji keeps what fits")
            << 30 << g29.left(54) << 54 << "insert" << g + g + g + g << g30 << 60;
        QTest::newRow("insert in the middle") << 3 << "ab" << 1 << "insert" << g + g << "a" + g + "b" << 3;
        QTest::newRow("insert in the middle, plain") << 5 << "abcd" << 2 << "insert"
                                                     << "xyz"
                                                     << "abxcd" << 3;
        QTest::newRow("insert over a selection") << 4 << "abcd" << -2 << "insert"
                                                 << "xyz"
                                                 << "abxy" << 4;
        QTest::newRow("insert of a repeated letter") << 2 << "ab" << 0 << "insert"
                                                     << "a"
                                                     << "ab" << 0;
        QTest::newRow("setText of 31 letters") << 30 << "" << 0 << "setText" << a30 + "x" << a30 << 30;
        QTest::newRow("setText of 31 emoji") << 30 << "x" << 1 << "setText" << g30 + g << g30 << 60;
        QTest::newRow("setText of 30 emoji") << 30 << "" << 0 << "setText" << g30 << g30 << 60;
        QTest::newRow("setText longer, same start") << 4 << "abcd" << 4 << "setText"
                                                    << "abcdef"
                                                    << "abcd" << 4;
        QTest::newRow("setText longer, same end") << 4 << "cdef" << 4 << "setText"
                                                  << "abcdef"
                                                  << "abcd" << 4;
        QTest::newRow("escaped bytes count once")
            << 3 << QStringLiteral(u"\xDC80\xDC81") << 2 << "insert" << QStringLiteral(u"\xDC82\xDC83")
            << QStringLiteral(u"\xDC80\xDC81\xDC82") << 3;
    }
    void limit() {
        QFETCH(int, limit);
        QFETCH(QString, before);
        QFETCH(int, cursor);
        QFETCH(QString, action);
        QFETCH(QString, text);
        QFETCH(QString, after);
        QFETCH(int, cursorAfter);

        QLineEdit edit;
        edit.setObjectName(QStringLiteral("field"));
        SetMaxCharacters(&edit, limit);
        QCOMPARE(MaxCharacters(&edit), limit);
        QLineEdit plain; // the same field as Qt limits it
        plain.setMaxLength(limit);
        for (QLineEdit* e : {&edit, &plain}) {
            e->setText(before);
            if (cursor < 0)
                e->setSelection(e->text().size(), cursor); // the last -cursor units, selected backwards
            else
                e->setCursorPosition(cursor);
        }

        QSignalSpy edited(&edit, &QLineEdit::textEdited);
        apply(edit, action, text);
        QCOMPARE(edit.text(), after);
        QCOMPARE(edit.cursorPosition(), cursorAfter);
        QVERIFY(CharCount(edit.text()) <= limit);
        QVERIFY(!HasStraySurrogate(edit.text()));
        if (edit.text() == before)
            QCOMPARE(edited.count(), 0); // a refused change is no change

        const bool bmp = CharCount(before + text) == (before + text).size();
        if (bmp) {
            apply(plain, action, text);
            QCOMPARE(edit.text(), plain.text());
            QCOMPARE(edit.cursorPosition(), plain.cursorPosition());
        }
    }

    // A refused keystroke leaves the field's undo history alone.
    void refusedKeystrokeKeepsUndo() {
        QLineEdit edit;
        SetMaxCharacters(&edit, 2);
        QTest::keyClicks(&edit, QStringLiteral("ab"));
        QTest::keyClick(&edit, Qt::Key_C);
        QCOMPARE(edit.text(), QStringLiteral("ab"));
        QVERIFY(edit.isUndoAvailable());
        edit.undo();
        QVERIFY(edit.text().size() < 2);
    }

    // The limit applies to what the field already holds, and can be changed.
    void limitSetOnAFilledField() {
        QLineEdit edit;
        QCOMPARE(MaxCharacters(&edit), -1);
        edit.setMaxLength(10);
        edit.setText(QString(kGuitar).repeated(5));
        SetMaxCharacters(&edit, 4);
        QCOMPARE(edit.text(), QString(kGuitar).repeated(4));
        SetMaxCharacters(&edit, 30);
        QCOMPARE(MaxCharacters(&edit), 30);
        edit.setText(QString(kGuitar).repeated(30)); // the old unit limit of 10 is gone
        QCOMPARE(CharCount(edit.text()), 30);
        QVERIFY(edit.hasAcceptableInput());
    }
};

QTEST_MAIN(TestCharacterLimit)
#include "TestCharacterLimit.moc"
