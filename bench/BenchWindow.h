#pragma once

// The main window, offscreen, driven as a person would, with scripted answers to its prompts
// and a probe on what the file list does while a command runs.

#include "app/MainWindow.h"
#include "app/dialogs/TagDialog.h"
#include "app/dialogs/WindowPrompts.h"
#include "bench/BenchSupport.h"

#include <QObject>
#include <QString>

class QEvent;
class QItemSelectionModel;

class ScriptedPrompts : public WindowPrompts {
public:
    int asked = 0;
    bool inputQuery(const QString&, const QString&, QString&) override { return ++asked, false; }
    QString inputBox(const QString&, const QString&, const QString& defaultText) override {
        return ++asked, defaultText;
    }
    bool errorQuestion(const QString&) override { return ++asked, true; }
    int showModal(QDialog&) override { return ++asked, QDialog::Rejected; }
    void notice(const QString&) override { ++asked; }
};

// What the window does while a command runs: selection signals, repaints, status line.
class WindowProbe : public QObject {
public:
    explicit WindowProbe(MainWindow& w);
    // The list gets a new selection model only when its model changes; call after a reread to be sure.
    void attachModel();
    void reset();
    bool statusChanged() const;

    int selectionSignals = 0, modelSignals = 0, paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override;

private:
    MainWindow& window_;
    QItemSelectionModel* model_ = nullptr;
    QString status_;
};

class BenchWindow {
public:
    BenchWindow();
    BenchWindow(const BenchWindow&) = delete;
    BenchWindow& operator=(const BenchWindow&) = delete;

    MainWindow mainWindow;
    TagDialog tagDialog{&mainWindow};
    ScriptedPrompts prompts;
    WindowProbe* probe = nullptr;

    // The window's child called `name`; ends the run when there is none.
    template <typename T> T* find(const char* name) {
        T* w = mainWindow.findChild<T*>(QLatin1String(name));
        if (!w)
            die(name);
        return w;
    }
    void open(const QString& dir);
    void selectAll();
    void setFormat(FilenameFormat format);
    // Chooses a menu item (a setting such as "actionNumbersDot") as a click would.
    void trigger(const char* action);
    // Runs a command on every listed file, until the window is back in its event loop.
    // With `cpu`, the CPU time of the same span goes there.
    double run(void (MainWindow::*command)(), double* cpu = nullptr);
    // The same, timed also until a syncfs after it has put the command's writes on disk.
    Durable runDurable(void (MainWindow::*command)());
    // The probe's findings for one command over n files, one check line per command.
    void noteProbe(Report& report, const char* command, int files, double seconds) const;
};
