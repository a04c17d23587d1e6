#include "cli/CliOptions.h"

#include "cli/CliNames.h"

#include <QHash>
#include <functional>

namespace {

struct SubcommandInfo {
    const char* name;
    CliCommand command;
    int operands; // fixed operands before the paths (replace's OLD and NEW)
};

constexpr SubcommandInfo kSubcommands[] = {
    {"tag", CliCommand::Tag, 0},
    {"rename-from-tags", CliCommand::RenameFromTags, 0},
    {"trim", CliCommand::Trim, 0},
    {"replace", CliCommand::Replace, 2},
    {"remove-tags", CliCommand::RemoveTags, 0},
    {"show", CliCommand::Show, 0},
    {"undo", CliCommand::Undo, 0},
};

const SubcommandInfo* findSubcommand(const QString& name) {
    for (const SubcommandInfo& info : kSubcommands) {
        if (name == QLatin1String(info.name))
            return &info;
    }
    return nullptr;
}

// Which subcommands take an option; the global ones are taken everywhere.
enum OptionUse : unsigned {
    UseTag = 1u << int(CliCommand::Tag),
    UseFromTags = 1u << int(CliCommand::RenameFromTags),
    UseTrim = 1u << int(CliCommand::Trim),
    UseReplace = 1u << int(CliCommand::Replace),
    UseShow = 1u << int(CliCommand::Show),
    UseAll = ~0u,
};

const char kUsage[] =
    "Usage: morwick-cli [-r] [--json] [--yes] [--cut|--skip] SUBCOMMAND [OPTIONS] PATH...\n";

const char kGeneralHelp[] =
    "Tags, renames and tidies MP3 files without a window: the commands of Morwick's window over\n"
    "files and folders, with the same settings (morwick.ini) and the same Undo.\n"
    "\n"
    "Subcommands:\n"
    "  tag               write ID3v1.1 tags from file and folder names and the given fields\n"
    "  rename-from-tags  rename files from their tags\n"
    "  trim              trim and re-case file names\n"
    "  replace OLD NEW   replace text in file names\n"
    "  remove-tags       remove ID3v1, ID3v2 and Lyrics3 tags\n"
    "  show              print tags and stream facts\n"
    "  undo              take back the last command, of the window or of morwick-cli\n"
    "  help SUBCOMMAND   the options of a subcommand\n"
    "\n"
    "A PATH is an MP3 file or a folder: a folder means its *.mp3 files, in the order the window\n"
    "lists them. Options not given come from morwick.ini; nothing is saved.\n"
    "\n"
    "Options for every subcommand (before or after it):\n"
    "  -r, --recursive   go into subfolders too\n"
    "      --json        one JSON object per line instead of text\n"
    "  -y, --yes         answer Yes to \"Continue batch?\" after a filename format error\n"
    "      --cut         cut a name over 64 characters, or a title or artist over 30\n"
    "      --skip        keep such names and titles as they are, without asking\n"
    "  -h, --help        print help and exit\n"
    "      --version     print the version and exit\n"
    "\n"
    "Without --yes, --cut or --skip a question is asked on the terminal; without a terminal the\n"
    "command stops at that file with an error.\n"
    "\n"
    "Exit status: 0 done; 1 a file failed or the command stopped (the files before it stay\n"
    "done); 2 usage error; 130 stopped by Ctrl+C after the current file.\n";

const char kFormatHelp[] =
    "  -f, --format N|TEXT       filename format: 0 \"xx. song.mp3 / xx - song.mp3\",\n"
    "                            1 \"xx. artist - song.mp3 / xx - artist - song.mp3\",\n"
    "                            2 \"artist - song.mp3\", 3 \"song.mp3\", or none\n";

const char kSeparatorHelp[] = "      --numbers dot|dash    track numbers as \"xx. \" or \"xx - \"\n";

const char kId3v2Help[] = "      --id3v2, --no-id3v2   also use ID3v2 tags, or not (the setting id3v2)\n";

const char kDryRunHelp[] =
    "  -n, --dry-run             print old name, new name and note for each file; change nothing\n";

QString subcommandHelp(CliCommand command) {
    QString text;
    switch (command) {
    case CliCommand::Tag:
        text = QStringLiteral(
            "Usage: morwick-cli tag [OPTIONS] PATH...\n"
            "Writes an ID3v1.1 tag into each file: title, artist and track from its name under the\n"
            "filename format, artist and album from its folder's name under the dirname format, and\n"
            "the fields given. With ID3v2 tags on, the file's ID3v2 tag gets them too, whole.\n"
            "\n");
        text += QLatin1String(kFormatHelp);
        text += QStringLiteral(
            "  -d, --dirname-format N|TEXT  0 \"no artist / album fetching\", 1 \"artist - album\",\n"
            "                            2 \"artist \\ album\", 3 \"artist \\ album \\ disc \\\",\n"
            "                            4 \"artist\", 5 \"album\"\n"
            "      --artist TEXT         the Artist field (over what the folder name gives)\n"
            "      --album TEXT          the Album field\n"
            "      --year TEXT           the Year field\n"
            "      --comment TEXT        the Comment field\n"
            "      --genre NAME|N        the genre, by name or number (0..144)\n"
            "      --fields LIST         the fields to write, of title,artist,album,year,comment,\n"
            "                            track,genre (default: all)\n");
        text += QLatin1String(kId3v2Help);
        break;
    case CliCommand::RenameFromTags:
        text = QStringLiteral("Usage: morwick-cli rename-from-tags [OPTIONS] PATH...\n"
                              "Renames each file to the name its tag gives under the filename format.\n\n");
        text += QLatin1String(kFormatHelp);
        text += QLatin1String(kSeparatorHelp);
        text += QLatin1String(kId3v2Help);
        text += QLatin1String(kDryRunHelp);
        break;
    case CliCommand::Trim:
        text = QStringLiteral(
            "Usage: morwick-cli trim [OPTIONS] PATH...\n"
            "Trims each name, makes \"_\" blanks, rewrites a leading track number and re-cases it.\n\n");
        text += QLatin1String(kFormatHelp);
        text += QStringLiteral(
            "      --case capitalize|sentence  every word capitalised, or only the first letter\n");
        text += QLatin1String(kSeparatorHelp);
        text += QLatin1String(kDryRunHelp);
        break;
    case CliCommand::Replace:
        text = QStringLiteral(
            "Usage: morwick-cli replace [OPTIONS] OLD NEW PATH...\n"
            "Replaces OLD with NEW in each name (case-sensitive, extension included), again and\n"
            "again until OLD no longer occurs.\n\n");
        text += QLatin1String(kDryRunHelp);
        break;
    case CliCommand::RemoveTags:
        text = QStringLiteral("Usage: morwick-cli remove-tags PATH...\n"
                              "Removes every ID3v1, ID3v2 and Lyrics3 tag from each file.\n");
        break;
    case CliCommand::Show:
        text = QStringLiteral(
            "Usage: morwick-cli show [OPTIONS] PATH...\n"
            "Prints each file's tag and stream facts as the tag dialog shows them, and its tag\n"
            "as the status line shows it. Changes nothing.\n\n");
        text += QLatin1String(kId3v2Help);
        break;
    case CliCommand::Undo:
        text = QStringLiteral(
            "Usage: morwick-cli undo\n"
            "Takes back the last command that changed files, run in the window or by morwick-cli:\n"
            "the same journal and Undo as Edit > Undo.\n");
        break;
    }
    if (command != CliCommand::Undo)
        text += QStringLiteral("\nWith -r, --json, -y/--yes, --cut, --skip as in 'morwick-cli --help'.\n");
    return text;
}

// A value's spelling, matched without regard to case, or its number.
template <typename T>
std::optional<T> pick(const QString& value, const QList<std::pair<QStringList, T>>& choices) {
    for (const auto& [names, result] : choices) {
        for (const QString& name : names) {
            if (value.compare(name, Qt::CaseInsensitive) == 0)
                return result;
        }
    }
    return std::nullopt;
}

std::optional<Id3FieldMask> parseFields(const QString& list) {
    Id3FieldMask mask{false, false, false, false, false, false, false};
    const std::pair<const char*, bool Id3FieldMask::*> names[] = {
        {"title", &Id3FieldMask::title}, {"artist", &Id3FieldMask::artist},   {"album", &Id3FieldMask::album},
        {"year", &Id3FieldMask::year},   {"comment", &Id3FieldMask::comment}, {"track", &Id3FieldMask::track},
        {"genre", &Id3FieldMask::genre}};
    for (const QString& part : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool known = false;
        for (const auto& [name, member] : names) {
            if (part.trimmed().compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
                mask.*member = true;
                known = true;
            }
        }
        if (!known)
            return std::nullopt;
    }
    return mask;
}

ParsedCommandLine mistake(const QString& text) {
    ParsedCommandLine parsed;
    parsed.action = ParsedCommandLine::Action::Mistake;
    parsed.text = QStringLiteral("morwick-cli: ") + text + QLatin1Char('\n') + QLatin1String(kUsage) +
                  QStringLiteral("Try 'morwick-cli --help' for more information.\n");
    return parsed;
}

} // namespace

