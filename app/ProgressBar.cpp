#include "app/ProgressBar.h"

#include <QLayout>
#include <QProgressBar>
#include <QStatusBar>

namespace {

constexpr qint64 kShowAfterMs = 400; // short batches never flash a bar
constexpr qint64 kPaintEveryMs = 100;

} // namespace

StatusBarProgress::StatusBarProgress(QStatusBar* bar) : statusBar_(bar), progress_(new QProgressBar(bar)) {
    progress_->setObjectName(QStringLiteral("batchProgress"));
    progress_->setMaximumWidth(160);
    progress_->setMaximumHeight(14);
    progress_->setTextVisible(false);
    bar->addPermanentWidget(progress_);
    progress_->hide();
}

void StatusBarProgress::begin(int entries) {
    progress_->setRange(0, entries);
    progress_->setValue(0);
    started_.start();
    lastPaint_ = 0;
}

void StatusBarProgress::advance(int position) {
    const qint64 now = started_.elapsed();
    if (now < kShowAfterMs || now - lastPaint_ < kPaintEveryMs)
        return;
    lastPaint_ = now;
    progress_->setValue(position);
    if (progress_->isHidden()) {
        progress_->show();
        statusBar_->layout()->activate(); // place it now: no event loop runs until the batch ends
    }
    statusBar_->repaint();
}

void StatusBarProgress::end() {
    progress_->hide();
}
