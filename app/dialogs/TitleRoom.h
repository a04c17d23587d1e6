#pragma once

class QDialog;
class QWidget;

// The width, in device-independent pixels, that `window`'s frame needs to show its title whole
// beside the window manager's icon and buttons. The window manager draws the frame in its own
// font and sizes, which no toolkit can ask, so this allows for the title in the bold title-bar
// font and four square buttons twice that font's height (icon, minimise, maximise, close), up
// to the width of the window's screen.
int TitleRoom(const QWidget& window);

// The height allowed for the window manager's title bar over `window`: twice the height of the
// bold title-bar font, or the style's title-bar height when that is more.
int TitleBarHeight(const QWidget& window);

// Keeps `dialog` at least TitleRoom wide, so a short message never cuts its title ("Mo…ick").
// Call it once the dialog is built, just before it is shown: a message box rebuilds its layout
// when its text or icon is set.
void MakeRoomForTitle(QDialog& dialog);
