#pragma once

#include "core/Batch.h"

#include <QElapsedTimer>

class QProgressBar;
class QStatusBar;

// A long batch's progress in the status bar: it appears once a batch has run for a moment and
// is painted directly, without running the event loop, so the batch stays the only thing the
// program does until it ends.
class StatusBarProgress : public BatchProgress {
public:
    explicit StatusBarProgress(QStatusBar* bar);
    void begin(int entries) override;
    void advance(int position) override;
    void end() override;

private:
    QStatusBar* statusBar_;
    QProgressBar* progress_;
    QElapsedTimer started_;
    qint64 lastPaint_ = 0;
};
