#include "app/dialogs/TitleRoom.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QScreen>
#include <QSpacerItem>
#include <QStyle>
#include <algorithm>

namespace {

QFontMetrics TitleFontMetrics() {
    QFont font = QApplication::font("QMdiSubWindowTitleBar"); // the platform's title-bar font
    font.setBold(true);
    return QFontMetrics(font);
}

} // namespace

int TitleBarHeight(const QWidget& window) {
    return std::max(2 * TitleFontMetrics().height(), window.style()->pixelMetric(QStyle::PM_TitleBarHeight));
}

int TitleRoom(const QWidget& window) {
    const QFontMetrics metrics = TitleFontMetrics();
    const int button = TitleBarHeight(window);
    const int room = metrics.horizontalAdvance(window.windowTitle()) + 4 * button + 2 * metrics.height();
    // A title longer than the screen is wide is cut whatever the box does.
    const QScreen* screen = window.screen();
    return screen ? std::min(room, screen->availableGeometry().width()) : room;
}

void MakeRoomForTitle(QDialog& dialog) {
    QLayout* layout = dialog.layout();
    if (layout == nullptr) {
        dialog.setMinimumWidth(TitleRoom(dialog));
        return;
    }
    // A spacer rather than a minimum width: a message box, and a layout of fixed size, set the
    // dialog's size from the layout's minimum alone. The spacer has no height, so it adds none.
    auto* room = new QSpacerItem(TitleRoom(dialog), 0, QSizePolicy::Minimum, QSizePolicy::Minimum);
    if (auto* grid = qobject_cast<QGridLayout*>(layout))
        grid->addItem(room, 0, 0, 1, std::max(1, grid->columnCount()));
    else
        layout->addItem(room);
}
