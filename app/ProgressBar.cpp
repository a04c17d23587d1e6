#include "app/ProgressBar.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolButton>
#include <algorithm>

namespace {

constexpr qint64 kShowAfterMs = 400; // short batches never flash a bar
constexpr qint64 kPaintEveryMs = 50;
constexpr int kBarWidth = 160;

// What a person does to the program, as opposed to what the window system asks of it (paint,
// expose, move, resize) or what the program posts to itself.
bool isMouseEvent(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        return true;
    default:
        return false;
    }
}

bool isUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

} // namespace

StatusBarProgress::StatusBarProgress(QStatusBar* bar)
    : statusBar_(bar), progress_(new QProgressBar(bar)), stopButton_(new QToolButton(bar)) {
    progress_->setObjectName(QStringLiteral("batchProgress"));
    progress_->setFormat(QStringLiteral("%v of %m"));
    progress_->setAlignment(Qt::AlignCenter);
    stopButton_->setObjectName(QStringLiteral("stopBatchButton"));
    stopButton_->setText(QStringLiteral("Stop"));
    stopButton_->setFocusPolicy(Qt::NoFocus);
    connect(stopButton_, &QToolButton::clicked, this, [this] { stopRequested_ = true; });
    // The status bar takes its height from its tallest widget, hidden ones included.
    progress_->setFixedHeight(bar->fontMetrics().height());
    stopButton_->setFixedHeight(bar->fontMetrics().height());
    bar->addPermanentWidget(progress_);
    bar->addPermanentWidget(stopButton_);
    progress_->hide();
    stopButton_->hide();
}

void StatusBarProgress::begin(int files) {
    progress_->setRange(0, files);
    progress_->setValue(0);
    stopRequested_ = false;
    started_.start();
    lastPaint_ = 0;
}

void StatusBarProgress::advance(int handled) {
    const qint64 now = started_.elapsed();
    if (now < kShowAfterMs || now - lastPaint_ < kPaintEveryMs)
        return;
    lastPaint_ = now;
    progress_->setValue(handled);
    if (progress_->isHidden())
        show();
    processPendingEvents();
}

void StatusBarProgress::end() {
    if (progress_->isHidden())
        return;
    progress_->hide();
    stopButton_->hide();
    for (const QPointer<QAction>& action : std::as_const(disabledActions_)) {
        if (action)
            action->setEnabled(true);
    }
    disabledActions_.clear();
}

void StatusBarProgress::show() {
    // No taller than the status line, so the status bar keeps its height and nothing above it
    // moves; wide enough for the largest count in the bar's font.
    const QFontMetrics metrics = statusBar_->fontMetrics();
    const int height = metrics.height();
    progress_->setFixedHeight(height);
    const QString widest = QStringLiteral("%1 of %1").arg(progress_->maximum());
    progress_->setFixedWidth(
        std::max(kBarWidth, metrics.horizontalAdvance(widest) + metrics.averageCharWidth() * 4));
    stopButton_->setFixedHeight(height);
    // The window's menu items and shortcuts start nothing while the batch runs. Submenus stay
    // as they are: the menu bar takes no clicks meanwhile anyway.
    for (QAction* action : statusBar_->window()->findChildren<QAction*>()) {
        if (action->isEnabled() && !action->menu()) {
            action->setEnabled(false);
            disabledActions_.append(action);
        }
    }
    progress_->show();
    stopButton_->show();
    statusBar_->layout()->activate();
}

void StatusBarProgress::processPendingEvents() {
    qApp->installEventFilter(this);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(this);
}

bool StatusBarProgress::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (!isUserInput(type))
        return false;
    if (watched == stopButton_ && type != QEvent::ShortcutOverride && type != QEvent::Shortcut)
        return false; // the Stop button takes its clicks
    // A real click comes to the window first, which hands it to the widget under the pointer:
    // it is judged there, so that a click on Stop reaches Stop and every other is taken.
    if (watched->isWindowType() && isMouseEvent(type))
        return false;
    if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        stopRequested_ = true;
    if (type == QEvent::ShortcutOverride)
        event->accept(); // taken here, so that no shortcut or mnemonic acts on it
    return true;
}
