#include "app/dialogs/ScreenCentre.h"

#include "app/dialogs/TitleRoom.h"

#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>
#include <algorithm>

void CentreOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

QSize ScreenRoom(const QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen)
        return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
    QMargins frame;
    if (const QWindow* handle = window.windowHandle())
        frame = handle->frameMargins();
    if (frame.isNull()) {
        const int bar = TitleBarHeight(window);
        const int border = std::max(2, window.style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth));
        frame = QMargins(border, bar, border, border);
    }
    return screen->availableGeometry().size() -
           QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
}

void KeepOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    QPoint at = frame.topLeft();
    at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - frame.width())));
    at.setY(std::max(area.top(), std::min(at.y(), area.bottom() + 1 - frame.height())));
    if (at != frame.topLeft())
        window->move(at);
}
