#include "cli/CliRun.h"

#include "cli/CliFiles.h"
#include "cli/CliPrompts.h"
#include "cli/CliSignals.h"
#include "commands/BatchContext.h"
#include "commands/RemoveAllTagsCommand.h"
#include "commands/RenameFromTagsCommand.h"
#include "commands/RenamePreview.h"
#include "commands/SearchReplaceCommand.h"
#include "commands/Settings.h"
#include "commands/TagFilesCommand.h"
#include "commands/TrimFilenamesCommand.h"
#include "core/Directory.h"
#include "core/FileName.h"
#include "core/IoError.h"
#include "core/Journal.h"
#include "core/Mp3Info.h"
#include "core/PosixFile.h"
#include "core/StreamInfo.h"
#include "core/TagSummary.h"
#include "core/TagValues.h"
#include "core/TextLength.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {

// The most a field of the window takes while ID3v2 tags are used: a line edit's own limit.
constexpr int kWholeFieldLength = 32767;

// The settings as the window would start with them, each option given over its setting.
struct Effective {
    FilenameFormat format;
    DirnameFormat dirnameFormat;
    NameCase nameCase;
    TrackSeparator separator;
    bool useId3v2;
    bool askLongTitle;
    bool askLongFilename;
};

Effective effectiveSettings(const CliOptions& o) {
    // The window's defaults; a bad value stops the load there, as it does in the window, and what
    // was loaded before it still counts.
    StoredSettings s;
    try {
        LoadSettings(s);
    } catch (const CommandError& e) {
        PrintError(e.message());
    }
    Effective e;
    e.format = o.format.value_or(FilenameFormat(std::clamp(s.filenameFormat, -1, kFilenameFormatCount - 1)));
    e.dirnameFormat = o.dirnameFormat.value_or(s.dirnameFormat >= 0 && s.dirnameFormat < kDirnameFormatCount
                                                   ? DirnameFormat(s.dirnameFormat)
                                                   : DirnameFormat::Unselected);
    e.nameCase = o.nameCase.value_or(s.trim1 != 0 ? NameCase::Sentence : NameCase::Capitalize);
    e.separator = o.separator.value_or(s.trim2 != 0 ? TrackSeparator::Dash : TrackSeparator::Dot);
    e.useId3v2 = o.id3v2.value_or(s.id3v2 != 0);
    // --cut answers the questions, so they are asked; --skip keeps them from being asked.
    const auto ask = [&](int32_t setting) {
        return o.longAnswer == LongAnswer::Cut    ? true
               : o.longAnswer == LongAnswer::Skip ? false
                                                  : setting != 0;
    };
    e.askLongTitle = ask(s.ask);
    e.askLongFilename = ask(s.ask64);
    return e;
}

