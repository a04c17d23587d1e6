#pragma once

#include "app/dialogs/QtPrompts.h"
#include "support/ModalAnswerer.h"

#include <QDialog>
#include <QList>
#include <QStringList>
#include <QTest>
#include <functional>
#include <optional>

// Scripted answers for every prompt a command may show. Anything not scripted is counted in
// `unexpected` and answered so that the command ends. The tag questions are asked in the real tag
// dialog (setTagDialog), shown through showModal below.
class ScriptedPrompts : public WindowPrompts {
public:
    // inputQuery answers in turn; nullopt stands for Cancel. Unscripted: OK with "x.mp3", which
    // also ends a long-name loop.
    QList<std::optional<QString>> inputs;
    QList<SeenPrompt> seenInputs;
    // errorQuestion answers in turn (true: Yes). Unscripted: to `real` when set, else No.
    QList<bool> answers;
    QStringList questions;
    QtPrompts* real = nullptr;
    // Dialogs are shown for real: `onShow` sees each one first, then the next step plays on it
    // (and should press one of its buttons). A dialog left open is rejected and counted.
    std::function<void(QDialog&)> onShow;
    QList<std::function<void(QDialog&)>> steps;
    int showings = 0;
    int unexpected = 0;

    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override {
        seenInputs.append({caption, prompt, value});
        if (inputs.isEmpty()) {
            ++unexpected;
            value = QStringLiteral("x.mp3");
            return true;
        }
        const std::optional<QString> answer = inputs.takeFirst();
        if (answer)
            value = *answer;
        return answer.has_value();
    }
    QString inputBox(const QString&, const QString&, const QString& text) override {
        ++unexpected;
        return text;
    }
    bool errorQuestion(const QString& text) override {
        questions.append(text);
        if (!answers.isEmpty())
            return answers.takeFirst();
        if (real)
            return real->errorQuestion(text);
        ++unexpected;
        return false;
    }
    // What notice() was given, in turn.
    QStringList notices;
    void notice(const QString& text) override { notices.append(text); }
    int showModal(QDialog& dialog) override {
        const qsizetype step = showings++;
        if (onShow)
            onShow(dialog);
        dialog.setResult(QDialog::Rejected);
        dialog.show();
        if (!QTest::qWaitForWindowActive(&dialog))
            ++unexpected;
        if (step < steps.size() && steps.at(step))
            steps.at(step)(dialog);
        if (dialog.isVisible()) {
            ++unexpected;
            dialog.reject();
        }
        return dialog.result();
    }
};

// A named child widget; the test stops when there is none.
template <typename T> T* Named(const QObject* parent, const char* name) {
    T* child = parent->findChild<T*>(QLatin1String(name));
    if (!child)
        qFatal("no widget named %s", name);
    return child;
}
