#pragma once

#include "cli/CliOptions.h"
#include "commands/Prompts.h"

#include <QString>
#include <cstdio>

// The longest name, extension kept, that a name over 64 characters is cut to: its first
// characters and its last four (the extension, as the formats count it), 64 in all.
QString CutFilename(const QString& name);

// The questions a command asks, answered the way the command line said: by an option, else
// on the terminal when standard input is one. With neither, a question ends the command at that
// file: it throws CommandError saying which option answers it, and never waits.
class CliPrompts : public Prompts {
public:
    // `terminal`: where questions are read (null: no terminal); they are written to standard error.
    CliPrompts(const CliOptions& options, std::FILE* terminal) : options_(options), terminal_(terminal) {}

    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override;
    QString inputBox(const QString& caption, const QString& prompt, const QString& defaultText) override;
    bool errorQuestion(const QString& text) override;
    void notice(const QString& text) override;
    // --cut saves the text as offered (cut to 30 characters); at the terminal a new text may be
    // typed instead.
    bool shortenLongText(LongField which, const QString& fileName, TagTexts& tag) override;
    // morwick-cli has no Edit tags: never asked.
    bool editTag(TagEdit& edit) override;

    // Whether a question was interrupted (Ctrl+C while it waited for its answer).
    bool interrupted() const { return interrupted_; }

private:
    // One line from the terminal, without its line end; nothing at its end or on Ctrl+C.
    std::optional<QString> readLine();
    [[noreturn]] void noTerminal(const QString& question, const QString& options);

    const CliOptions& options_;
    std::FILE* terminal_;
    bool interrupted_ = false;
};

// Standard error as the commands' messages use it: "morwick-cli: " and the message, with a
// full stop as the window's error box adds one.
void PrintError(const QString& message);
