#pragma once

#include "core/Batch.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QProgressBar;
class QStatusBar;
class QToolButton;

// A long batch's progress in the status bar: once a batch has run for a moment, a bar showing
// "n of N" and a Stop button appear. From then on the window keeps repainting while the batch
// runs, and the Stop button or the Escape key ends the batch after the current file; every
// other input to the program is dropped and the window's actions are disabled, so nothing else
// can start and the file list cannot change under the batch. A short batch shows nothing and
// takes no events at all.
class StatusBarProgress : public QObject, public BatchProgress {
public:
    explicit StatusBarProgress(QStatusBar* bar);
    void begin(int files) override;
    void advance(int handled) override;
    void end() override;
    bool stopRequested() override { return stopRequested_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show();
    // Delivers what is pending (paints, exposes, a click on Stop) through the filter above.
    void processPendingEvents();

    QStatusBar* statusBar_;
    QProgressBar* progress_;
    QToolButton* stopButton_;
    QElapsedTimer started_;
    qint64 lastPaint_ = 0;
    bool stopRequested_ = false;
    QList<QPointer<QAction>> disabledActions_;
};
