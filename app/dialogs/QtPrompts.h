#pragma once

#include "app/dialogs/WindowPrompts.h"

#include <QString>

class QWidget;

// The modal prompts, as real Qt dialogs. Each runs a nested event loop until answered.

// A single-line prompt titled `caption`, with `prompt` as its label and a field pre-filled
// with `value` that takes at most 255 characters. OK stores the edited text in `value` and
// returns true; Cancel, Escape or the close box return false and leave `value` alone.
bool InputQuery(const QString& caption, const QString& prompt, QString& value, QWidget* parent = nullptr);
// The same prompt; returns the edited text on OK and `defaultText` unchanged otherwise.
QString InputBox(const QString& caption, const QString& prompt, const QString& defaultText,
                 QWidget* parent = nullptr);

// The real prompts, owned by `parent`'s window.
class QtPrompts : public WindowPrompts {
public:
    explicit QtPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override;
    QString inputBox(const QString& caption, const QString& prompt, const QString& defaultText) override;
    bool errorQuestion(const QString& text) override;
    void notice(const QString& text) override;
    int showModal(QDialog& dialog) override;

private:
    QWidget* parent_;
};
