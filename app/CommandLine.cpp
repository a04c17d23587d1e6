#include "app/CommandLine.h"

#include "core/FileName.h"
#include "core/PosixFile.h"

#include <QCommandLineParser>
#include <cstdio>

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
    parser.addPositionalArgument(
        QStringLiteral("FOLDER"),
        QStringLiteral("The folder to open (an MP3 file: its folder). Without it Morwick opens the "
                       "folder it was started in."),
        QStringLiteral("[FOLDER]"));

    const bool parsed = parser.parse(arguments);
    // Help and version answer even beside a mistake, as asking for help is often the way out.
    if (parser.isSet(help))
        return {StartAction::Help, {}, UsageText(parser)};
    if (parser.isSet(version))
        return {StartAction::Version, {}, QStringLiteral("Morwick ") + ProgramVersion()};
    if (!parsed)
        return {StartAction::Mistake, {}, parser.errorText() + QLatin1Char('\n') + UsageText(parser)};
    const QStringList folders = parser.positionalArguments();
    if (folders.size() > 1)
        return {
            StartAction::Mistake, {}, QStringLiteral("Only one folder can be opened.\n") + UsageText(parser)};
    if (folders.isEmpty())
        return {};
    return {StartAction::Open, FolderToOpen(folders.first()), {}};
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
