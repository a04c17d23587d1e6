#include "commands/RenamePlan.h"
#include "support/TestFiles.h"

#include <QTest>
#include <memory>

using namespace testfiles;

// What the renaming commands plan for one file; the commands and the preview share it.
class TestRenamePlan : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WorkDir> dir_;

private slots:
    void init() {
        dir_ = std::make_unique<WorkDir>();
        QVERIFY(dir_->isValid());
    }
    void cleanup() { dir_.reset(); }

    void plan_data() {
        QTest::addColumn<int>("kind"); // RenameRule::Kind
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("tag"); // the file's trailer, or empty
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("planned"); // "<alone>": the file is left alone
        const int fromTags = int(RenameRule::Kind::FromTags);
        const int trim = int(RenameRule::Kind::Trim);
        const int replace = int(RenameRule::Kind::Replace);
        const QByteArray song = tagBytes(makeTag("Song", "Band", "", "", "", 3));
        const QByteArray artistOnly = tagBytes(makeTag("", "Band"));
        QTest::newRow("from tags") << fromTags << "a.mp3" << song << 1 << ""
                                   << ""
                                   << "03. Band - Song.mp3";
        QTest::newRow("from tags, no tag") << fromTags << "a.mp3" << QByteArray() << 1 << ""
                                           << ""
                                           << "<alone>";
        QTest::newRow("from tags, no format") << fromTags << "a.mp3" << song << -1 << ""
                                              << ""
                                              << "<alone>";
        // An artist but no title and no track would name the file ".mp3": hidden, so left alone.
        QTest::newRow("from tags, nothing before .mp3") << fromTags << "a.mp3" << artistOnly << 3 << ""
                                                        << ""
                                                        << "<alone>";
        QTest::newRow("from tags, artist only, format 2") << fromTags << "a.mp3" << artistOnly << 2 << ""
                                                          << ""
                                                          << "Band - .mp3";
        QTest::newRow("trim") << trim << "01_my_song.mp3" << QByteArray() << 0 << ""
                              << ""
                              << "01. My Song.mp3";
        QTest::newRow("trim to a hidden name") << trim << " .x.mp3" << QByteArray() << 3 << ""
                                               << ""
                                               << "<alone>";
        QTest::newRow("replace") << replace << "a b.mp3" << QByteArray() << 0 << " "
                                 << "_"
                                 << "a_b.mp3";
        QTest::newRow("replace to a hidden name") << replace << "x.y.mp3" << QByteArray() << 0 << "x"
                                                  << ""
                                                  << "<alone>";
        QTest::newRow("replace to an empty name") << replace << "x.mp3" << QByteArray() << 0 << "x.mp3"
                                                  << ""
                                                  << "<alone>";
        QTest::newRow("replace, nothing found") << replace << "a.mp3" << QByteArray() << 0 << "z"
                                                << "y"
                                                << "a.mp3";
    }
    void plan() {
        QFETCH(int, kind);
        QFETCH(QString, name);
        QFETCH(QByteArray, tag);
        QFETCH(int, format);
        QFETCH(QString, search);
        QFETCH(QString, replacement);
        QFETCH(QString, planned);
        write(name, audio(300) + tag);
        RenameRule rule = RenameRule::replace(search, replacement);
        rule.kind = RenameRule::Kind(kind);
        rule.format = FilenameFormat(format);
        QCOMPARE(PlanRename(name, rule).value_or(QStringLiteral("<alone>")), planned);
    }
};

QTEST_GUILESS_MAIN(TestRenamePlan)
#include "TestRenamePlan.moc"
