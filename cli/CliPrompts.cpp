#include "cli/CliPrompts.h"

#include "cli/CliSignals.h"
#include "commands/AskShortFilename.h"
#include "core/FileName.h"
#include "core/Id3Tag.h"
#include "core/IoError.h"
#include "core/TextLength.h"

#include <cerrno>
#include <unistd.h>

namespace {

constexpr int kExtensionChars = 4;

void writeError(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

// A question starts on a clean line: the progress may stand where it is asked.
void writeQuestion(const QString& text) {
    if (::isatty(STDERR_FILENO) == 1)
        std::fputs("\r\033[K", stderr);
    writeError(text);
}

} // namespace

QString CutFilename(const QString& name) {
    const qsizetype chars = CharCount(name);
    if (chars <= kShortFilenameLimit)
        return name;
    return LeftChars(name, kShortFilenameLimit - kExtensionChars) + MidChars(name, chars - kExtensionChars);
}

void PrintError(const QString& message) {
    writeError(QStringLiteral("morwick-cli: ") + ErrorSentence(message) + QLatin1Char('\n'));
}

std::optional<QString> CliPrompts::readLine() {
    // Byte by byte from the descriptor, not through stdio: a buffer could hold an answer typed
    // ahead where the wait for input does not see it.
    const int fd = ::fileno(terminal_);
    QByteArray line;
    for (;;) {
        char c = 0;
        ssize_t got = -1;
        if (WaitForInput(fd)) {
            got = ::read(fd, &c, 1);
            if (got < 0 && errno == EINTR)
                continue;
        }
        if (got <= 0) {
            if (StopRequested())
                interrupted_ = true;
            if (interrupted_ || line.isEmpty())
                return std::nullopt;
            break;
        }
        if (c == '\n')
            break;
        line.append(c);
    }
    return QString::fromLocal8Bit(line);
}

void CliPrompts::noTerminal(const QString& question, const QString& options) {
    if (interrupted_)
        ThrowError(QStringLiteral("Stopped while asking: ") + question);
    ThrowError(question + QStringLiteral(" (no terminal to answer; ") + options + QLatin1Char(')'));
}

bool CliPrompts::inputQuery(const QString& caption, const QString& prompt, QString& value) {
    // The long-name question is the one a command asks here.
    if (options_.longAnswer == LongAnswer::Cut) {
        value = CutFilename(value);
        return true;
    }
    const QString question = caption + QLatin1Char(' ') + DisplayFileName(value);
    if (!terminal_)
        noTerminal(question, QStringLiteral("--cut cuts it to 64 characters, --skip keeps it"));
    writeQuestion(QStringLiteral("%1\n  %2\n%3 (empty: cut to %4 characters): ")
                      .arg(caption, DisplayFileName(value), prompt)
                      .arg(kShortFilenameLimit));
    const std::optional<QString> line = readLine();
    if (!line)
        noTerminal(question, QStringLiteral("--cut cuts it to 64 characters, --skip keeps it"));
    value = line->isEmpty() ? CutFilename(value) : *line;
    return true;
}

QString CliPrompts::inputBox(const QString& caption, const QString&, const QString&) {
    ThrowError(caption + QStringLiteral(": not asked on the command line"));
}

bool CliPrompts::errorQuestion(const QString& text) {
    if (options_.yes)
        return true;
    if (!terminal_)
        noTerminal(text, QStringLiteral("--yes answers Yes"));
    for (;;) {
        writeQuestion(text + QStringLiteral(" [Y/n] "));
        const std::optional<QString> line = readLine();
        if (!line)
            noTerminal(text, QStringLiteral("--yes answers Yes"));
        const QString answer = line->trimmed().toLower();
        // Yes is the box's default button, as Enter takes it.
        if (answer.isEmpty() || answer == QLatin1String("y") || answer == QLatin1String("yes"))
            return true;
        if (answer == QLatin1String("n") || answer == QLatin1String("no"))
            return false;
    }
}

bool CliPrompts::shortenLongText(LongField which, const QString& fileName, TagTexts& tag) {
    if (options_.longAnswer == LongAnswer::Cut)
        return true;
    const bool title = which == LongField::Title;
    const QString caption = title ? QStringLiteral("Song name exceeds 30 characters!")
                                  : QStringLiteral("Artist name exceeds 30 characters!");
    const QString question = caption + QLatin1Char(' ') + fileName;
    const QString options =
        QStringLiteral("--cut saves it cut to 30 characters, --skip does so without asking");
    if (!terminal_)
        noTerminal(question, options);
    QString& text = title ? tag.title : tag.artist;
    writeQuestion(
        QStringLiteral("%1\n  %2\n%3 (empty: \"%4\"): ")
            .arg(caption, fileName, title ? QStringLiteral("Title") : QStringLiteral("Artist"), text));
    const std::optional<QString> line = readLine();
    if (!line)
        noTerminal(question, options);
    // The dialog's field holds 30 characters.
    if (!line->isEmpty())
        text = LeftChars(*line, kTextWidth);
    return true;
}

bool CliPrompts::editTag(TagEdit&) {
    return false;
}

void CliPrompts::notice(const QString& text) {
    writeError(QStringLiteral("morwick-cli: ") + ErrorSentence(text) + QLatin1Char('\n'));
}
