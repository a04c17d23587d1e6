#include "core/Batch.h"
#include "core/IoError.h"
#include "support/FakeSelection.h"

#include <QTest>

namespace {

// Notes what a batch tells its progress display.
class Recorder : public BatchProgress {
public:
    void begin(int entries) override { calls << QStringLiteral("begin %1").arg(entries); }
    void advance(int position) override { calls << QString::number(position); }
    void end() override { calls << QStringLiteral("end"); }
    QStringList calls;
};

} // namespace

class TestBatch : public QObject {
    Q_OBJECT

private:
    Recorder progress_;

private slots:
    void init() {
        progress_.calls.clear();
        SetBatchProgress(&progress_);
    }
    void cleanup() { SetBatchProgress(nullptr); }

    // Each selected entry, in list order, deselected before its work; the list re-read at the
    // end unless the work stopped the batch or threw; the progress display told throughout.
    void pattern_data() {
        QTest::addColumn<QList<bool>>("selected");
        QTest::addColumn<QString>("stopAt");
        QTest::addColumn<QString>("throwAt");
        QTest::addColumn<QStringList>("visited");
        QTest::addColumn<QList<bool>>("after");
        QTest::addColumn<int>("rereads");
        QTest::addColumn<QStringList>("progress");
        const QList<bool> abcd{true, false, true, true};
        QTest::newRow("whole batch") << abcd << ""
                                     << "" << QStringList{"a", "c", "d"}
                                     << QList<bool>{false, false, false, false} << 1
                                     << QStringList{"begin 4", "1", "3", "4", "end"};
        QTest::newRow("stopped") << abcd << "c"
                                 << "" << QStringList{"a", "c"} << QList<bool>{false, false, false, true} << 0
                                 << QStringList{"begin 4", "1", "end"};
        QTest::newRow("failed") << abcd << ""
                                << "c" << QStringList{"a", "c"} << QList<bool>{false, false, false, true} << 0
                                << QStringList{"begin 4", "1", "end"};
        QTest::newRow("nothing selected")
            << QList<bool>{false, false, false, false} << ""
            << "" << QStringList{} << QList<bool>{false, false, false, false} << 0 << QStringList{};
    }
    void pattern() {
        QFETCH(QList<bool>, selected);
        QFETCH(QString, stopAt);
        QFETCH(QString, throwAt);
        QFETCH(QStringList, visited);
        QFETCH(QList<bool>, after);
        QFETCH(int, rereads);
        QFETCH(QStringList, progress);
        FakeSelection files({"a", "b", "c", "d"}, selected);
        QStringList seen;
        bool deselectedFirst = true;
        QString error;
        try {
            RunBatch(files, [&](const QString& name) {
                deselectedFirst = deselectedFirst && !files.isSelected(int(files.names.indexOf(name)));
                seen << name;
                if (name == throwAt)
                    ThrowError(QStringLiteral("Disk full"));
                return name == stopAt ? BatchStep::Stop : BatchStep::Continue;
            });
        } catch (const CommandError& e) {
            error = e.message();
        }
        QCOMPARE(seen, visited);
        QVERIFY(deselectedFirst);
        QCOMPARE(files.selected, after);
        QCOMPARE(files.rereads, rereads);
        QCOMPARE(progress_.calls, progress);
        QCOMPARE(error.isEmpty(), throwAt.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "TestBatch.moc"
