#include "core/Directory.h"
#include "core/FileName.h"

#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

// Names go from the file system's bytes to a QString and back without loss, whatever the bytes.
namespace {

// Text with the stand-ins for undecodable bytes: each `escaped` byte b becomes U+DC00 + b.
QString withEscapes(const char* before, std::initializer_list<unsigned char> escaped,
                    const char* after = "") {
    QString s = QString::fromUtf8(before);
    for (unsigned char b : escaped)
        s += QChar(char16_t(0xDC00 + b));
    return s + QString::fromUtf8(after);
}

} // namespace

class TestFileName : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("ascii") << QByteArray("01. Song.mp3") << QStringLiteral("01. Song.mp3");
        QTest::newRow("two-byte") << QByteArray("caf\xc3\xa9.mp3") << QStringLiteral("caf\u00e9.mp3");
        QTest::newRow("three-byte") << QByteArray("\xe2\x82\xac.mp3") << QStringLiteral("\u20ac.mp3");
        QTest::newRow("four-byte") << QByteArray("\xf0\x9f\x8e\xb5.mp3")
                                   << QString::fromUcs4(U"\U0001F3B5.mp3");
        // Bytes that are no UTF-8 each become a character of their own.
        QTest::newRow("latin-1 byte") << QByteArray("caf\xe9.mp3") << withEscapes("caf", {0xE9}, ".mp3");
        QTest::newRow("cut sequence") << QByteArray("a\xe2\x82") << withEscapes("a", {0xE2, 0x82});
        QTest::newRow("encoded surrogate")
            << QByteArray("\xed\xa0\x80") << withEscapes("", {0xED, 0xA0, 0x80});
    }
    void roundTrip() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, decoded);
        QCOMPARE(DecodeFileName(bytes), decoded);
        QCOMPARE(EncodeFileName(decoded), bytes);
    }

    // A lone surrogate cannot come from a name on disk; it is written as U+FFFD.
    void straySurrogate() {
        const QString name = QStringLiteral("a") + QChar(char16_t(0xD800)) + QStringLiteral("b");
        QCOMPARE(EncodeFileName(name), QByteArray("a\xef\xbf\xbd"
                                                  "b"));
    }

    // A folder is listed with letter case aside, then code unit by code unit: plain ASCII names
    // are sorted by a lower-cased copy, every other pair as before, and the two ways agree where
    // they meet (letters that fold to ASCII, names that are not UTF-8).
    void listingOrder() {
        QTemporaryDir dir;
        const QList<QByteArray> names{"b.mp3",
                                      "B.mp3",
                                      "a.mp3",
                                      "A B.mp3",
                                      "a_b.mp3",
                                      "Z.mp3",
                                      "_x.mp3",
                                      "10.mp3",
                                      "9.mp3",
                                      "k.mp3",
                                      "K.mp3",
                                      "\xe2\x84\xaa.mp3" /* Kelvin */,
                                      "\xc5\xbf.mp3" /* long s */,
                                      "s.mp3",
                                      "S.mp3",
                                      "\xc3\xa4.mp3",
                                      "\xc3\x84.mp3",
                                      "\xf0\x9f\x98\x80.mp3",
                                      "\xff.mp3",
                                      "x\xfe.mp3",
                                      "[x].mp3",
                                      "{x}.mp3",
                                      "~.mp3",
                                      "ab.MP3"};
        for (const QByteArray& name : names) {
            const int fd = ::open((QFile::encodeName(dir.path()) + '/' + name).constData(),
                                  O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        QStringList expected;
        for (const QByteArray& name : names)
            expected << DecodeFileName(name);
        std::sort(expected.begin(), expected.end(), [](const QString& a, const QString& b) {
            const int c = QString::compare(a, b, Qt::CaseInsensitive);
            return c != 0 ? c < 0 : a < b;
        });
        QCOMPARE(ListDirectory(DecodeFileName(QFile::encodeName(dir.path())), EntryKind::Mp3File), expected);
    }
};

QTEST_GUILESS_MAIN(TestFileName)
#include "TestFileName.moc"
