#include "app/Shell.h"

#include "core/Directory.h"
#include "core/FileName.h"
#include "core/PosixFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStringList>
#include <cerrno>
#include <unistd.h>

namespace {

ShellOpenHook& Hook() {
    static ShellOpenHook hook;
    return hook;
}

// The opener runs with its own working directory, so it gets an absolute path.
QString AbsolutePath(const QString& file) {
    if (file.startsWith(QLatin1Char('/')))
        return file;
    const QString cwd = WorkingDirectory();
    if (cwd.isEmpty())
        return file;
    return cwd.endsWith(QLatin1Char('/')) ? cwd + file : cwd + QLatin1Char('/') + file;
}

// A process argument made from a QString reaches the program as UTF-8, which cannot carry a
// name holding bytes that are not UTF-8. Such a name goes to the opener as a file URL with
// its bytes percent-encoded, which xdg-open turns back into the very same bytes.
QString OpenerArgument(const QString& path) {
    const QByteArray bytes = EncodeFileName(path);
    if (bytes == path.toUtf8())
        return path;
    return QStringLiteral("file://") + QString::fromLatin1(bytes.toPercentEncoding("/"));
}

// Everything goes to the desktop's opener, never to exec: any song can carry an execute bit (every
// file on many FAT and NTFS mounts, or a download), and handing it to the system to run would run
// whatever it holds.
void OpenWithDesktop(const QString& file, const QString& directory) {
    if (file.isEmpty())
        return;
    QProcess::startDetached(QStringLiteral("xdg-open"), {OpenerArgument(AbsolutePath(file))}, directory);
}

} // namespace

void SetShellOpenHook(ShellOpenHook hook) {
    Hook() = std::move(hook);
}

void ShellOpen(const QString& file, const QString& parameters, const QString& directory, int showCommand) {
    if (Hook())
        Hook()(file, parameters, directory, showCommand);
    else
        OpenWithDesktop(file, directory);
}

void PlayFile(bool anySelected, const QString& focusedName) {
    if (!anySelected || focusedName.isEmpty())
        return;
    ShellOpen(focusedName, QString(), QString(), kShowNoActivate);
}

void ExploreDirectory(const QString& currentDir) {
    ShellOpen(currentDir, QString(), QString(), kShowNoActivate);
}

QStringList HelpDocumentFolders(const QString& programDir) {
    // MORWICK_HELP_FROM_BINDIR is where the build installs the documents, relative to the
    // installed program file's folder. cleanPath works on the text alone, so names that are
    // not UTF-8 pass through.
    return {programDir,
            QDir::cleanPath(programDir + QLatin1Char('/') + QStringLiteral(MORWICK_HELP_FROM_BINDIR))};
}

QString FindHelpDocument(const QString& programDir, const QString& documentName) {
    for (const QString& folder : HelpDocumentFolders(programDir)) {
        const QString path = folder + QLatin1Char('/') + documentName;
        if (FileExists(path))
            return path;
    }
    return {};
}

void OpenHelpDocument(const QString& documentName) {
    const QString path = FindHelpDocument(QCoreApplication::applicationDirPath(), documentName);
    if (!path.isEmpty())
        ShellOpen(path, QString(), QString(), kShowNormal);
}
