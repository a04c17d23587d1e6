#include "core/Batch.h"

#include "core/Journal.h"

bool FileSelection::anySelected() const {
    const int n = count();
    for (int i = 0; i < n; ++i) {
        if (isSelected(i))
            return true;
    }
    return false;
}

namespace {

// Ends the batch however it ends: the list shows its marks, the progress display goes.
class BatchScope {
public:
    BatchScope(FileSelection& files, BatchProgress* progress, int entries)
        : files_(files), progress_(progress) {
        if (progress_)
            progress_->begin(entries);
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

} // namespace

BatchReport RunBatch(FileSelection& files, BatchProgress* progress,
                     const std::function<BatchStep(const QString& name)>& work, bool reread) {
    BatchReport report;
    if (!files.anySelected())
        return report;
    report.ran = true;
    const int n = files.count();
    {
        // Everything the batch changed is synced before the list is read again.
        const JournalCommand command;
        const BatchScope scope(files, progress, n);
        for (int i = 0; i < n; ++i) {
            if (!files.isSelected(i))
                continue;
            files.deselect(i);
            BatchStep step;
            try {
                step = work(files.name(i));
            } catch (const CommandError& e) {
                report.stoppedAt = i;
                report.error = e;
                return report;
            }
            if (step == BatchStep::Stop) {
                report.stoppedAt = i;
                return report;
            }
            if (step == BatchStep::Changed)
                ++report.changed;
            if (progress)
                progress->advance(i + 1);
        }
    }
    if (reread)
        files.reread();
    return report;
}
