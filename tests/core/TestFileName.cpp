#include "core/FileName.h"

#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestFileName)
#include "TestFileName.moc"
