#pragma once

#include <QString>

class QDialog;
class QWidget;

// The modal prompts, as real Qt dialogs. Each runs a nested event loop until answered.

// A single-line prompt titled `caption`, with `prompt` as its label and a field pre-filled
// with `value` that takes at most 255 characters. OK stores the edited text in `value` and
// returns true; Cancel, Escape or the close box return false and leave `value` alone.
bool InputQuery(const QString& caption, const QString& prompt, QString& value, QWidget* parent = nullptr);
// The same prompt; returns the edited text on OK and `defaultText` unchanged otherwise.
QString InputBox(const QString& caption, const QString& prompt, const QString& defaultText,
                 QWidget* parent = nullptr);

// Every modal interaction a command has, so that a batch can also run with scripted answers
// (benchmarks and tests) instead of a person at the keyboard.
class Prompts {
public:
    virtual ~Prompts() = default;
    virtual bool inputQuery(const QString& caption, const QString& prompt, QString& value) = 0;
    virtual QString inputBox(const QString& caption, const QString& prompt, const QString& defaultText) = 0;
    // The Yes/No question in an error box: Yes (the default) returns true, No false.
    virtual bool errorQuestion(const QString& text) = 0;
    // Shows the dialog modally and returns its result (QDialog::Accepted or Rejected).
    virtual int showModal(QDialog& dialog) = 0;
    // What a command tells once at its end (not a failure: the command ran whole), in the same box
    // as the program's failures: titled "Morwick", with OK.
    virtual void notice(const QString& text) = 0;
};

// Says, once at a command's end, how many files (`count`; none: nothing said) another program
// changed while the command worked, which were therefore left alone.
void NoticeLeftAlone(Prompts& prompts, int count);

// The real prompts, owned by `parent`'s window.
class QtPrompts : public Prompts {
public:
    explicit QtPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override;
    QString inputBox(const QString& caption, const QString& prompt, const QString& defaultText) override;
    bool errorQuestion(const QString& text) override;
    int showModal(QDialog& dialog) override;
    void notice(const QString& text) override;

private:
    QWidget* parent_;
};
