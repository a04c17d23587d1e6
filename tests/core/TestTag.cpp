#include "core/AnsiText.h"
#include "core/Id3Tag.h"
#include "core/IoError.h"
#include "core/TagFile.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace testfiles;

class TestTag : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

private slots:
    void textFieldSetters() {
        ID3Tag tag{};
        std::memset(tag.title, 'x', kTextWidth);
        SetTextField(QString(31, QLatin1Char('a')) + QLatin1Char('b'), tag.title);
        QCOMPARE(QByteArray(tag.title, kTextWidth), QByteArray(30, 'a'));
        SetTextField(QString(), tag.title);
        QCOMPARE(QByteArray(tag.title, kTextWidth), QByteArray(30, '\0'));
        SetTextField(QStringLiteral(" Song "), tag.artist);
        QCOMPARE(QByteArray(tag.artist, 7), QByteArray(" Song \0", 7)); // no trimming

        std::memset(tag.comment, 'x', kCommentWidth);
        SetCommentField(QString(40, QLatin1Char('c')), tag.comment);
        QCOMPARE(QByteArray(tag.comment, kCommentWidth), QByteArray(28, 'c'));
        QCOMPARE(tag.zero, uint8_t(0)); // the comment never spills into byte 125

        const auto year = YearField(QStringLiteral("98"));
        QCOMPARE(QByteArray(year.data(), 4), QByteArray("98\0\0", 4));
        QCOMPARE(QByteArray(YearField(QStringLiteral("20045")).data(), 4), QByteArray("2004"));
    }

    // The setters keep the first 30 (28, 4) characters, not UTF-16 units: an emoji is one
    // character and becomes one "?", and an escaped file-name byte is one character too.
    void settersCountCharacters_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("title");
        QTest::addColumn<QByteArray>("comment");
        QTest::addColumn<QByteArray>("year");
        const QString emoji = QStringLiteral(u"\U0001F600");
        auto repeat = [](const QString& t, int n) {
            QString out;
            for (int i = 0; i < n; ++i)
                out += t;
            return out;
        };
        const QByteArray q30(30, '?');
        QTest::newRow("30 emoji") << repeat(emoji, 30) << q30 << QByteArray(28, '?') << QByteArray("????");
        QTest::newRow("31 emoji") << repeat(emoji, 31) << q30 << QByteArray(28, '?') << QByteArray("????");
        QTest::newRow("emoji at the cut")
            << QString(29, QLatin1Char('a')) + emoji + QLatin1Char('b') << QByteArray(29, 'a') + '?'
            << QByteArray(28, 'a') << QByteArray("aaaa");
        QTest::newRow("year after an emoji")
            << emoji + QStringLiteral("1999") << QByteArray("?1999") + QByteArray(25, '\0')
            << QByteArray("?1999") + QByteArray(23, '\0') << QByteArray("?199");
        QTest::newRow("escaped bytes")
            << QString(29, QLatin1Char('a')) + QStringLiteral(u"\xDC80\xDC81") << QByteArray(29, 'a') + '?'
            << QByteArray(28, 'a') << QByteArray("aaaa");
    }
    void settersCountCharacters() {
        QFETCH(QString, text);
        QFETCH(QByteArray, title);
        QFETCH(QByteArray, comment);
        QFETCH(QByteArray, year);
        ID3Tag tag{};
        SetTextField(text, tag.title);
        QCOMPARE(QByteArray(tag.title, kTextWidth), title);
        SetCommentField(text, tag.comment);
        QCOMPARE(QByteArray(tag.comment, kCommentWidth), comment);
        QCOMPARE(QByteArray(YearField(text).data(), kYearWidth), year);
    }

    void genreIndex_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index");
        QTest::newRow("first") << "Blues" << 0;
        QTest::newRow("Rock") << "Rock" << 17;
        QTest::newRow("odd spelling") << "Psychadelic" << 67;
        QTest::newRow("odd spelling 2") << "Rhytmic Soul" << 118;
        QTest::newRow("last") << "Trash Metal" << 144;
        QTest::newRow("lower case") << "rock" << 255;
        QTest::newRow("empty") << "" << 255;
        QTest::newRow("from longer lists") << "Thrash Metal" << 255;
        QTest::newRow("unknown") << "Polka Punk" << 255;
    }
    void genreIndex() {
        QFETCH(QString, name);
        QFETCH(int, index);
        QCOMPARE(GenreIndex(name), index);
        if (index != 255)
            QCOMPARE(GenreName(index), name);
    }

    void genreTable() {
        QCOMPARE(int(GenreNames.size()), 145);
        QSet<QString> seen;
        for (const char* name : GenreNames)
            seen.insert(QString::fromLatin1(name));
        QCOMPARE(seen.size(), 145);
        QCOMPARE(GenreName(145), QString());
        QCOMPARE(GenreName(255), QString());
    }

    void readBackTrim_data() {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("text");
        QTest::newRow("trailing blanks and zeros") << QByteArray("Song  \0\0", 8) << "Song";
        QTest::newRow("leading blanks") << QByteArray("  Song") << "Song";
        QTest::newRow("control characters") << QByteArray("\t\x01Song\r\n") << "Song";
        QTest::newRow("zero byte inside stays")
            << QByteArray("A\0B\0\0", 5) << QString::fromLatin1("A\0B", 3);
        QTest::newRow("no-break space stays")
            << QByteArray("\xa0Song\xa0") << QString::fromUtf8("\u00a0Song\u00a0");
        QTest::newRow("all zero") << QByteArray(30, '\0') << "";
    }
    void readBackTrim() {
        QFETCH(QByteArray, field);
        QFETCH(QString, text);
        QCOMPARE(ReadTextField(field.constData(), int(field.size())), text);
    }

    void windows1252_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("Nordic and euro")
            << QString::fromUtf8("äöå é €") << QByteArray("\xe4\xf6\xe5 \xe9 \x80")
            << QString::fromUtf8("äöå é €");
        QTest::newRow("transliterated") << QString::fromUtf8("Łódź")
                                        << QByteArray("L\xf3"
                                                      "dz")
                                        << QString::fromUtf8("Lódz");
        QTest::newRow("no Latin form") << QString::fromUtf8("日本") << QByteArray("??") << "??";
        QTest::newRow("outside the BMP") << QString::fromUtf8("a😀b") << QByteArray("a?b") << "a?b";
    }
    void windows1252() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, readBack);
        QCOMPARE(ToAnsi(text), bytes);
        QCOMPARE(FromAnsi(bytes), readBack);
        ID3Tag tag{};
        SetTextField(text, tag.title);
        QCOMPARE(ReadTextField(tag.title), readBack);
    }

    void trimControlOnly() {
        QCOMPARE(TrimControl(QString::fromLatin1("\0 \x1f"
                                                 "a b\x20\x7f",
                                                 8)),
                 QString::fromLatin1("a b \x7f"));
        QCOMPARE(TrimControl(QString::fromUtf8("\u3000x\u3000")), QString::fromUtf8("\u3000x\u3000"));
    }

    // ReadTag then WriteTag on files of each kind: the size after, the trailer after, and
    // whether a trailer was there.
    void readWrite_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("hasTag");
        QTest::addColumn<int>("sizeAfter");
        const QByteArray body = audio(1000);
        ID3Tag v11 = makeTag("Old", "Band", "Album", "1999", "comment", 5, 17);
        ID3Tag v10 = makeTag("Old");
        std::memset(v10.comment, 'c', kCommentWidth);
        v10.zero = 'x';
        v10.track = 'y';
        QByteArray lower = tagBytes(v11);
        lower.replace(0, 3, "tag");
        QTest::newRow("untagged grows") << body << false << 1128;
        QTest::newRow("tagged keeps size") << body + tagBytes(v11) << true << 1128;
        QTest::newRow("ID3v1.0") << body + tagBytes(v10) << true << 1128;
        QTest::newRow("lower-case magic is no tag") << body + lower << false << 1256;
        QTest::newRow("100 bytes") << audio(100) << false << 228;
        QTest::newRow("empty file") << QByteArray() << false << 128;
        QTest::newRow("exactly a tag") << tagBytes(v11) << true << 128;
    }
    void readWrite() {
        QFETCH(QByteArray, content);
        QFETCH(bool, hasTag);
        QFETCH(int, sizeAfter);
        const QString file = path("rw.mp3");
        write(file, content);
        const std::optional<FileTag> read_ = ReadTag(file);
        QVERIFY(read_);
        FileTag tag = *read_;
        QCOMPARE(tag.present, hasTag);
        if (hasTag) {
            QByteArray expected = content.right(kTagSize);
            if (expected[125] != 0)
                expected[126] = 0;
            QCOMPARE(tagBytes(tag.tag), expected);
        } else {
            QByteArray empty(kTagSize, '\0');
            empty[127] = char(255);
            QCOMPARE(tagBytes(tag.tag), empty);
        }
        SetTagMagic(tag.tag);
        SetTextField(QStringLiteral("New"), tag.tag.title);
        const ID3Tag written = tag.tag;
        QVERIFY(WriteTag(file, tag));
        const QByteArray after = read(file);
        QCOMPARE(after.size(), sizeAfter);
        QByteArray expectedTag = tagBytes(written);
        expectedTag[125] = 0;
        QCOMPARE(after.right(kTagSize), expectedTag);
        QCOMPARE(after.left(sizeAfter - kTagSize),
                 content.left(sizeAfter - kTagSize)); // the audio is untouched
    }

    void missingFileChangesNothing() {
        const FileTag tag{makeTag("Keep"), true};
        QVERIFY(!ReadTag(path("missing.mp3")));
        QVERIFY(!WriteTag(path("missing.mp3"), tag));
        QVERIFY(!QFile::exists(path("missing.mp3")));
        // A directory of that name is no file either.
        QVERIFY(QDir(dir_.path()).mkdir(QStringLiteral("dir.mp3")));
        QVERIFY(!ReadTag(path("dir.mp3")));
        QVERIFY(!WriteTag(path("dir.mp3"), tag));
        // Nor is a pipe, which must not hang either call waiting for the other end.
        QVERIFY(::mkfifo(QFile::encodeName(path("pipe.mp3")).constData(), 0644) == 0);
        QVERIFY(!ReadTag(path("pipe.mp3")));
        QVERIFY(!WriteTag(path("pipe.mp3"), tag));
    }

    void readOnlyFileIsWrittenAndStaysWritable() {
        const QString file = path("ro.mp3");
        write(file, audio(500));
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0444) == 0);
        FileTag tag = ReadTag(file).value();
        SetTagMagic(tag.tag);
        QVERIFY(WriteTag(file, tag));
        QCOMPARE(read(file).size(), 628);
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(file).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0644));
    }

    // A write that runs into the file-size limit fails with the runtime's message and leaves
    // the file as it was: no half tag is appended.
    void writeFailureSurfacesAndLeavesFileIntact() {
        const QString file = path("full.mp3");
        const QByteArray content = audio(4000);
        write(file, content);
        FileTag tag = ReadTag(file).value();
        SetTagMagic(tag.tag);
        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = old;
        limited.rlim_cur = 4050;
        setrlimit(RLIMIT_FSIZE, &limited);
        QString message;
        try {
            WriteTag(file, tag);
        } catch (const CommandError& e) {
            message = e.message();
        }
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(message, QStringLiteral("Disk full"));
        QCOMPARE(read(file), content);
    }

    void ioErrorMessages() {
        QCOMPARE(IoErrorMessage(ENOENT), QStringLiteral("File not found"));
        QCOMPARE(IoErrorMessage(EACCES), QStringLiteral("File access denied"));
        QCOMPARE(IoErrorMessage(ENOSPC), QStringLiteral("Disk full"));
        QCOMPARE(IoErrorMessage(EIO), QStringLiteral("I/O error 5"));
    }
};

QTEST_GUILESS_MAIN(TestTag)
#include "TestTag.moc"
