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

int FileSelection::selectedCount() const {
    const int n = count();
    int selected = 0;
    for (int i = 0; i < n; ++i)
        selected += isSelected(i) ? 1 : 0;
    return selected;
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
        const BatchScope scope(files, progress);
        int handled = 0;
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
            if (progress) {
                progress->advance(++handled);
                if (progress->stopRequested()) {
                    report.stoppedAt = i;
                    return report;
                }
            }
        }
    }
    if (reread)
        files.reread();
    return report;
}
