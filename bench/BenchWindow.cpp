#include "bench/BenchWindow.h"

#include "app/FileList.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QItemSelectionModel>
#include <QTimer>
#include <cstdlib>

WindowProbe::WindowProbe(MainWindow& w) : QObject(&w), window_(w) {
    FileList* list = w.fileList();
    connect(list, &QListWidget::itemSelectionChanged, this, [this] { ++selectionSignals; });
    list->viewport()->installEventFilter(this);
    attachModel();
}

void WindowProbe::attachModel() {
    QItemSelectionModel* model = window_.fileList()->selectionModel();
    if (model == model_)
        return;
    model_ = model;
    connect(model, &QItemSelectionModel::selectionChanged, this, [this] { ++modelSignals; });
}

void WindowProbe::reset() {
    selectionSignals = modelSignals = paints = 0;
    status_ = window_.statusText();
}

bool WindowProbe::statusChanged() const {
    return window_.statusText() != status_;
}

bool WindowProbe::eventFilter(QObject*, QEvent* e) {
    if (e->type() == QEvent::Paint)
        ++paints;
    return false;
}

BenchWindow::BenchWindow() {
    mainWindow.setDialogs(&tagDialog, nullptr);
    mainWindow.setPrompts(&prompts);
    mainWindow.show();
    QApplication::processEvents();
    probe = new WindowProbe(mainWindow);
    // A modal error box would wait for a person: report it and stop instead.
    auto* watchdog = new QTimer(&mainWindow);
    QObject::connect(watchdog, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            std::fprintf(stderr, "bench_suite: a modal window appeared: %s\n",
                         qPrintable(modal->windowTitle()));
            std::exit(3);
        }
    });
    watchdog->start(200);
}

void BenchWindow::open(const QString& dir) {
    mainWindow.openDirectory(dir);
    QApplication::processEvents();
    probe->attachModel();
}

void BenchWindow::selectAll() {
    mainWindow.fileList()->setAllSelected(true);
    QApplication::processEvents();
}

void BenchWindow::setFormat(FilenameFormat format) {
    find<QAbstractButton>(qPrintable(QStringLiteral("filenameFormatRadio%1").arg(int(format))))
        ->setChecked(true);
}

void BenchWindow::trigger(const char* action) {
    find<QAction>(action)->trigger();
}

double BenchWindow::run(void (MainWindow::*command)(), double* cpu) {
    selectAll();
    probe->reset();
    return timed(
        [&] {
            (mainWindow.*command)();
            QApplication::processEvents();
        },
        cpu);
}

Durable BenchWindow::runDurable(void (MainWindow::*command)()) {
    selectAll();
    probe->reset();
    return timedDurable([&] {
        (mainWindow.*command)();
        QApplication::processEvents();
    });
}

void BenchWindow::noteProbe(Report& report, const char* command, int files, double seconds) const {
    const WindowProbe& p = *probe;
    char buf[320];
    std::snprintf(
        buf, sizeof buf,
        "%-22s over %6d files: %d selection signals, %d model signals, %d list repaints, status line "
        "%s, %.1f us per file",
        command, files, p.selectionSignals, p.modelSignals, p.paints,
        p.statusChanged() ? "CHANGED" : "unchanged", seconds / files * 1e6);
    // One line per command: the last run's.
    char key[64];
    std::snprintf(key, sizeof key, "%-22s over", command);
    report.setCheck(key, buf);
}