QString SubcommandName(CliCommand command) {
    for (const SubcommandInfo& info : kSubcommands) {
        if (info.command == command)
            return QLatin1String(info.name);
    }
    return {};
}

QString CliHelp(const QString& subcommand) {
    if (subcommand.isEmpty())
        return QLatin1String(kUsage) + QLatin1Char('\n') + QLatin1String(kGeneralHelp);
    const SubcommandInfo* info = findSubcommand(subcommand);
    return info ? subcommandHelp(info->command) : QString();
}

ParsedCommandLine ParseCliArguments(const QStringList& arguments) {
    ParsedCommandLine parsed;
    CliOptions& o = parsed.options;
    const SubcommandInfo* sub = nullptr;
    bool help = false;
    bool helpSubcommand = false; // "help SUBCOMMAND"
    QStringList operands;
    bool optionsEnd = false;

    // Options that take a value: what they set, and which subcommands take them.
    using Setter = std::function<bool(const QString&)>;
    struct ValueOption {
        QStringList names;
        unsigned use;
        Setter set;
    };
    const auto text = [](std::optional<QString>& field) {
        return [&field](const QString& value) {
            field = value;
            return true;
        };
    };
    const QList<ValueOption> valueOptions = {
        {{"-f", "--format"},
         UseTag | UseFromTags | UseTrim,
         [&](const QString& v) { return bool(o.format = FilenameFormatNamed(v)); }},
        {{"-d", "--dirname-format"},
         UseTag,
         [&](const QString& v) { return bool(o.dirnameFormat = DirnameFormatNamed(v)); }},
        {{"--artist"}, UseTag, text(o.artist)},
        {{"--album"}, UseTag, text(o.album)},
        {{"--year"}, UseTag, text(o.year)},
        {{"--comment"}, UseTag, text(o.comment)},
        {{"--genre"}, UseTag, [&](const QString& v) { return bool(o.genre = GenreNamed(v)); }},
        {{"--fields"}, UseTag, [&](const QString& v) { return bool(o.fields = parseFields(v)); }},
        {{"--case"},
         UseTrim,
         [&](const QString& v) {
             return bool(o.nameCase = pick<NameCase>(v, {{{"capitalize", "0"}, NameCase::Capitalize},
                                                         {{"sentence", "1"}, NameCase::Sentence}}));
         }},
        {{"--numbers"},
         UseFromTags | UseTrim,
         [&](const QString& v) {
             return bool(o.separator = pick<TrackSeparator>(
                             v, {{{"dot", "0", "xx.", "xx. title.mp3"}, TrackSeparator::Dot},
                                 {{"dash", "1", "xx -", "xx - title.mp3"}, TrackSeparator::Dash}}));
         }},
    };
    struct FlagOption {
        QStringList names;
        unsigned use;
        std::function<void()> set;
    };
    std::optional<LongAnswer> answer;
    QString answerName;
    bool answerConflict = false;
    const auto setAnswer = [&](LongAnswer a, const char* name) {
        if (answer && *answer != a)
            answerConflict = true;
        answer = a;
        answerName = QLatin1String(name);
    };
    const QList<FlagOption> flags = {
        {{"-r", "--recursive"}, UseAll, [&] { o.recursive = true; }},
        {{"--json"}, UseAll, [&] { o.json = true; }},
        {{"-y", "--yes"}, UseAll, [&] { o.yes = true; }},
        {{"--cut"}, UseAll, [&] { setAnswer(LongAnswer::Cut, "--cut"); }},
        {{"--skip"}, UseAll, [&] { setAnswer(LongAnswer::Skip, "--skip"); }},
        {{"-n", "--dry-run"}, UseFromTags | UseTrim | UseReplace, [&] { o.dryRun = true; }},
        {{"--id3v2"}, UseTag | UseFromTags | UseShow, [&] { o.id3v2 = true; }},
        {{"--no-id3v2"}, UseTag | UseFromTags | UseShow, [&] { o.id3v2 = false; }},
    };

    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString arg = arguments.at(i);
        const bool isOption = !optionsEnd && arg.size() > 1 && arg.startsWith(QLatin1Char('-'));
        if (!isOption) {
            if (!sub && !helpSubcommand) {
                if (arg == QLatin1String("help")) {
                    helpSubcommand = true;
                    continue;
                }
                sub = findSubcommand(arg);
                if (!sub)
                    return mistake(QStringLiteral("unknown subcommand '%1'").arg(arg));
                o.command = sub->command;
                continue;
            }
            if (helpSubcommand && !sub) {
                sub = findSubcommand(arg);
                if (!sub)
                    return mistake(QStringLiteral("unknown subcommand '%1'").arg(arg));
                continue;
            }
            operands.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnd = true;
            continue;
        }
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            help = true;
            continue;
        }
        if (arg == QLatin1String("--version")) {
            parsed.action = ParsedCommandLine::Action::Version;
            parsed.text = QStringLiteral("morwick-cli " MORWICK_VERSION "\n");
            return parsed;
        }
        // Before the subcommand only the options of every subcommand are taken.
        const unsigned use = sub ? 1u << int(sub->command) : 1u << 31;
        // "--name=value" as well as "--name value".
        const qsizetype equals = arg.startsWith(QLatin1String("--")) ? arg.indexOf(QLatin1Char('=')) : -1;
        const QString name = equals > 0 ? arg.left(equals) : arg;
        bool matched = false;
        for (const FlagOption& flag : flags) {
            if (!flag.names.contains(name))
                continue;
            if (equals > 0)
                return mistake(QStringLiteral("option '%1' takes no value").arg(name));
            if (!(flag.use & use))
                return mistake(QStringLiteral("option '%1' is not an option of '%2'").arg(name, sub->name));
            flag.set();
            matched = true;
        }
        for (const ValueOption& option : valueOptions) {
            if (matched || !option.names.contains(name))
                continue;
            if (!(option.use & use))
                return mistake(
                    sub ? QStringLiteral("option '%1' is not an option of '%2'").arg(name, sub->name)
                        : QStringLiteral("option '%1' goes after its subcommand").arg(name));
            QString value;
            if (equals > 0) {
                value = arg.mid(equals + 1);
            } else {
                if (i + 1 >= arguments.size())
                    return mistake(QStringLiteral("option '%1' needs a value").arg(name));
                value = arguments.at(++i);
            }
            if (!option.set(value))
                return mistake(QStringLiteral("invalid value '%1' for option '%2'").arg(value, name));
            matched = true;
        }
        if (!matched)
            return mistake(QStringLiteral("unknown option '%1'").arg(arg));
    }

    if (answerConflict)
        return mistake(QStringLiteral("--cut and --skip answer the same questions: give one of them"));
    if (answer)
        o.longAnswer = *answer;
    if (help || helpSubcommand) {
        parsed.action = ParsedCommandLine::Action::Help;
        parsed.text = CliHelp(sub ? QLatin1String(sub->name) : QString());
        return parsed;
    }
    if (!sub)
        return mistake(QStringLiteral("no subcommand given"));
    if (operands.size() < sub->operands)
        return mistake(QStringLiteral("'%1' needs OLD and NEW before its paths").arg(sub->name));
    if (sub->operands == 2) {
        o.search = operands.takeFirst();
        o.replacement = operands.takeFirst();
        if (o.search.isEmpty())
            return mistake(QStringLiteral("the text to replace is empty"));
    }
    if (sub->command == CliCommand::Undo) {
        if (!operands.isEmpty())
            return mistake(QStringLiteral("'undo' takes no paths: it takes back the last command"));
    } else if (operands.isEmpty()) {
        return mistake(QStringLiteral("no file or folder given"));
    }
    o.paths = operands;
    return parsed;
}
