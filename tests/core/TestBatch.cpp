#include "core/Batch.h"
#include "core/IoError.h"
#include "support/FakeSelection.h"

#include <QTest>

namespace {

// Notes what a batch tells its progress display.
// Notes what a batch tells its progress display; asks for a Stop once `stopAfter` files are
// handled, as a person pressing Stop would.
class Recorder : public BatchProgress {
public:
    void begin(int files) override { calls << QStringLiteral("begin %1").arg(files); }
    void advance(int handled) override {
        calls << QString::number(handled);
        handled_ = handled;
    }
    void end() override { calls << QStringLiteral("end"); }
    bool stopRequested() override { return stopAfter > 0 && handled_ >= stopAfter; }
    QStringList calls;
    int stopAfter = 0;

private:
    int handled_ = 0;
};

} // namespace

class TestBatch : public QObject {
    Q_OBJECT

private:
    Recorder progress_;

private slots:
    void init() { progress_.calls.clear(); }

    // Each selected entry, in list order, deselected before its work; the list re-read at the
    // end unless the work or the progress display stopped the batch or the work threw; the
    // progress display told how many files there are and how many are done; the report says
    // how many entries changed and where the batch ended.
    void pattern_data() {
        QTest::addColumn<QList<bool>>("selected");
        QTest::addColumn<QString>("stopAt");
        QTest::addColumn<QString>("throwAt");
        QTest::addColumn<QStringList>("visited");
        QTest::addColumn<QList<bool>>("after");
        QTest::addColumn<int>("rereads");
        QTest::addColumn<QStringList>("progress");
        QTest::addColumn<int>("stoppedAt"); // -1: ran to the end
        QTest::addColumn<int>("stopAfter"); // a Stop pressed once this many files are done
        const QList<bool> abcd{true, false, true, true};
        QTest::newRow("whole batch") << abcd << ""
                                     << "" << QStringList{"a", "c", "d"}
                                     << QList<bool>{false, false, false, false} << 1
                                     << QStringList{"begin 3", "1", "2", "3", "end"} << -1 << 0;
        QTest::newRow("stopped") << abcd << "c"
                                 << "" << QStringList{"a", "c"} << QList<bool>{false, false, false, true} << 0
                                 << QStringList{"begin 3", "1", "end"} << 2 << 0;
        QTest::newRow("failed") << abcd << ""
                                << "c" << QStringList{"a", "c"} << QList<bool>{false, false, false, true} << 0
                                << QStringList{"begin 3", "1", "end"} << 2 << 0;
        QTest::newRow("Stop pressed") << abcd << ""
                                      << "" << QStringList{"a", "c"} << QList<bool>{false, false, false, true}
                                      << 0 << QStringList{"begin 3", "1", "2", "end"} << 2 << 2;
        QTest::newRow("Stop pressed at the last file")
            << abcd << ""
            << "" << QStringList{"a", "c", "d"} << QList<bool>{false, false, false, false} << 0
            << QStringList{"begin 3", "1", "2", "3", "end"} << 3 << 3;
        QTest::newRow("nothing selected") << QList<bool>{false, false, false, false} << ""
                                          << "" << QStringList{} << QList<bool>{false, false, false, false}
                                          << 0 << QStringList{} << -1 << 1;
    }
    void pattern() {
        QFETCH(QList<bool>, selected);
        QFETCH(QString, stopAt);
        QFETCH(QString, throwAt);
        QFETCH(QStringList, visited);
        QFETCH(QList<bool>, after);
        QFETCH(int, rereads);
        QFETCH(QStringList, progress);
        QFETCH(int, stoppedAt);
        QFETCH(int, stopAfter);
        progress_.stopAfter = stopAfter;
        FakeSelection files({"a", "b", "c", "d"}, selected);
        QStringList seen;
        bool deselectedFirst = true;
        const BatchReport report = RunBatch(files, &progress_, [&](const QString& name) {
            deselectedFirst = deselectedFirst && !files.isSelected(int(files.names.indexOf(name)));
            seen << name;
            if (name == throwAt)
                ThrowError(QStringLiteral("Disk full"));
            if (name == stopAt)
                return BatchStep::Stop;
            return name == QLatin1String("c") ? BatchStep::Unchanged : BatchStep::Changed;
        });
        QCOMPARE(seen, visited);
        QVERIFY(deselectedFirst);
        QCOMPARE(files.selected, after);
        QCOMPARE(files.rereads, rereads);
        QCOMPARE(progress_.calls, progress);
        QCOMPARE(report.error.has_value(), !throwAt.isEmpty());
        if (report.error)
            QCOMPARE(report.error->message(), QStringLiteral("Disk full"));
        QCOMPARE(report.stoppedAt.value_or(-1), stoppedAt);
        QCOMPARE(report.ran, selected.contains(true));
        // a and d change, c does not; nothing after the end counts
        QCOMPARE(report.changed,
                 int(seen.contains(QStringLiteral("a"))) + int(seen.contains(QStringLiteral("d"))));
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "TestBatch.moc"
