#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

// Runs the real morwick-cli as a script would: no display of any kind in its environment, its
// standard input at its end (not a terminal), settings and journal from the folders given.
struct CliRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

inline CliRun RunMorwickCli(const QStringList& arguments, const QString& workDir, const QString& configHome,
                            const QString& stateHome) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    env.insert(QStringLiteral("XDG_STATE_HOME"), stateHome);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workDir);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral(MORWICK_CLI_EXECUTABLE), arguments);
    CliRun run;
    // A question that waited for an answer would hang here: the test's own timeout catches it.
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        run.err = "morwick-cli did not end by itself";
        return run;
    }
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}
