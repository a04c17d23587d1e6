// morwick-cli: Morwick's batch commands without a window, for a terminal, ssh or a script.
#include "cli/CliOptions.h"
#include "cli/CliPrompts.h"
#include "cli/CliRun.h"
#include "cli/CliSignals.h"
#include "core/FileName.h"
#include "core/Journal.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[]) {
    // Qt Core alone: no display is looked for, none is needed.
    QCoreApplication app(argc, argv);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(DecodeFileName(QByteArray(argv[i])));
    const ParsedCommandLine parsed = ParseCliArguments(arguments);
    switch (parsed.action) {
    case ParsedCommandLine::Action::Help:
    case ParsedCommandLine::Action::Version:
        std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
        return kExitDone;
    case ParsedCommandLine::Action::Mistake:
        std::fputs(parsed.text.toLocal8Bit().constData(), stderr);
        return kExitUsage;
    case ParsedCommandLine::Action::Run:
        break;
    }
    // A write past the file-size limit must fail as a disk-full error, not kill the program; nor
    // may a reader that stops reading (| head) end it in the middle of a batch.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    // What a killed Morwick left half done is finished before anything else is touched.
    const JournalReport recovery = RecoverJournal();
    for (const QString& note : recovery.notes)
        PrintError(note);
    InstallStopHandler();
    // Questions are asked only of a person at a terminal; a script's input is never read.
    std::FILE* terminal = ::isatty(STDIN_FILENO) == 1 ? stdin : nullptr;
    return RunCli(parsed.options, terminal);
}
