#pragma once

class QWidget;

// Enables an input field with the normal window background, or disables it with the
// button-face background, as the tag fields show which of them a command will write.
void SetFieldState(QWidget* field, bool enabled);
