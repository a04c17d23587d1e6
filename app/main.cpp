// Morwick: tidies an MP3 collection: tags from names, names from tags, and tidy names.
#include "app/AboutBox.h"
#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/ProgramIcon.h"
#include "app/dialogs/TagDialog.h"
#include "app/dialogs/TitleRoom.h"
#include "core/Journal.h"

#include <QApplication>
#include <QMessageBox>
#include <csignal>
#include <cstdio>

namespace {

// Qt aborts when it cannot reach a display; say plainly what is missing instead.
bool displayAvailable() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationVersion(ProgramVersion());
    // --help and --version answer in a terminal without a display.
    if (const StartRequest early = ParseCommandLine(CommandLineArguments(argc, argv));
        early.action == StartAction::Help || early.action == StartAction::Version)
        return PrintStartAnswer(early);
    if (!displayAvailable()) {
        std::fprintf(stderr,
                     "morwick: no display found. Morwick is a desktop program: start it in a graphical "
                     "session (DISPLAY or WAYLAND_DISPLAY must be set).\n");
        return 1;
    }
    // A write past the file-size limit must fail as a disk-full error, not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    StartLateCloses();

    QApplication app(argc, argv);
    SetProgramIdentity();
    // Read again now that QApplication has taken out its own options (such as -platform).
    const StartRequest request = ParseCommandLine(CommandLineArguments(argc, argv));
    if (request.action != StartAction::Open)
        return PrintStartAnswer(request);

    // What a killed Morwick left half done is finished before any folder is shown.
    const JournalReport recovery = RecoverJournal();
    // The main window first (its creation loads the settings), then the two dialogs, which
    // live hidden until their commands show them.
    MainWindow window;
    TagDialog tagDialog(&window);
    AboutBox aboutBox(&window);
    window.setDialogs(&tagDialog, &aboutBox);
    window.show();
    // Said once: what recovery found that only the user can mend.
    if (!recovery.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Morwick"), recovery.text(), QMessageBox::Ok,
                        &window);
        MakeRoomForTitle(box);
        box.exec();
    }
    if (!request.folder.isEmpty())
        window.openFromCommandLine(request.folder, request.files);
    return QApplication::exec();
}
