// The files a command line names, and what a batch did to them: gathered in the window's order,
// each once, and after the batch only the changed ones reported.
#include "cli/CliFiles.h"
#include "core/Directory.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTest>
#include <cstdio>

using namespace testfiles;

class TestCliFiles : public QObject {
    Q_OBJECT

private slots:
    void folderIsListedInTheWindowsOrder() {
        WorkDir dir;
        QVERIFY(dir.isValid());
        for (const char* name : {"b.mp3", "a.mp3", "c.mp3", "notes.txt"})
            write(QString::fromLatin1(name), audio(100));
        const GatheredFiles gathered = GatherFiles({QStringLiteral(".")}, false);
        QCOMPARE(gathered.folders.size(), size_t(1));
        QCOMPARE(gathered.folders.front().names, ListDirectory(QDir::currentPath(), EntryKind::Mp3File));
        QCOMPARE(gathered.folders.front().names.size(), 3);
    }

    // Files named beside their folder count once, in the folder's order; the ones the window
    // would not list come after, in the order given.
    void filesAndTheirFolderTogether() {
        WorkDir dir;
        QVERIFY(dir.isValid());
        for (const char* name : {"b.mp3", "a.mp3", ".hidden.mp3", "notes.txt"})
            write(QString::fromLatin1(name), audio(100));
        const GatheredFiles gathered =
            GatherFiles({QStringLiteral("notes.txt"), QStringLiteral("b.mp3"), QStringLiteral("."),
                         QStringLiteral("b.mp3"), QStringLiteral(".hidden.mp3")},
                        false);
        QCOMPARE(gathered.folders.size(), size_t(1));
        QStringList expected = ListDirectory(QDir::currentPath(), EntryKind::Mp3File);
        expected << QStringLiteral("notes.txt") << QStringLiteral(".hidden.mp3");
        QCOMPARE(gathered.folders.front().names, expected);
    }

    void onlyChangedFilesAreReported() {
        WorkDir dir;
        QVERIFY(dir.isValid());
        const QByteArray song = audio(300) + tagBytes(makeTag("Song"));
        for (const char* name : {"kept.mp3", "tagged.mp3", "renamed.mp3"})
            write(QString::fromLatin1(name), song);
        FolderSelection files(
            {QStringLiteral("kept.mp3"), QStringLiteral("tagged.mp3"), QStringLiteral("renamed.mp3")});
        for (int i = 0; i < files.count(); ++i)
            files.deselect(i); // as the batch comes to each file
        write(QStringLiteral("tagged.mp3"), audio(300) + tagBytes(makeTag("Other Song")));
        QCOMPARE(std::rename("renamed.mp3", "new name.mp3"), 0);

        const std::vector<FileChange> changes = files.changes();
        QCOMPARE(changes.size(), size_t(2));
        QCOMPARE(changes[0].oldName, QStringLiteral("tagged.mp3"));
        QVERIFY(changes[0].rewritten);
        QVERIFY(!changes[0].renamed);
        QCOMPARE(changes[1].oldName, QStringLiteral("renamed.mp3"));
        QCOMPARE(changes[1].newName, QStringLiteral("new name.mp3"));
        QVERIFY(changes[1].renamed); // rewritten or not as the clock ticks: a rename moves ctime
    }
};

QTEST_GUILESS_MAIN(TestCliFiles)
#include "TestCliFiles.moc"
