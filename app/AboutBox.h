#pragma once

#include <QDialog>
#include <QStringList>
#include <cstdint>

class QPlainTextEdit;
class QPushButton;

// Morwick's own addresses, shown in the about box.
inline constexpr const char* kMorwickEmail = "team@morwick.example";
inline constexpr const char* kMorwickWeb = "https://morwick.example/";

// The about box: the program's name, version, credits and addresses, and how many files the
// user has tagged. Created once, hidden, and shown modally as often as asked.
class AboutBox : public QDialog {
    Q_OBJECT

public:
    explicit AboutBox(QWidget* parent = nullptr);

    // The number the counter line shows the next time the box is shown.
    void setTaggedFiles(int32_t count);

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Rewrites the counter line from the tagged-files count.
    void showCounter();
    void setLine(int index, const QString& text);

    QPlainTextEdit* text_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QStringList lines_;
    int32_t taggedFiles_ = 0;
};
