#include "core/Batch.h"

#include "core/Journal.h"
#include "core/JournalHooks.h"

#include <algorithm>
#include <vector>

bool FileSelection::anySelected() const {
    const int n = count();
    for (int i = 0; i < n; ++i) {
        if (isSelected(i))
            return true;
    }
    return false;
}

int FileSelection::selectedCount() const {
    const int n = count();
    int selected = 0;
    for (int i = 0; i < n; ++i)
        selected += isSelected(i) ? 1 : 0;
    return selected;
}

QStringList FileSelection::selectedNames() const {
    const int n = count();
    QStringList names;
    names.reserve(n);
    for (int i = 0; i < n; ++i) {
        if (isSelected(i))
            names.append(name(i));
    }
    return names;
}

namespace {

// Ends the batch however it ends: the list shows its marks, the progress display goes.
class BatchScope {
public:
    BatchScope(FileSelection& files, BatchProgress* progress) : files_(files), progress_(progress) {
        if (progress_)
            progress_->begin(files.selectedCount());
    }
    ~BatchScope() {
        files_.endBatch();
        if (progress_)
            progress_->end();
    }
    BatchScope(const BatchScope&) = delete;
    BatchScope& operator=(const BatchScope&) = delete;

private:
    FileSelection& files_;
    BatchProgress* progress_;
};

// The entries whose changes are held, in list order, and what becomes of them.
class HeldEntries {
public:
    HeldEntries(FileSelection& files, BatchReport& report) : files_(files), report_(report) {}
    void add(int index) { held_.push_back(index); }
    // Ends the held changes; false (and the report says where) when one failed.
    bool end(const GroupedWork& work) {
        if (held_.empty())
            return true;
        try {
            work.end();
        } catch (const GroupFailure& failure) {
            failed(failure);
            return false;
        }
        report_.changed += int(held_.size());
        held_.clear();
        return true;
    }
    // The held change to the entry `failure` names failed: the ones before it are done, the
    // ones after it were dropped.
    void failed(const GroupFailure& failure) {
        size_t at = 0;
        while (at + 1 < held_.size() && files_.name(held_[at]) != failure.path())
            ++at;
        report_.changed += int(at);
        report_.stoppedAt = held_[at];
        report_.error = CommandError(failure.message());
        for (size_t i = at + 1; i < held_.size(); ++i)
            files_.reselect(held_[i]);
        held_.clear();
    }

private:
    FileSelection& files_;
    BatchReport& report_;
    std::vector<int> held_;
};

} // namespace

BatchReport RunBatch(FileSelection& files, BatchProgress* progress,
                     const std::function<BatchStep(const QString& name)>& work, bool reread) {
    return RunBatch(files, progress, GroupedWork{work, {}, {}}, reread);
}

namespace {

BatchReport runGrouped(FileSelection& files, BatchProgress* progress, const GroupedWork& grouped,
                       bool reread) {
    BatchReport report;
    if (!files.anySelected())
        return report;
    report.ran = true;
    const int n = files.count();
    {
        // Everything the batch changed is synced before the list is read again.
        const JournalCommand command;
        const BatchScope scope(files, progress);
        journal::ExpectChanges(files.selectedCount());
        HeldEntries held(files, report);
        // Ends the batch at entry i: what is held before it ends first, and when that fails the
        // batch ends there instead, entry i untouched.
        const auto stopAt = [&](int i, const std::optional<CommandError>& error) {
            if (!held.end(grouped)) {
                files.reselect(i);
                return;
            }
            report.stoppedAt = i;
            report.error = error;
        };
        int handled = 0;
        for (int i = 0; i < n; ++i) {
            if (!files.isSelected(i))
                continue;
            files.deselect(i);
            BatchStep step;
            try {
                step = grouped.work(files.name(i));
            } catch (const GroupFailure& failure) {
                held.failed(failure);
                files.reselect(i);
                return report;
            } catch (const CommandError& e) {
                stopAt(i, e);
                return report;
            }
            if (step == BatchStep::Stop) {
                stopAt(i, std::nullopt);
                return report;
            }
            if (step == BatchStep::Changed)
                ++report.changed;
            if (step == BatchStep::Held)
                held.add(i);
            if (progress) {
                progress->advance(++handled);
                if (progress->stopRequested()) {
                    if (held.end(grouped))
                        report.stoppedAt = i;
                    return report;
                }
            }
            if (grouped.full && grouped.full() && !held.end(grouped))
                return report;
        }
        if (!held.end(grouped))
            return report;
        if (reread)
            files.prepareReread();
    }
    if (reread)
        files.reread();
    return report;
}

} // namespace

BatchReport RunBatch(FileSelection& files, BatchProgress* progress, const GroupedWork& grouped, bool reread) {
    BatchReport report = runGrouped(files, progress, grouped, reread);
    if (grouped.leftAlone) {
        // Every change left alone was given as held, and counted as changed when its group ended.
        report.leftAlone = grouped.leftAlone();
        report.changed = std::max(0, report.changed - report.leftAlone);
    }
    return report;
}
