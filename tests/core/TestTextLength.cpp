#include "core/TextLength.h"

#include <QTest>

namespace {

const QString kGuitar = QStringLiteral(u"\U0001F3B8"); // one character, two UTF-16 units

} // namespace

class TestTextLength : public QObject {
    Q_OBJECT

private slots:
    // Counting and cutting: a pair is one character, and so is a lone surrogate (an escaped
    // file-name byte); no cut falls inside a pair.
    void countAndCut_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("left3");
        QTest::addColumn<QString>("mid1to2"); // characters 1 and 2, counted from 0
        QTest::addColumn<QString>("chop1");
        const QString g = kGuitar;
        QTest::newRow("plain") << "abcd" << 4 << "abc"
                               << "bc"
                               << "abc";
        QTest::newRow("empty") << "" << 0 << ""
                               << ""
                               << "";
        QTest::newRow("pairs") << g + "a" + g + "b" << 4 << g + "a" + g << "a" + g << g + "a" + g;
        QTest::newRow("only pairs") << g + g + g + g << 4 << g + g + g << g + g << g + g + g;
        QTest::newRow("escaped bytes") << QStringLiteral(u"\xDC80\xDCFF"
                                                         "ab")
                                       << 4
                                       << QStringLiteral(u"\xDC80\xDCFF"
                                                         "a")
                                       << QStringLiteral(u"\xDCFF"
                                                         "a")
                                       << QStringLiteral(u"\xDC80\xDCFF"
                                                         "a");
        // U+10080 is the pair D800 DC80: its low half looks like an escaped byte but belongs to it.
        QTest::newRow("pair before an escape")
            << QStringLiteral(u"\U00010080\xDC80x") << 3 << QStringLiteral(u"\U00010080\xDC80x")
            << QStringLiteral(u"\xDC80x") << QStringLiteral(u"\U00010080\xDC80");
        QTest::newRow("short") << g << 1 << g << ""
                               << "";
    }
    void countAndCut() {
        QFETCH(QString, text);
        QFETCH(int, count);
        QFETCH(QString, left3);
        QFETCH(QString, mid1to2);
        QFETCH(QString, chop1);
        QCOMPARE(CharCount(text), count);
        QCOMPARE(LeftChars(text, 3), left3);
        QCOMPARE(MidChars(text, 1, 2), mid1to2);
        QCOMPARE(ChopChars(text, 1), chop1);
        QCOMPARE(MidChars(text, 1), text.mid(UnitOffset(text, 1)));
        QCOMPARE(MidChars(text, count), QString());
        QCOMPARE(LeftChars(text, 0), QString());
        for (int n = 0; n <= count + 1; ++n) {
            QVERIFY(!HasStraySurrogate(LeftChars(text, n)));
            QVERIFY(!HasStraySurrogate(MidChars(text, n)));
            QCOMPARE(CharPosition(text, UnitOffset(text, n)), std::min(n, count));
        }
    }

    void positions() {
        const QString g = kGuitar;
        QCOMPARE(CharPosition(g + "a", 1), 0); // inside the pair: the pair's position
        QCOMPARE(CharPosition(g + "a", 2), 1);
        QCOMPARE(UnitOffset(g + g, 1), 2);
        QCOMPARE(UnitOffset(g + g, 5), 4);
    }

    void wholeCharacterSearch_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("offset");
        const QString g = kGuitar;
        QTest::newRow("plain") << "a - b - c"
                               << " - " << 1;
        QTest::newRow("empty never occurs") << "abc"
                                            << "" << -1;
        QTest::newRow("a pair") << "a" + g << g << 1;
        QTest::newRow("low half of a pair") << "a" + g << g.right(1) << -1;
        QTest::newRow("high half of a pair") << g + "x" << g.left(1) << -1;
        QTest::newRow("escaped byte, not a pair's half")
            << QStringLiteral(u"\U00010080 \xDC80") << QStringLiteral(u"\xDC80") << 3;
    }
    void wholeCharacterSearch() {
        QFETCH(QString, text);
        QFETCH(QString, what);
        QFETCH(int, offset);
        QCOMPARE(IndexOfChars(text, what), offset);
    }

    void straySurrogates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("stray");
        QTest::newRow("plain") << "abc" << false;
        QTest::newRow("pair") << kGuitar << false;
        QTest::newRow("escaped bytes") << QStringLiteral(u"\xDC80x\xDCFF") << false;
        QTest::newRow("high half") << kGuitar.left(1) << true;
        QTest::newRow("low half") << "x" + kGuitar.right(1) << true;
        QTest::newRow("low surrogate below the escapes") << QStringLiteral(u"\xDC7F") << true;
    }
    void straySurrogates() {
        QFETCH(QString, text);
        QFETCH(bool, stray);
        QCOMPARE(HasStraySurrogate(text), stray);
    }
};

QTEST_GUILESS_MAIN(TestTextLength)
#include "TestTextLength.moc"
