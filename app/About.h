#pragma once

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;
class QPushButton;

// Morwick's own addresses, shown in the about box.
inline constexpr const char* kMorwickEmail = "team@morwick.example";
inline constexpr const char* kMorwickWeb = "https://morwick.example/";

// The about box: the program's name, version, credits and addresses, and how many files the
// user has tagged. Created once, hidden, and shown modally as often as asked.
class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr);

    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* Button1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Rewrites the counter line from the tagged-files counter in memory.
    void FormShow();
    void setLine(int index, const QString& text);

    QStringList lines_;
};
