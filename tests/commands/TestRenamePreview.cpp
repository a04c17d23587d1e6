#include "app/dialogs/RenamePreviewDialog.h"
#include "commands/RenamePreview.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
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

    // The table shows every column: the two names share the width the note leaves, a long name is
    // elided in the middle (whole in its tooltip), and the columns follow the dialog's width. The
    // dialog grows with what it shows, never past the screen; rows with a note stand out.
    void layout_data() {
        QTest::addColumn<int>("longName"); // characters before ".mp3"
        QTest::newRow("short names") << 0;
        QTest::newRow("a 100-character name") << 100;
        QTest::newRow("a 240-character name") << 240;
    }
    void layout() {
        QFETCH(int, longName);
        const QString song = QStringLiteral("01. Band - Song.mp3");
        const QString old = longName > 0 ? QString(longName, QLatin1Char('x')) + QStringLiteral(".mp3")
                                         : QStringLiteral("a.mp3");
        write(old, audio(300) + tagBytes(makeTag("Song", "Band", "", "", "", 1)));
        write(QStringLiteral("d.mp3"), audio(300)); // no tag: left alone
        ScriptedPrompts prompts;
        RenamePreviewDialog preview(
            {old, "d.mp3"},
            {RenameRule::fromTags(FilenameFormat::TrackArtistTitle, TrackSeparator::Dot, false)}, prompts);
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        auto* table = Named<QTableWidget>(&preview, "previewTable");
        const QHeaderView* header = table->horizontalHeader();
        const auto checkColumns = [&] {
            const int shown = table->viewport()->width();
            QCOMPARE(header->sectionSize(0) + header->sectionSize(1) + header->sectionSize(2), shown);
            QVERIFY2(header->sectionSize(1) >= table->fontMetrics().horizontalAdvance(song),
                     qPrintable(QString::number(header->sectionSize(1))));
            QVERIFY(header->sectionSize(2) >=
                    table->fontMetrics().horizontalAdvance(QStringLiteral("left alone")));
        };
        checkColumns();
        const QRect screen = preview.screen()->availableGeometry();
        QVERIFY(screen.contains(preview.frameGeometry()));
        const bool wholeFits = table->fontMetrics().horizontalAdvance(old) + 200 < screen.width();
        QCOMPARE(header->sectionSize(0) >= table->fontMetrics().horizontalAdvance(old), wholeFits);
        QCOMPARE(table->item(0, 0)->toolTip(), old);
        QCOMPARE(table->item(0, 1)->text(), song);
        // The row with a note is tinted; the other is not.
        QCOMPARE(table->item(0, 0)->background().style(), Qt::NoBrush);
        for (int column = 0; column < 3; ++column) {
            const QBrush tint = table->item(1, column)->background();
            QCOMPARE_NE(tint.style(), Qt::NoBrush);
            QCOMPARE_NE(tint.color(), table->palette().color(QPalette::Base));
        }
        // Narrower, the columns still share the width; the new name keeps its room.
        preview.resize(preview.minimumSize());
        QTRY_COMPARE(preview.size(), preview.minimumSize());
        checkColumns();
    }
};

QTEST_MAIN(TestRenamePreview)
#include "TestRenamePreview.moc"
