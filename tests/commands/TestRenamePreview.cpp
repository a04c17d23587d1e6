#include "app/dialogs/RenamePreviewDialog.h"
#include "commands/RenamePreview.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <memory>

using namespace testfiles;

// The rename preview: what each command would do, and that looking changes nothing.
class TestRenamePreview : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WorkDir> dir_;

    static QStringList rows(const QList<PreviewRow>& preview) {
        QStringList out;
        for (const PreviewRow& row : preview)
            out << row.oldName + QStringLiteral(" -> ") + row.newName +
                       (row.note.isEmpty() ? QString() : QStringLiteral(" [") + row.note + QLatin1Char(']'));
        return out;
    }

private slots:
    void init() {
        dir_ = std::make_unique<WorkDir>();
        QVERIFY(dir_->isValid());
    }
    void cleanup() { dir_.reset(); }

    // Every kind of note in one selection, and not a byte or a name changed by looking.
    void notes() {
        const QByteArray body = audio(300);
        write(QStringLiteral("a.mp3"), body + tagBytes(makeTag("Song", "Band", "", "", "", 1)));
        write(QStringLiteral("b.mp3"),
              body + tagBytes(makeTag("Song", "Band", "", "", "", 1))); // the same name
        write(QStringLiteral("c.mp3"), body + tagBytes(makeTag("Taken", "Band", "", "", "", 2)));
        write(QStringLiteral("02. Band - Taken.mp3"), body);                  // already there
        write(QStringLiteral("d.mp3"), body);                                 // no tag
        write(QStringLiteral("e.mp3"), body + tagBytes(makeTag("", "Band"))); // ".mp3" under Title
        write(QStringLiteral("f.mp3"), body + tagBytes(makeTag("Same", "", "", "", "", 0)));
        write(QStringLiteral("g.mp3"), body + tagBytes(makeTag(QByteArray(30, 'x').constData())));
        const QStringList before = listing();
        const QStringList selected{"a.mp3", "b.mp3", "c.mp3", "d.mp3"};
        QCOMPARE(rows(PreviewRenames(selected, RenameRule::fromTags(FilenameFormat::TrackArtistTitle,
                                                                    TrackSeparator::Dot, false))),
                 (QStringList{"a.mp3 -> 01. Band - Song.mp3",
                              "b.mp3 -> 01. Band - Song.mp3 [same name as an earlier file]",
                              "c.mp3 -> 02. Band - Taken.mp3 [name taken]", "d.mp3 -> d.mp3 [left alone]"}));
        QCOMPARE(rows(PreviewRenames({"e.mp3", "f.mp3"}, RenameRule::fromTags(FilenameFormat::Title,
                                                                              TrackSeparator::Dot, false))),
                 (QStringList{"e.mp3 -> e.mp3 [left alone]", "f.mp3 -> Same.mp3"}));
        QCOMPARE(
            rows(PreviewRenames({"a.mp3"}, RenameRule::replace(QStringLiteral("a"), QStringLiteral("a")))),
            (QStringList{"a.mp3 -> a.mp3 [unchanged]"}));
        QCOMPARE(rows(PreviewRenames(
                     {"g.mp3"}, RenameRule::replace(QStringLiteral("g"), QString(300, QLatin1Char('g'))))),
                 (QStringList{"g.mp3 -> g.mp3 [unchanged]"})); // grows past 255: the name is kept
        write(QStringLiteral("h.mp3"), body); // 130 x "é" is 260 bytes: more than a name may hold
        QCOMPARE(rows(PreviewRenames({"h.mp3"},
                                     RenameRule::replace(QStringLiteral("h"), QString(130, QChar(0xE9))))),
                 (QStringList{"h.mp3 -> " + QString(130, QChar(0xE9)) + ".mp3 [too long]"}));
        QCOMPARE(listing(), before + QStringList{"h.mp3"});
    }

    // The dialog: Search and replace asks its texts like the command; Close changes nothing.
    void dialog() {
        write(QStringLiteral("a b.mp3"), audio(300));
        ScriptedPrompts prompts;
        prompts.inputs = {QStringLiteral(" "), QStringLiteral("_")};
        RenamePreviewDialog preview(
            {"a b.mp3"},
            {RenameRule::fromTags(FilenameFormat::TrackTitle, TrackSeparator::Dot, false),
             RenameRule::trim(FilenameFormat::TrackTitle, NameCase::Capitalize, TrackSeparator::Dot),
             RenameRule::replace({}, {})},
            prompts);
        auto* table = Named<QTableWidget>(&preview, "previewTable");
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("left alone"));
        preview.choose(2);
        QCOMPARE(prompts.seenInputs.size(), 2);
        QCOMPARE(prompts.seenInputs[0].title, QStringLiteral("Search & replace text in filenames"));
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("a_b.mp3"));
        QCOMPARE(preview.rule().search, QStringLiteral(" "));
        // Cancelled texts: the choice stays where it was.
        prompts.inputs = {std::nullopt};
        preview.choose(2);
        QCOMPARE(Named<QComboBox>(&preview, "ruleCombo")->currentIndex(), 2);
        preview.choose(1);
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("A B.mp3"));
        QCOMPARE(listing(), QStringList{"a b.mp3"});
    }
};

QTEST_MAIN(TestRenamePreview)
#include "TestRenamePreview.moc"
