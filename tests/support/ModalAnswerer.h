#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

class QWidget;

// Answers the modal windows a test opens. Each answer in the queue is run, in order, on the
// next modal widget that becomes active; it is expected to close that widget (press a
// button). A modal widget with no answer left, or one an answer failed to close after a
// failed check, is closed by the answerer (reject) so that the test ends instead of hanging;
// the first case is also reported as a test failure.
class ModalAnswerer : public QObject {
    Q_OBJECT

public:
    using Answer = std::function<void(QWidget* modal)>;

    explicit ModalAnswerer(QList<Answer> answers = {});
    void add(Answer answer) { answers_.append(std::move(answer)); }
    // Answers not used yet.
    int remaining() const { return int(answers_.size()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void poll();

    QList<Answer> answers_;
    QTimer timer_;
};

// What one InputQuery/InputBox dialog showed: its title, prompt label and pre-filled value.
struct SeenPrompt {
    QString title;
    QString prompt;
    QString value;
    bool operator==(const SeenPrompt&) const = default;
};
// For QCOMPARE's failure messages.
char* toString(const SeenPrompt& seen);

// An answer for the InputQuery dialog: appends what it showed to `seen` (when given), then
// types `text` and presses OK, or presses Cancel when `text` is nullopt.
ModalAnswerer::Answer AnswerInput(std::optional<QString> text, QList<SeenPrompt>* seen = nullptr);

// An answer for the program's error box: checks it is the error box titled "Morwick", notes its
// text in `text` (when given) and presses OK.
ModalAnswerer::Answer AnswerErrorBox(QString* text = nullptr);
