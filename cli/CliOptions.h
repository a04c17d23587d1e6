#pragma once

#include "core/Id3Tag.h"
#include "naming/Formats.h"

#include <QString>
#include <QStringList>
#include <optional>

// What morwick-cli was asked to do, as its command line says it. Every option that is not
// given stays empty, so that the settings file decides it.

enum class CliCommand { Tag, RenameFromTags, Trim, Replace, RemoveTags, Show, Undo };

// How a question about a name over 64 characters or a title over 30 is answered.
enum class LongAnswer {
    Ask,  // as the settings say, on the terminal
    Cut,  // asked, and answered by cutting
    Skip, // not asked: the text stays as it is
};

struct CliOptions {
    CliCommand command = CliCommand::Show;
    QStringList paths;
    bool recursive = false;
    bool json = false;
    bool dryRun = false;
    bool yes = false; // "Continue batch?" after a filename format error answers Yes
    LongAnswer longAnswer = LongAnswer::Ask;

    std::optional<FilenameFormat> format;
    std::optional<DirnameFormat> dirnameFormat;
    std::optional<NameCase> nameCase;
    std::optional<TrackSeparator> separator;
    std::optional<bool> id3v2;
    std::optional<QString> artist;
    std::optional<QString> album;
    std::optional<QString> year;
    std::optional<QString> comment;
    std::optional<int> genre; // the genre's byte
    std::optional<Id3FieldMask> fields;
    QString search;      // replace
    QString replacement; // replace
};

// What the command line asks for: a run, a help text or the version (both printed on standard
// output), or a usage mistake (its text printed on standard error, exit status 2).
struct ParsedCommandLine {
    enum class Action { Run, Help, Version, Mistake };
    Action action = Action::Run;
    CliOptions options;
    QString text;
};

// Reads the arguments (the program's name first). Never throws.
ParsedCommandLine ParseCliArguments(const QStringList& arguments);

// The subcommand's name on the command line ("rename-from-tags").
QString SubcommandName(CliCommand command);

// The general usage, or one subcommand's ("tag", "trim", ...); empty for an unknown name.
QString CliHelp(const QString& subcommand = {});
