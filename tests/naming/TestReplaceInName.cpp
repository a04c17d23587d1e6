#include "core/TextLength.h"
#include "naming/ReplaceInName.h"

#include <QTest>

namespace {

const QString g = QStringLiteral(u"\U0001F3B8");
const QString esc = QStringLiteral(u"\xDC80"); // a file-name byte that is not UTF-8

} // namespace

class TestReplaceInName : public QObject {
    Q_OBJECT

private slots:
    void replace_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("result"); // "<old>" = the file keeps its old name
        const QString old = QStringLiteral("<old>");
        QTest::newRow("every underscore") << "01_my_song.mp3"
                                          << "_"
                                          << " "
                                          << "01 my song.mp3";
        QTest::newRow("case-sensitive") << "Song.mp3"
                                        << "S"
                                        << "X"
                                        << "Xong.mp3";
        QTest::newRow("no lower-case match") << "song.mp3"
                                             << "S"
                                             << "X"
                                             << "song.mp3";
        QTest::newRow("extension deleted") << "song.mp3"
                                           << "mp3"
                                           << ""
                                           << "song.";
        QTest::newRow("runs of spaces") << "a   b  c.mp3"
                                        << "  "
                                        << " "
                                        << "a b c.mp3";
        QTest::newRow("empty search") << "song.mp3"
                                      << ""
                                      << "x"
                                      << "song.mp3";
        QTest::newRow("not found") << "song.mp3"
                                   << "xyz"
                                   << "xyzxyz"
                                   << "song.mp3";
        QTest::newRow("everything deleted") << "aaaa"
                                            << "a"
                                            << ""
                                            << "";
        QTest::newRow("produced text matched again") << "aab.mp3"
                                                     << "ab"
                                                     << "b"
                                                     << "b.mp3";
        QTest::newRow("same length ends") << "aaabbb.mp3"
                                          << "ab"
                                          << "ba"
                                          << "bbbaaa.mp3";
        QTest::newRow("same length, one step") << "song.mp3"
                                               << "mp3"
                                               << "ogg"
                                               << "song.ogg";
        QTest::newRow("blanks around hyphens") << "a-b-c.mp3"
                                               << "-"
                                               << " - " << old; // holds the search
        QTest::newRow("grows once per match") << "a_b_c.mp3"
                                              << "_"
                                              << " + "
                                              << "a + b + c.mp3";
        QTest::newRow("replacement contains search") << "song.mp3"
                                                     << "o"
                                                     << "oo" << old;
        QTest::newRow("same text") << "song.mp3"
                                   << "song"
                                   << "song" << old;
        // "aab" -> "abbaa" -> "bbaabaa" -> ...: each replacement makes a new match before it.
        QTest::newRow("grows without end") << "aab.mp3"
                                           << "ab"
                                           << "bbaa" << old;
        // Only whole characters match: half of a pair is never found inside that pair.
        QTest::newRow("emoji") << g + "x" + g + ".mp3" << g << "_"
                               << "_x_.mp3";
        QTest::newRow("low half of a pair") << "a" + g + ".mp3" << g.right(1) << "_"
                                            << "a" + g + ".mp3";
        QTest::newRow("high half of a pair") << g + ".mp3" << g.left(1) << "" << g + ".mp3";
        QTest::newRow("escaped byte") << "a" + esc + "b.mp3" << esc << "_"
                                      << "a_b.mp3";
        // U+10080 is the pair D800 DC80, whose low half has the escaped byte's code.
        QTest::newRow("escaped byte beside a pair") << QStringLiteral(u"\U00010080") + esc + ".mp3" << esc
                                                    << "_" << QStringLiteral(u"\U00010080_.mp3");
        QTest::newRow("emoji into emoji") << "a_b.mp3"
                                          << "_" << g + g << "a" + g + g + "b.mp3";
    }
    void replace() {
        QFETCH(QString, name);
        QFETCH(QString, search);
        QFETCH(QString, replacement);
        QFETCH(QString, result);
        QCOMPARE(ReplaceInName(name, search, replacement).value_or(QStringLiteral("<old>")), result);
    }

    // A growing replacement that ends is taken up to the limit, and refused past it.
    void lengthLimit() {
        const QString name = QString(84, QLatin1Char('_')) + QStringLiteral(".mp"); // 87 characters
        QCOMPARE(ReplaceInName(name, QStringLiteral("_"), QStringLiteral("ab"))->size(), 171);
        QCOMPARE(ReplaceInName(name, QStringLiteral("_"), QStringLiteral("abc"))->size(), 255);
        QVERIFY(!ReplaceInName(name + QLatin1Char('3'), QStringLiteral("_"), QStringLiteral("abc")));
    }

    // The limit counts characters, whichever way the UTF-16 length goes.
    void lengthLimitCountsCharacters_data() {
        QTest::addColumn<QString>("name"); // ".mp" is added to make 255, ".mp3" to make 256
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("replacement");
        QTest::newRow("longer in units and characters") << QString(84, QLatin1Char('_')) << "_" << g + g + g;
        QTest::newRow("shorter in units, longer in characters")
            << QString(g + g).repeated(84) << g + g << "abc";
        QTest::newRow("same units, longer in characters") << QString(g).repeated(126) << g << "ab";
    }
    void lengthLimitCountsCharacters() {
        QFETCH(QString, name);
        QFETCH(QString, search);
        QFETCH(QString, replacement);
        const std::optional<QString> fits = ReplaceInName(name + ".mp", search, replacement);
        QVERIFY(fits);
        QCOMPARE(CharCount(*fits), 255);
        QVERIFY(!ReplaceInName(name + ".mp3", search, replacement));
    }

    // Names of one length that would cycle are recognised; ones that end give the rule's result.
    void sameLengthAgreesWithTheRule_data() {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("replacement");
        QTest::newRow("ab ba") << "ab"
                               << "ba";
        QTest::newRow("aab aba") << "aab"
                                 << "aba";
        QTest::newRow("ab bb") << "ab"
                               << "bb";
        QTest::newRow("aba bab") << "aba"
                                 << "bab";
    }
    void sameLengthAgreesWithTheRule() {
        QFETCH(QString, search);
        QFETCH(QString, replacement);
        // Every name of up to 10 letters a and b: the rule, run with a step limit far above
        // what a name of that length can need without repeating, must agree.
        for (int length = 1; length <= 10; ++length) {
            for (int bits = 0; bits < (1 << length); ++bits) {
                QString name;
                for (int i = 0; i < length; ++i)
                    name += (bits >> i & 1) ? QLatin1Char('b') : QLatin1Char('a');
                QString s = name;
                int steps = 0;
                for (qsizetype p; (p = s.indexOf(search)) >= 0 && steps <= (1 << length); ++steps)
                    s.replace(p, search.size(), replacement);
                const std::optional<QString> got = ReplaceInName(name, search, replacement);
                if (steps > (1 << length))
                    QVERIFY2(!got, qPrintable(name));
                else
                    QCOMPARE(got.value_or(QStringLiteral("<old>")), s);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestReplaceInName)
#include "TestReplaceInName.moc"
