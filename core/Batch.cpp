#include "core/Batch.h"

bool FileSelection::anySelected() const {
    const int n = count();
    for (int i = 0; i < n; ++i) {
        if (isSelected(i))
            return true;
    }
    return false;
}

bool RunBatch(FileSelection& files, const std::function<BatchStep(const QString& name)>& work, bool reread) {
    if (!files.anySelected())
        return false;
    const int n = files.count();
    try {
        for (int i = 0; i < n; ++i) {
            if (!files.isSelected(i))
                continue;
            files.deselect(i);
            if (work(files.name(i)) == BatchStep::Stop) {
                files.endBatch();
                return true;
            }
        }
    } catch (...) {
        files.endBatch();
        throw;
    }
    files.endBatch();
    if (reread)
        files.reread();
    return true;
}
