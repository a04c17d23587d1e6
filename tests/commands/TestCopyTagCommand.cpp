#include "commands/CopyTagCommand.h"
#include "core/Batch.h"
#include "support/PeerTags.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

using namespace testfiles;

namespace {

// A file list of bare names in the working directory.
class FakeList : public FileSelection {
public:
    struct Entry {
        QString name;
        bool selected;
    };
    std::vector<Entry> entries;
    int rereads = 0;

    int count() const override { return int(entries.size()); }
    const QString& name(int index) const override { return entries[index].name; }
    bool isSelected(int index) const override { return entries[index].selected; }
    void deselect(int index) override { entries[index].selected = false; }
    void reselect(int index) override { entries[index].selected = true; }
    void reread() override {
        ++rereads;
        for (Entry& entry : entries)
            entry.selected = false;
    }
};

// Longer than the stream scan window, as songs are.
constexpr int kAudioSize = 12000;

} // namespace

class TestCopyTagCommand : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString cwd_;
    TagFieldValues fields_;
    OpenFields open_;
    ScriptedPrompts prompts_;

    // Copy tag as the window runs it: the command, then what it found into the open fields.
    void copyTag(FileSelection& list, bool useId3v2 = false) {
        const CopiedTag copied = CopyTagCommand({list, prompts_}, useId3v2);
        if (copied.tag)
            fields_ = CopiedInto(fields_, *copied.tag, open_);
        QVERIFY(!copied.report.error);
    }

    void tagged(const char* name, const ID3Tag& tag) {
        write(dir_.filePath(QString::fromLatin1(name)), audio(kAudioSize) + tagBytes(tag));
    }
    void untagged(const char* name) { write(dir_.filePath(QString::fromLatin1(name)), audio(kAudioSize)); }

    QStringList shown() const {
        return {fields_.artist, fields_.album, fields_.year, fields_.comment, GenreName(fields_.genre)};
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        cwd_ = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir_.path()));
        tagged("a.mp3", makeTag("Song A", "Band A", "Album A", "2001", "comment A", 1, 17));
        tagged("b.mp3", makeTag("Song B", "Band B", "Album B", "2002", "comment B", 2, 0));
        tagged("genre255.mp3", makeTag("T", "Band", "Album", "1999", "c", 3, 255));
        tagged("genre144.mp3", makeTag("T", "Band", "Album", "1999", "c", 3, 144));
        tagged("genre145.mp3", makeTag("T", "Band", "Album", "1999", "c", 3, 145));
        tagged("empty.mp3", makeTag("Only a title"));
        untagged("plain.mp3");
        write(dir_.filePath(QStringLiteral("short.mp3")), audio(5000) + tagBytes(makeTag("S", "Short")));
        copyFixture(QStringLiteral("peer-id3v1.mp3"), dir_.path());
    }
    void cleanupTestCase() { QDir::setCurrent(cwd_); }

    void init() {
        fields_ = {};
        fields_.genre = GenreIndex(QString()); // the empty entry
        open_ = {};
    }

    void copiesTheTagOfAPeerTool() {
        FakeList list;
        list.entries = {{"cbr.mp3", false}, {"peer-id3v1.mp3", true}};
        copyTag(list);
        QCOMPARE(shown(), (QStringList{"Some Band", "First Album", "2004", "a comment", "Rock"}));
        QCOMPARE(list.rereads, 1);
        QVERIFY(!list.entries[1].selected);
    }

    void disabledFieldIsLeftAlone_data() {
        QTest::addColumn<int>("field"); // 0 artist, 1 album
        QTest::addColumn<QString>("before");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("Album mark off") << 1 << "" << QStringList{"Band A", "", "2001", "comment A", "Rock"};
        QTest::newRow("artist from the filename")
            << 0 << "kept" << QStringList{"kept", "Album A", "2001", "comment A", "Rock"};
    }
    void disabledFieldIsLeftAlone() {
        QFETCH(int, field);
        QFETCH(QString, before);
        QFETCH(QStringList, after);
        (field == 0 ? fields_.artist : fields_.album) = before;
        (field == 0 ? open_.artist : open_.album) = false;
        FakeList list;
        list.entries = {{"a.mp3", true}};
        copyTag(list);
        QCOMPARE(shown(), after);
    }

    void disabledGenreIsLeftAlone() {
        open_.genre = false;
        FakeList list;
        list.entries = {{"a.mp3", true}};
        copyTag(list);
        QCOMPARE(fields_.genre, kNoGenre);
        QCOMPARE(fields_.artist, QStringLiteral("Band A"));
    }

    void genreEntry_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("entry");
        QTest::newRow("17") << "a.mp3"
                            << "Rock";
        QTest::newRow("0") << "b.mp3"
                           << "Blues";
        QTest::newRow("144") << "genre144.mp3"
                             << "Trash Metal";
        QTest::newRow("145") << "genre145.mp3"
                             << "";
        QTest::newRow("255") << "genre255.mp3"
                             << "";
    }
    void genreEntry() {
        QFETCH(QString, file);
        QFETCH(QString, entry);
        fields_.genre = 80; // something else first
        FakeList list;
        list.entries = {{file, true}};
        copyTag(list);
        QCOMPARE(GenreName(fields_.genre), entry);
        if (entry.isEmpty())
            QCOMPARE(fields_.genre, kNoGenre);
    }

    void lastTaggedFileWins_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("selected"); // one letter per entry: 1 selected, 0 not
        QTest::addColumn<QStringList>("after");
        const QStringList a{"Band A", "Album A", "2001", "comment A", "Rock"};
        const QStringList b{"Band B", "Album B", "2002", "comment B", "Blues"};
        QTest::newRow("two tagged: the later one") << QStringList{"a.mp3", "b.mp3"} << "11" << b;
        QTest::newRow("untagged after keeps the earlier") << QStringList{"a.mp3", "plain.mp3"} << "11" << a;
        QTest::newRow("unselected later file not read") << QStringList{"a.mp3", "b.mp3"} << "10" << a;
        QTest::newRow("missing file skipped") << QStringList{"b.mp3", "gone.mp3"} << "11" << b;
        QTest::newRow("file shorter than the scan window")
            << QStringList{"a.mp3", "short.mp3"} << "11" << QStringList{"Short", "", "", "", ""};
        QTest::newRow("empty texts copied too")
            << QStringList{"a.mp3", "empty.mp3"} << "11" << QStringList{"", "", "", "", ""};
    }
    void lastTaggedFileWins() {
        QFETCH(QStringList, names);
        QFETCH(QString, selected);
        QFETCH(QStringList, after);
        FakeList list;
        for (int i = 0; i < names.size(); ++i)
            list.entries.push_back({names[i], selected[i] == QLatin1Char('1')});
        copyTag(list);
        QCOMPARE(shown(), after);
        QCOMPARE(list.rereads, 1);
    }

    // With ID3v2 tags used, a file's ID3v2 tag (written here by mutagen) is copied when it has
    // one, its texts whole and its genre found by name; else, and always with the setting off,
    // its ID3v1 tag as above.
    void copiesTheTagPlayersShow_data() {
        if (!haveMutagen())
            QSKIP("/usr/bin/python3 has no mutagen (python3-mutagen)");
        const QByteArray v2 =
            mutagenId3v2({"Song", "Band v2", "Album v2", "2004", "comment v2", "3/12", "Blues"});
        const QByteArray v1 = tagBytes(makeTag("Song", "Band v1", "Album v1", "2001", "comment v1", 1, 17));
        write(dir_.filePath(QStringLiteral("v2.mp3")), v2 + audio(kAudioSize));
        write(dir_.filePath(QStringLiteral("v2v1.mp3")), v2 + audio(kAudioSize) + v1);
        write(dir_.filePath(QStringLiteral("v1.mp3")), audio(kAudioSize) + v1);
        // Longer than the ID3v1 fields, not Latin, a genre Morwick's list does not have.
        write(dir_.filePath(QStringLiteral("long.mp3")),
              mutagenId3v2({{},
                            QStringLiteral(u"Ансамбль «Северное сияние» и друзья"),
                            QStringLiteral(u"Песни о ночных реках и далёких звёздах"),
                            QStringLiteral("2003-07-01"),
                            QStringLiteral(u"Записано вживую в Петрозаводске, зима"),
                            {},
                            QStringLiteral("Indie Folk")},
                           3) +
                  audio(kAudioSize));

        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("useId3v2");
        QTest::addColumn<QStringList>("after");
        const QStringList fromV2{"Band v2", "Album v2", "2004", "comment v2", "Blues"};
        const QStringList fromV1{"Band v1", "Album v1", "2001", "comment v1", "Rock"};
        QTest::newRow("ID3v2 only, on") << "v2.mp3" << true << fromV2;
        QTest::newRow("ID3v2 only, off: no tag, fields kept")
            << "v2.mp3" << false << QStringList{"typed", "", "", "", GenreName(80)};
        QTest::newRow("both, on") << "v2v1.mp3" << true << fromV2;
        QTest::newRow("both, off") << "v2v1.mp3" << false << fromV1;
        QTest::newRow("ID3v1 only, on") << "v1.mp3" << true << fromV1;
        QTest::newRow("long non-Latin texts, whole")
            << "long.mp3" << true
            << QStringList{QStringLiteral(u"Ансамбль «Северное сияние» и друзья"),
                           QStringLiteral(u"Песни о ночных реках и далёких звёздах"), "2003-07-01",
                           QStringLiteral(u"Записано вживую в Петрозаводске, зима"), ""};
    }
    void copiesTheTagPlayersShow() {
        QFETCH(QString, file);
        QFETCH(bool, useId3v2);
        QFETCH(QStringList, after);
        fields_.artist = QStringLiteral("typed");
        fields_.genre = 80; // in none of the files
        FakeList list;
        list.entries = {{file, true}};
        copyTag(list, useId3v2);
        QCOMPARE(shown(), after);
        QCOMPARE(list.rereads, 1);
    }

    void nothingTaggedOrNothingSelected() {
        fields_.artist = QStringLiteral("typed");
        fields_.genre = 17;
        FakeList list;
        list.entries = {{"plain.mp3", true}};
        copyTag(list);
        QCOMPARE(shown(), (QStringList{"typed", "", "", "", "Rock"}));
        QCOMPARE(list.rereads, 1);

        list.entries = {{"a.mp3", false}};
        copyTag(list);
        QCOMPARE(fields_.artist, QStringLiteral("typed"));
        QCOMPARE(list.rereads, 1); // nothing selected: not even a re-read
    }

    void noFileChanges() {
        QDir dir(dir_.path());
        const QStringList names = dir.entryList(QDir::Files, QDir::Name);
        QList<QByteArray> before;
        for (const QString& name : names)
            before.append(read(dir.filePath(name)));
        FakeList list;
        for (const QString& name : names)
            list.entries.push_back({name, true});
        copyTag(list);
        QCOMPARE(dir.entryList(QDir::Files, QDir::Name), names);
        for (int i = 0; i < names.size(); ++i)
            QVERIFY2(read(dir.filePath(names[i])) == before[i], qPrintable(names[i]));
    }
};

QTEST_MAIN(TestCopyTagCommand)
#include "TestCopyTagCommand.moc"
