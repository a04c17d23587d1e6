#pragma once

class QWidget;

// Moves a window (frame included) to the centre of its screen's available area.
void CentreOnScreen(QWidget* window);
