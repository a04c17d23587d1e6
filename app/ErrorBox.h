#pragma once

#include "core/IoError.h"

#include <QString>
#include <exception>
#include <new>

class QWidget;

// A critical message box titled "Morwick" with an OK button, showing ErrorSentence(message), wide
// enough for its title; modal.
void ShowErrorBox(QWidget* parent, const QString& message);

// Runs one command. A failure that ends the command (CommandError, or running out of memory)
// is caught here, the only place, and shown in the error box; the program goes on.
template <typename Command> void RunCommand(QWidget* parent, Command&& command) {
    try {
        command();
    } catch (const CommandError& e) {
        ShowErrorBox(parent, e.message());
    } catch (const std::bad_alloc&) {
        ShowErrorBox(parent, QStringLiteral("Out of memory"));
    }
}