void writeOut(const QString& line) {
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

// A path as output shows it: the bytes of a name that is not UTF-8 as they are, so a script gets
// the very name back; JSON, which must be text, shows them as U+FFFD.
void writePathLine(const QString& line) {
    const QByteArray bytes = EncodeFileName(line) + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void writeJson(const QJsonObject& object) {
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

// "n of N" on standard error, in place, while standard error is a terminal; Ctrl+C is the Stop.
class CliProgress : public BatchProgress {
public:
    explicit CliProgress(int total) : total_(total), shown_(::isatty(STDERR_FILENO) == 1) {}
    void setDone(int done) { done_ = done; }
    void begin(int) override {}
    void advance(int handled) override {
        if (shown_) {
            std::fprintf(stderr, "\r%d of %d", done_ + handled, total_);
            std::fflush(stderr);
            drawn_ = true;
        }
    }
    void end() override { clear(); }
    bool stopRequested() override { return StopRequested(); }
    // Takes the line away before anything else is written there.
    void clear() {
        if (drawn_) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
            drawn_ = false;
        }
    }

private:
    int total_;
    int done_ = 0;
    bool shown_;
    bool drawn_ = false;
};

class Runner {
public:
    Runner(const CliOptions& options, std::FILE* terminal)
        : o_(options), terminal_(terminal), settings_(effectiveSettings(options)) {}

    int run() {
        if (o_.command == CliCommand::Undo)
            return undo();
        const GatheredFiles gathered = GatherFiles(o_.paths, o_.recursive);
        for (const QString& path : gathered.missing) {
            PrintError(DisplayFileName(path) + QStringLiteral(": ") + QLatin1String(kFileNotFound));
            status_ = kExitFailed;
        }
        for (const QString& text : gathered.unreadable) {
            PrintError(text);
            status_ = kExitFailed;
        }
        int total = 0;
        for (const FolderFiles& folder : gathered.folders)
            total += int(folder.names.size());
        CliProgress progress(total);
        int done = 0;
        // One command for Undo, however many folders it went through.
        const JournalCommand command;
        for (const FolderFiles& folder : gathered.folders) {
            try {
                EnterDirectory(folder.folder);
            } catch (const CommandError& e) {
                PrintError(DisplayFileName(folder.shown) + QStringLiteral(": ") + e.message());
                status_ = kExitFailed;
                continue;
            }
            progress.setDone(done);
            const bool goOn = runFolder(folder, progress);
            done += int(folder.names.size());
            if (!goOn)
                break;
        }
        if (o_.dryRun && !o_.json)
            printPreview();
        return status_;
    }

private:
    // One folder's batch; false when the command ends there.
    bool runFolder(const FolderFiles& folder, CliProgress& progress) {
        if (o_.command == CliCommand::Show)
            return show(folder);
        if (o_.dryRun)
            return preview(folder);
        // As the window does when it opens a folder: what a killed Morwick left there goes first.
        RemoveStaleTemporaries(folder.folder);
        FolderSelection files(folder.names);
        CliPrompts prompts(o_, terminal_);
        const BatchContext context{files, prompts, &progress};
        BatchReport report;
        try {
            report = runCommand(context, folder);
        } catch (const CommandError& e) {
            // A failure outside the batch loop (a folder that went away): nothing was changed.
            progress.clear();
            PrintError(DisplayFileName(folder.shown) + QStringLiteral(": ") + e.message());
            status_ = kExitFailed;
            return false;
        }
        progress.clear();
        for (const FileChange& change : files.changes())
            printChange(folder, change);
        std::fflush(stdout);
        if (report.error) {
            const QString name = report.stoppedAt ? folder.names.value(*report.stoppedAt) : QString();
            PrintError(DisplayFileName(folder.shown + name) + QStringLiteral(": ") + report.error->message());
            status_ = StopRequested() || prompts.interrupted() ? kExitInterrupted : kExitFailed;
            return false;
        }
        if (StopRequested()) {
            status_ = kExitInterrupted;
            return false;
        }
        if (report.stoppedAt) {
            // "Continue batch?" answered No: the batch ended there, as in the window.
            status_ = kExitFailed;
            return false;
        }
        return true;
    }

    // What the window's fields would hold for Tag files in `folder`: a field whose mark is off is
    // empty, as is Artist when the filename format gives it; Artist and Album come from the
    // folder's name under the dirname format unless given; while only ID3v1 tags are written a
    // field holds no more than its width, as the window's does.
    TagFilesOptions tagOptions(const FolderFiles& folder) const {
        const Id3FieldMask mask = o_.fields.value_or(Id3FieldMask{});
        const bool artistFromName = settings_.format == FilenameFormat::TrackArtistTitle ||
                                    settings_.format == FilenameFormat::ArtistTitle;
        const bool artistOpen = mask.artist && !artistFromName;
        const ArtistAlbum fetched =
            ArtistAlbumFromPath(folder.folder, settings_.dirnameFormat, artistOpen, mask.album);
        const auto field = [&](const std::optional<QString>& given, const std::optional<QString>& fromFolder,
                               bool open, int width) {
            if (!open)
                return QString();
            const QString text = given ? *given : fromFolder.value_or(QString());
            return settings_.useId3v2 ? LeftChars(text, kWholeFieldLength) : LeftChars(text, width);
        };
        TagFieldValues fields{field(o_.artist, fetched.artist, artistOpen, kTextWidth),
                              field(o_.album, fetched.album, mask.album, kTextWidth),
                              field(o_.year, std::nullopt, mask.year, kYearWidth),
                              field(o_.comment, std::nullopt, mask.comment, kCommentWidth),
                              mask.genre ? o_.genre.value_or(kNoGenre) : kNoGenre,
                              mask};
        return {fields, settings_.format, settings_.askLongTitle, settings_.askLongFilename,
                settings_.useId3v2};
    }

    BatchReport runCommand(const BatchContext& context, const FolderFiles& folder) {
        switch (o_.command) {
        case CliCommand::RenameFromTags:
            return RenameFromTagsCommand(context, settings_.format, settings_.separator,
                                         settings_.askLongFilename, settings_.useId3v2);
        case CliCommand::Trim:
            return TrimFilenamesCommand(context, settings_.format, settings_.nameCase, settings_.separator,
                                        settings_.askLongFilename);
        case CliCommand::Replace:
            return SearchReplaceCommand(context, settings_.askLongFilename, o_.search, o_.replacement);
        case CliCommand::RemoveTags:
            return RemoveAllTagsCommand(context);
        case CliCommand::Tag:
            return TagFilesCommand(context, tagOptions(folder));
        case CliCommand::Show:
        case CliCommand::Undo:
            break;
        }
        return {};
    }

    void printChange(const FolderFiles& folder, const FileChange& change) {
        if (o_.json) {
            QJsonObject object{{QStringLiteral("command"), SubcommandName(o_.command)},
                               {QStringLiteral("folder"), DisplayFileName(folder.folder)},
                               {QStringLiteral("path"), DisplayFileName(folder.shown + change.oldName)},
                               {QStringLiteral("old"), DisplayFileName(change.oldName)},
                               {QStringLiteral("new"), DisplayFileName(change.newName)},
                               {QStringLiteral("renamed"), change.renamed},
                               {QStringLiteral("rewritten"), change.rewritten}};
            writeJson(object);
            return;
        }
        if (change.renamed)
            writePathLine(folder.shown + change.oldName + QStringLiteral(" -> ") + folder.shown +
                          change.newName);
        else
            writePathLine(folder.shown + change.oldName);
    }

    RenameRule rule() const {
        switch (o_.command) {
        case CliCommand::RenameFromTags:
            return RenameRule::fromTags(settings_.format, settings_.separator, settings_.useId3v2);
        case CliCommand::Trim:
            return RenameRule::trim(settings_.format, settings_.nameCase, settings_.separator);
        default:
            return RenameRule::replace(o_.search, o_.replacement);
        }
    }

    bool preview(const FolderFiles& folder) {
        QList<PreviewRow> rows;
        try {
            rows = PreviewRenames(folder.names, rule());
        } catch (const CommandError& e) {
            PrintError(DisplayFileName(folder.shown) + QStringLiteral(": ") + e.message());
            status_ = kExitFailed;
            return false;
        }
        if (o_.json) {
            for (const PreviewRow& row : rows)
                writeJson({{QStringLiteral("command"), SubcommandName(o_.command)},
                           {QStringLiteral("folder"), DisplayFileName(folder.folder)},
                           {QStringLiteral("path"), DisplayFileName(folder.shown + row.oldName)},
                           {QStringLiteral("old"), DisplayFileName(row.oldName)},
                           {QStringLiteral("new"), DisplayFileName(row.newName)},
                           {QStringLiteral("note"), row.note}});
            return true;
        }
        for (const PreviewRow& row : rows)
            previewRows_.append({DisplayFileName(folder.shown + row.oldName),
                                 DisplayFileName(folder.shown + row.newName), row.note});
        return true;
    }

    bool show(const FolderFiles& folder) {
        for (const QString& name : folder.names) {
            const QString path = folder.shown + name;
            try {
                if (!FileExists(name))
                    ThrowError(QLatin1String(kFileNotFound));
                showFile(folder, name);
            } catch (const CommandError& e) {
                PrintError(DisplayFileName(path) + QStringLiteral(": ") + e.message());
                status_ = kExitFailed;
            }
            if (StopRequested()) {
                status_ = kExitInterrupted;
                return false;
            }
        }
        return true;
    }

    void showFile(const FolderFiles& folder, const QString& name) {
        const Mp3Info info = ReadMp3Info(name);
        // The tag dialog's fields: the ID3v2 tag's texts whole when it is used and has any,
        // else the ID3v1 tag's as the dialog shows them.
        std::optional<TagValues> values = ReadTagValues(name, settings_.useId3v2);
        const bool fromId3v2 = values && values->source == TagSource::Id3v2;
        Id3v2Texts texts;
        if (fromId3v2) {
            texts = values->texts;
        } else {
            texts = {info.title,    info.artist,  info.album,
                     info.year,     info.comment, info.track != 0 ? QString::number(info.track) : QString(),
                     info.genreName};
        }
        const bool hasTag = fromId3v2 || info.hasTag;
        QString status =
            hasTag ? (fromId3v2 ? TagSummary(texts) : TagSummary(info)) : QStringLiteral("No ID3 tag found!");
        for (QChar& c : status) {
            if (c.unicode() < 32)
                c = QLatin1Char(' ');
        }
        const QStringList facts = StreamInfoLines(info);
        const std::pair<const char*, const QString*> fields[] = {
            {"Title", &texts.title}, {"Artist", &texts.artist},   {"Album", &texts.album},
            {"Year", &texts.year},   {"Comment", &texts.comment}, {"Track", &texts.track},
            {"Genre", &texts.genre}};
        if (o_.json) {
            QJsonObject object{
                {QStringLiteral("path"), DisplayFileName(folder.shown + name)},
                {QStringLiteral("tag"),
                 hasTag ? QJsonValue(fromId3v2 ? QStringLiteral("ID3v2") : QStringLiteral("ID3v1"))
                        : QJsonValue()},
                {QStringLiteral("status"), status},
                {QStringLiteral("stream"), QJsonArray::fromStringList(facts)},
                {QStringLiteral("size"), qint64(info.size)},
                {QStringLiteral("bitrate"), info.bitrate},
                {QStringLiteral("vbr"), info.isVbr},
                {QStringLiteral("sampleRate"), info.sampleRate},
                {QStringLiteral("length"), qint64(info.length)}};
            for (const auto& [label, text] : fields)
                object.insert(QString::fromLatin1(label).toLower(), *text);
            writeJson(object);
            return;
        }
        writePathLine(folder.shown + name);
        for (const auto& [label, text] : fields)
            writeOut(QStringLiteral("  %1 %2")
                         .arg(QString::fromLatin1(label) + QLatin1Char(':'), -8)
                         .arg(*text)
                         .trimmed()
                         .prepend(QStringLiteral("  ")));
        writeOut(QStringLiteral("  Status:  ") + status);
        for (const QString& line : facts) {
            if (!line.isEmpty())
                writeOut(QStringLiteral("  ") + line);
        }
        writeOut(QString());
    }

    // The preview dialog's three columns, padded to the widest entry of each, one table for all
    // the folders.
    void printPreview() const {
        QList<std::array<QString, 3>> table{
            {QStringLiteral("Old name"), QStringLiteral("New name"), QStringLiteral("Note")}};
        table += previewRows_;
        qsizetype widths[2] = {0, 0};
        for (const auto& line : table) {
            for (int c = 0; c < 2; ++c)
                widths[c] = std::max(widths[c], CharCount(line[size_t(c)]));
        }
        for (const auto& line : table) {
            QString text;
            for (int c = 0; c < 2; ++c)
                text +=
                    line[size_t(c)] + QString(widths[c] - CharCount(line[size_t(c)]) + 2, QLatin1Char(' '));
            text += line[2];
            writeOut(text.trimmed());
        }
    }

    int undo() {
        if (!CanUndo()) {
            PrintError(QStringLiteral("There is nothing to undo"));
            return kExitFailed;
        }
        const QString name = UndoCommandName();
        const UndoReport undone = UndoLastCommand();
        if (o_.json) {
            writeJson({{QStringLiteral("command"), QStringLiteral("undo")},
                       {QStringLiteral("undone"), name},
                       {QStringLiteral("restored"), undone.restored},
                       {QStringLiteral("notRestored"), undone.notRestored}});
        } else {
            writeOut(QStringLiteral("%1 change%2 taken back")
                         .arg(undone.restored)
                         .arg(undone.restored == 1 ? "" : "s"));
        }
        // The window's words for what could not go back.
        if (const QString message = NotRestoredMessage(undone); !message.isEmpty())
            PrintError(message);
        return undone.notRestored > 0 ? kExitFailed : kExitDone;
    }

    const CliOptions& o_;
    std::FILE* terminal_;
    Effective settings_;
    int status_ = kExitDone;
    QList<std::array<QString, 3>> previewRows_;
};

} // namespace

int RunCli(const CliOptions& options, std::FILE* terminal) {
    try {
        return Runner(options, terminal).run();
    } catch (const CommandError& e) {
        PrintError(e.message());
        return kExitFailed;
    } catch (const std::bad_alloc&) {
        PrintError(QStringLiteral("Out of memory"));
        return kExitFailed;
    }
}
