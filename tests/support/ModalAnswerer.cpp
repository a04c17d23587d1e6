#include "support/ModalAnswerer.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace {

// Marks a widget as answered while it stays up; a dialog built later at the same address starts
// unmarked, and one shown again (the program keeps its dialogs) loses the mark when it hides.
const char* const kAnsweredProperty = "modalAnswererAnswered";

void closeModal(QWidget* modal) {
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
    else
        modal->close();
}

} // namespace

ModalAnswerer::ModalAnswerer(QList<Answer> answers) : answers_(std::move(answers)) {
    connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer_.start(5);
}

void ModalAnswerer::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal->property(kAnsweredProperty).toBool())
        return;
    modal->setProperty(kAnsweredProperty, true);
    modal->installEventFilter(this);
    if (answers_.isEmpty()) {
        closeModal(modal);
        QTest::qFail(qPrintable(QStringLiteral("unexpected modal window \"%1\"").arg(modal->windowTitle())),
                     __FILE__, __LINE__);
        return;
    }
    const Answer answer = answers_.takeFirst();
    answer(modal);
    if (QTest::currentTestFailed() && modal->isVisible())
        closeModal(modal);
}

bool ModalAnswerer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Hide) {
        watched->setProperty(kAnsweredProperty, false);
        watched->removeEventFilter(this);
    }
    return QObject::eventFilter(watched, event);
}

ModalAnswerer::Answer AnswerInput(std::optional<QString> text, QList<SeenPrompt>* seen) {
    return [text = std::move(text), seen](QWidget* modal) {
        auto* label = modal->findChild<QLabel*>(QStringLiteral("Prompt"));
        auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("Value"));
        auto* buttons = modal->findChild<QDialogButtonBox*>(QStringLiteral("Buttons"));
        QVERIFY(label != nullptr && edit != nullptr && buttons != nullptr);
        if (seen != nullptr)
            seen->append({modal->windowTitle(), label->text(), edit->text()});
        if (text) {
            edit->setText(*text);
            buttons->button(QDialogButtonBox::Ok)->click();
        } else {
            buttons->button(QDialogButtonBox::Cancel)->click();
        }
    };
}

char* toString(const SeenPrompt& seen) {
    return QTest::toString(QStringLiteral("[%1] %2: %3").arg(seen.title, seen.prompt, seen.value));
}

ModalAnswerer::Answer AnswerErrorBox(QString* text) {
    return [text](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        QCOMPARE(box->objectName(), QStringLiteral("errorBox"));
        QCOMPARE(box->windowTitle(), QStringLiteral("Morwick"));
        if (text)
            *text = box->text();
        box->button(QMessageBox::Ok)->click();
    };
}
