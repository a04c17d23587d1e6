#include "app/CommandLine.h"

#include "core/FileName.h"
#include "core/PosixFile.h"

#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>
#include <optional>

QString ProgramVersion() {
    return QStringLiteral(MORWICK_VERSION);
}

QString FolderToOpen(const QString& path) {
    if (!FileExists(path))
        return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

namespace {

// A path's bare name: what follows its last slash.
QString BareName(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The folder as the system resolves it (links and "..", made absolute); nullopt when it cannot.
std::optional<QByteArray> ResolvedFolder(const QString& folder) {
    char* real = ::realpath(EncodeFileName(folder).constData(), nullptr);
    if (real == nullptr)
        return std::nullopt;
    QByteArray resolved(real);
    std::free(real);
    return resolved;
}

// The parser names the program by the path it was started with; the usage names it as typed.
QString UsageText(const QCommandLineParser& parser) {
    QString text = parser.helpText();
    const QString usage = QStringLiteral("Usage: ");
    const qsizetype end = text.indexOf(QLatin1Char(' '), usage.size());
    if (text.startsWith(usage) && end > 0)
        text.replace(usage.size(), end - usage.size(), QStringLiteral("morwick"));
    return text;
}

} // namespace

StartRequest ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Morwick tidies a collection of MP3 files: tags from names, names from tags, "
                       "and tidy names."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    // The usage joins the two syntaxes with a space: "[FOLDER | FILE...]".
    parser.addPositionalArgument(
        QStringLiteral("FOLDER"),
        QStringLiteral("The folder to open. Without it Morwick opens the folder it was started in."),
        QStringLiteral("[FOLDER"));
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("MP3 files: their folder opens with them selected, the first "
                                                "one focused. Given files of several folders, the first "
                                                "one's folder opens with its files selected."),
                                 QStringLiteral("| FILE...]"));

    const bool parsed = parser.parse(arguments);
    // Help and version answer even beside a mistake, as asking for help is often the way out.
    if (parser.isSet(help))
        return {StartAction::Help, {}, UsageText(parser), {}};
    if (parser.isSet(version))
        return {StartAction::Version, {}, QStringLiteral("Morwick ") + ProgramVersion(), {}};
    if (!parsed)
        return {StartAction::Mistake, {}, parser.errorText() + QLatin1Char('\n') + UsageText(parser), {}};
    const QStringList paths = parser.positionalArguments();
    if (paths.isEmpty())
        return {};
    StartRequest request{StartAction::Open, FolderToOpen(paths.first()), {}, {}};
    const std::optional<QByteArray> folder = ResolvedFolder(request.folder);
    for (const QString& path : paths) {
        // Another spelling of the same folder ("./x.mp3" beside "/music/y.mp3") still counts.
        if (FileExists(path) && folder && ResolvedFolder(FolderToOpen(path)) == folder)
            request.files.append(BareName(path));
    }
    return request;
}

QStringList CommandLineArguments(int argc, const char* const* argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(DecodeFileName(QByteArray(argv[i])));
    return arguments;
}

int PrintStartAnswer(const StartRequest& request) {
    const bool mistake = request.action == StartAction::Mistake;
    QByteArray text = request.text.toLocal8Bit();
    if (!text.endsWith('\n'))
        text += '\n';
    std::fputs(text.constData(), mistake ? stderr : stdout);
    return mistake ? 1 : 0;
}
