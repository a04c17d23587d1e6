#include "core/Batch.h"
#include "core/IoError.h"
#include "core/PlanAhead.h"
#include "support/FakeSelection.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QTest>
#include <QThread>
#include <atomic>
#include <mutex>
#include <utility>

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

    // Work whose changes are held and ended three at a time: every change before a failure is
    // counted, the failing entry ends the batch, and the entries held after it, or being worked on
    // when it failed, are untouched and selected again.
    void grouped_data() {
        QTest::addColumn<QString>("endFailsAt");  // the held change that fails when ended
        QTest::addColumn<QString>("workFailsAt"); // the work's own failure
        QTest::addColumn<QString>("workEndsAt");  // the work ends what is held before its file
        QTest::addColumn<int>("stopAfter");       // a Stop pressed once this many are handled
        QTest::addColumn<QStringList>("ended");
        QTest::addColumn<int>("stoppedAt");
        QTest::addColumn<QList<bool>>("after");
        QTest::addColumn<QStringList>("leftAlone"); // held changes whose end leaves their file alone
        const bool F = false, T = true;
        QTest::newRow("ended in groups") << ""
                                         << ""
                                         << "" << 0 << QStringList{"a", "b", "c", "d", "e", "f"} << -1
                                         << QList<bool>{F, F, F, F, F, F} << QStringList();
        QTest::newRow("failure within a group") << "e"
                                                << ""
                                                << "" << 0 << QStringList{"a", "b", "c", "d"} << 4
                                                << QList<bool>{F, F, F, F, F, T} << QStringList();
        QTest::newRow("failure at a group's first")
            << "d"
            << ""
            << "" << 0 << QStringList{"a", "b", "c"} << 3 << QList<bool>{F, F, F, F, T, T} << QStringList();
        QTest::newRow("failure as the work ends what is held")
            << "b"
            << ""
            << "c" << 0 << QStringList{"a"} << 1 << QList<bool>{F, F, T, T, T, T} << QStringList();
        QTest::newRow("the work fails: what is held before ends")
            << ""
            << "e"
            << "" << 0 << QStringList{"a", "b", "c", "d"} << 4 << QList<bool>{F, F, F, F, F, T}
            << QStringList();
        QTest::newRow("the work fails, and so does ending what is held")
            << "d"
            << "e"
            << "" << 0 << QStringList{"a", "b", "c"} << 3 << QList<bool>{F, F, F, F, T, T} << QStringList();
        QTest::newRow("files left alone: counted, not changed")
            << ""
            << ""
            << "" << 0 << QStringList{"a", "c", "d", "f"} << -1 << QList<bool>{F, F, F, F, F, F}
            << QStringList{"b", "e"};
        QTest::newRow("a file left alone before a failure")
            << "e"
            << ""
            << "" << 0 << QStringList{"a", "c", "d"} << 4 << QList<bool>{F, F, F, F, F, T}
            << QStringList{"b"};
        QTest::newRow("Stop pressed")
            << ""
            << ""
            << "" << 2 << QStringList{"a", "b"} << 1 << QList<bool>{F, F, T, T, T, T} << QStringList();
    }
    void grouped() {
        QFETCH(QString, endFailsAt);
        QFETCH(QString, workFailsAt);
        QFETCH(QString, workEndsAt);
        QFETCH(int, stopAfter);
        QFETCH(QStringList, ended);
        QFETCH(int, stoppedAt);
        QFETCH(QList<bool>, after);
        QFETCH(QStringList, leftAlone);
        progress_.stopAfter = stopAfter;
        FakeSelection files({"a", "b", "c", "d", "e", "f"});
        QStringList held, done;
        int left = 0;
        const auto end = [&] {
            for (const QString& name : std::exchange(held, {})) {
                if (name == endFailsAt)
                    throw GroupFailure(name, CommandError(QStringLiteral("I/O error 5")));
                if (leftAlone.contains(name))
                    ++left;
                else
                    done << name;
            }
        };
        GroupedWork work{[&](const QString& name) {
                             if (name == workEndsAt)
                                 end();
                             if (name == workFailsAt)
                                 ThrowError(QStringLiteral("Disk full"));
                             held << name;
                             return BatchStep::Held;
                         },
                         end, [&] { return held.size() == 3; }, [&] { return left; }};
        const BatchReport report = RunBatch(files, &progress_, work);
        QCOMPARE(done, ended);
        QCOMPARE(report.changed, int(ended.size()));
        QCOMPARE(report.leftAlone, int(leftAlone.size()));
        QCOMPARE(report.stoppedAt.value_or(-1), stoppedAt);
        QCOMPARE(files.selected, after);
        QCOMPARE(files.rereads, stoppedAt < 0 ? 1 : 0);
        const QString message = endFailsAt.isEmpty()
                                    ? workFailsAt.isEmpty() ? QString() : QStringLiteral("Disk full")
                                    : QStringLiteral("I/O error 5");
        QCOMPARE(report.error ? report.error->message() : QString(), message);
    }

    // The plans come in the batch's order, each made once, the looking shared by the batch's
    // thread and another; a name out of that order is planned at once on the batch's own; a
    // planner's failure is thrown at its file's turn and the plans after it still come; a single
    // file is planned on the batch's thread.
    void planAhead_data() {
        QTest::addColumn<int>("files");
        QTest::newRow("one file") << 1;
        QTest::newRow("two files") << 2;
        QTest::newRow("past the look-ahead") << 1000;
    }
    void planAhead() {
        QFETCH(int, files);
        QStringList names;
        for (int i = 0; i < files; ++i)
            names << QStringLiteral("%1.mp3").arg(i);
        const QString failing = names.last();
        const Qt::HANDLE batchThread = QThread::currentThreadId();
        std::mutex lock;
        QHash<QString, int> planned;
        QHash<QString, Qt::HANDLE> plannedOn;
        std::atomic<int> elsewhere{0};
        PlanAhead<QString> plans(names, [&](const QString& name) {
            if (QThread::currentThreadId() != batchThread) {
                ++elsewhere;
            } else if (files > 1 && names.contains(name)) {
                // The batch's thread plans a file only while the other thread has one in hand;
                // wait for it, so that the other thread is seen to plan at least one.
                QDeadlineTimer deadline(10000);
                while (elsewhere.load() == 0 && !deadline.hasExpired())
                    QThread::usleep(100);
            }
            {
                const std::lock_guard<std::mutex> hold(lock);
                ++planned[name];
                plannedOn[name] = QThread::currentThreadId();
            }
            if (name == failing)
                ThrowError(QStringLiteral("no such file"));
            return name + QLatin1Char('!');
        });
        QCOMPARE(plans.next(QStringLiteral("elsewhere.mp3")), QStringLiteral("elsewhere.mp3!"));
        QCOMPARE(plannedOn.value(QStringLiteral("elsewhere.mp3")), batchThread);
        for (const QString& name : names) {
            if (name == failing) {
                QVERIFY_THROWS_EXCEPTION(CommandError, plans.next(name));
                continue;
            }
            QCOMPARE(plans.next(name), name + QLatin1Char('!'));
        }
        QCOMPARE(planned.size(), files + 1);
        for (const QString& name : names)
            QCOMPARE(planned.value(name), 1);
        QCOMPARE(elsewhere.load() > 0, files > 1);
        if (files == 1)
            QCOMPARE(plannedOn.value(names.first()), batchThread);
    }

    // A batch that stops early leaves the planning thread stopped, never more than the look-ahead
    // in front of it: what was read of a file is never much older than its change.
    void planAheadStopsWithTheBatch() {
        QStringList names;
        for (int i = 0; i < 5000; ++i)
            names << QString::number(i);
        std::atomic<int> planned{0};
        {
            PlanAhead<int> plans(names, [&](const QString& name) {
                ++planned;
                return name.toInt();
            });
            QCOMPARE(plans.next(QStringLiteral("0")), 0);
            QCOMPARE(plans.next(QStringLiteral("1")), 1);
            QTest::qWait(50);
            QVERIFY2(planned.load() <= 256, qPrintable(QString::number(planned.load())));
        }
        QVERIFY(planned.load() <= 256);
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "TestBatch.moc"
