#pragma once

class QSize;
class QWidget;

// Moves a window (frame included) to the centre of its screen's available area.
void CentreOnScreen(QWidget* window);

// The largest client size `window` may take with its frame on its screen's available area. The
// window manager's frame is used once known; before that (a window not yet decorated) it is
// allowed for as a title bar of TitleBarHeight and thin borders.
QSize ScreenRoom(const QWidget& window);

// Moves a window whose frame reaches past its screen's available area back inside it, as far
// as it fits.
void KeepOnScreen(QWidget* window);
