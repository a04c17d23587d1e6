#include "core/Batch.h"

bool FileSelection::anySelected() const {
    const int n = count();
    for (int i = 0; i < n; ++i) {
        if (isSelected(i))
            return true;
    }
    return false;
}

namespace {

BatchProgress* progressDisplay = nullptr;

// Ends the batch however it ends: the list shows its marks, the progress display goes.
class BatchScope {
public:
    BatchScope(FileSelection& files, int entries) : files_(files) {
        if (progressDisplay)
            progressDisplay->begin(entries);
    }
    ~BatchScope() {
        files_.endBatch();
        if (progressDisplay)
            progressDisplay->end();
    }
    BatchScope(const BatchScope&) = delete;
    BatchScope& operator=(const BatchScope&) = delete;

private:
    FileSelection& files_;
};

} // namespace

void SetBatchProgress(BatchProgress* progress) {
    progressDisplay = progress;
}

bool RunBatch(FileSelection& files, const std::function<BatchStep(const QString& name)>& work, bool reread) {
    if (!files.anySelected())
        return false;
    const int n = files.count();
    {
        const BatchScope scope(files, n);
        for (int i = 0; i < n; ++i) {
            if (!files.isSelected(i))
                continue;
            files.deselect(i);
            if (work(files.name(i)) == BatchStep::Stop)
                return true;
            if (progressDisplay)
                progressDisplay->advance(i + 1);
        }
    }
    if (reread)
        files.reread();
    return true;
}
