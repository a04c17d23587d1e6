// Drives Tag files (through the real core functions) and Remove all tags (the command itself), for
// scripts/crash-test.sh:
//
//   morwick_crash_driver make DIR N [linked]  N songs with trailers straddling 4 KiB pages, ID3v2
//                                           heads (some with room, some without); `linked`: every third also
//                                           has a second name in DIR/links, so its tags go by a copy back in
//                                           place
//   morwick_crash_driver tag DIR [KILL]     writes a tag into every song (as Tag files does)
//   morwick_crash_driver tag2 DIR [KILL]    writes both tags into every song, as Tag files does with
//                                           "Also use ID3v2 tags": in place where the ID3v2 tag
//                                           has room, else by grouped rewrites
//   morwick_crash_driver remove DIR [KILL]  removes every tag (as Remove all tags does)
//   morwick_crash_driver undo DIR [KILL]    undoes the last command (as Undo last command does)
//   morwick_crash_driver recover DIR        what a start does: recovery, then the folder opened
//   morwick_crash_driver check DIR OLD NEW  counts files that are neither OLD's nor NEW's, bytes
//                                           for bytes, and leftover temporaries
//
// KILL, when given, makes the driver kill itself once that many bytes of file content are
// written, cutting the write that crosses it (the way the kernel leaves a write a kill stops at a
// page boundary).

#include "commands/Prompts.h"
#include "commands/RemoveAllTagsCommand.h"
#include "core/Batch.h"
#include "core/Directory.h"
#include "core/FileRewrite.h"
#include "core/Id3Tag.h"
#include "core/Id3v2Write.h"
#include "core/Journal.h"
#include "core/JournalHooks.h"
#include "core/TagFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

class WholeFolder : public FileSelection {
public:
    explicit WholeFolder(QStringList names) : names_(std::move(names)), selected_(names_.size(), true) {}
    int count() const override { return int(names_.size()); }
    const QString& name(int index) const override { return names_[index]; }
    bool isSelected(int index) const override { return selected_[index]; }
    void deselect(int index) override { selected_[index] = false; }
    void reselect(int index) override { selected_[index] = true; }
    void reread() override {}

private:
    QStringList names_;
    std::vector<bool> selected_;
};

// Removal asks nothing.
class NoPrompts : public Prompts {
public:
    bool inputQuery(const QString&, const QString&, QString&) override { return false; }
    QString inputBox(const QString&, const QString&, const QString& defaultText) override {
        return defaultText;
    }
    bool errorQuestion(const QString&) override { return false; }
    void notice(const QString&) override {}
    bool shortenLongText(LongField, const QString&, TagTexts&) override { return false; }
    bool editTag(TagEdit&) override { return false; }
};

// An ID3v2.4 tag with a title and `filler` bytes of comment; with `room`, 1 KiB of padding (so a
// new tag fits in place), else none (a new tag needs a rewrite).
QByteArray id3v2(int i, int filler, bool room) {
    const Id3v2Texts texts{QStringLiteral("Old Song %1").arg(i),
                           QStringLiteral("Old Band"),
                           {},
                           {},
                           QString(filler, QLatin1Char('c')),
                           {},
                           {}};
    QByteArray tag = RenderId3v2Tag({}, texts, Id3FieldMask{})->tag;
    if (room)
        return tag;
    const int body = int(tag.size()) - 10 - int(kId3v2Padding);
    tag.truncate(10 + body);
    tag[6] = char((body >> 21) & 0x7F);
    tag[7] = char((body >> 14) & 0x7F);
    tag[8] = char((body >> 7) & 0x7F);
    tag[9] = char(body & 0x7F);
    return tag;
}

QByteArray trailer(const char* title) {
    ID3Tag tag = EmptyTag();
    std::memcpy(tag.magic, "TAG", 3);
    std::strncpy(tag.title, title, sizeof tag.title);
    std::memcpy(tag.artist, "Old Band", 8);
    return QByteArray(reinterpret_cast<const char*>(&tag), sizeof tag);
}

// Song i: a quarter with an ID3v2 head, half with a trailer; the trailer (written or to be
// appended) starts 1..127 bytes before a 4 KiB page boundary.
void make(const QString& dir, int n, bool linked) {
    QRandomGenerator random(20240611);
    QDir().mkpath(dir);
    if (linked)
        QDir().mkpath(dir + QStringLiteral("/links"));
    for (int i = 0; i < n; ++i) {
        const int pages = 2 + random.bounded(14);
        const int before = 1 + random.bounded(127);
        QByteArray content;
        if (i % 4 == 0 || i % 4 == 2)
            content += id3v2(i, 200 + random.bounded(3000), i % 4 == 0);
        const int audio = pages * 4096 - before - int(content.size());
        QByteArray body(audio, 'a');
        for (int k = 0; k < audio; k += 7)
            body[k] = char('a' + (k / 7 + i) % 26);
        content += body;
        if (i % 2 == 0)
            content += trailer("Old Song");
        const QString name = QStringLiteral("%1 Song %2.mp3").arg(i, 3, 10, QLatin1Char('0')).arg(i);
        QFile file(dir + '/' + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            std::exit(2);
        if (linked && i % 3 == 0 &&
            ::link(QFile::encodeName(dir + '/' + name).constData(),
                   QFile::encodeName(dir + QStringLiteral("/links/") + name).constData()) != 0)
            std::exit(2);
    }
}

int run(const QString& command, const QString& dir) {
    if (!QDir::setCurrent(dir))
        return 2;
    WholeFolder files(ListDirectory(QStringLiteral("."), EntryKind::Mp3File));
    const JournalCommand journal(command.startsWith(QLatin1String("tag"))
                                     ? QStringLiteral("Tag files")
                                     : QStringLiteral("Remove all tags"));
    NoPrompts prompts;
    ChangeGroup group;
    const auto tag2 = [&](const QString& name) {
        FileTag tag = ReadTag(name).value_or(FileTag{});
        SetTextField(QStringLiteral("New ") + name.left(3), tag.tag.title);
        std::memcpy(tag.tag.magic, "TAG", 3);
        // Longer than any old tag without room holds, shorter than the padding of one with room.
        const Id3v2Texts texts{QStringLiteral(u"Новая песня %1 — запись с концерта").arg(name.left(3)),
                               QStringLiteral(u"Ансамбль «Северное сияние»"),
                               QStringLiteral("Live"),
                               QStringLiteral("2024"),
                               {},
                               name.left(3),
                               QStringLiteral("Folk")};
        Id3FieldMask mask;
        mask.comment = false;
        switch (WriteBothTags(group, name, tag.tag, texts, mask)) {
        case Id3v2Outcome::Rewritten:
            return BatchStep::Held;
        case Id3v2Outcome::InPlace:
            return BatchStep::Changed;
        case Id3v2Outcome::Untouched:
            break;
        }
        return BatchStep::Unchanged;
    };
    const BatchReport report =
        command == QLatin1String("remove") ? RemoveAllTagsCommand(BatchContext{files, prompts})
        : command == QLatin1String("tag2")
            ? RunBatch(files, nullptr,
                       GroupedWork{tag2, [&] { group.finish(); }, [&] { return group.full(); },
                                   [&] { return group.leftAlone(); }})
            : RunBatch(files, nullptr, [&](const QString& name) {
                  FileTag tag = ReadTag(name).value_or(FileTag{});
                  std::memcpy(tag.tag.magic, "TAG", 3);
                  const QByteArray title = ("New " + name.left(3)).toLatin1();
                  std::memset(tag.tag.title, 0, sizeof tag.tag.title);
                  std::memcpy(tag.tag.title, title.constData(), size_t(title.size()));
                  std::memcpy(tag.tag.year, "2024", 4);
                  return WriteTag(name, tag) ? BatchStep::Changed : BatchStep::Unchanged;
              });
    if (report.error) {
        std::fprintf(stderr, "%s\n", qPrintable(report.error->message()));
        return 1;
    }
    return 0;
}

int check(const QString& dir, const QString& oldDir, const QString& newDir) {
    int torn = 0, leftovers = 0, files = 0;
    const QStringList all = QDir(dir).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : all) {
        if (IsTemporaryName(QFile::encodeName(name))) {
            ++leftovers;
            continue;
        }
        ++files;
        QFile now(dir + '/' + name), before(oldDir + '/' + name), after(newDir + '/' + name);
        if (!now.open(QIODevice::ReadOnly) || !before.open(QIODevice::ReadOnly) ||
            !after.open(QIODevice::ReadOnly)) {
            ++torn;
            continue;
        }
        const QByteArray bytes = now.readAll();
        if (bytes != before.readAll() && bytes != after.readAll()) {
            ++torn;
            std::fprintf(stderr, "torn: %s\n", qPrintable(name));
        }
    }
    if (files != QDir(oldDir).entryList(QDir::Files).size())
        ++torn;
    std::printf("%d %d\n", torn, leftovers);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    const QStringList args = [&] {
        QStringList a;
        for (int i = 1; i < argc; ++i)
            a << QString::fromLocal8Bit(argv[i]);
        return a;
    }();
    if (args.size() >= 3 && args[0] == QLatin1String("make")) {
        make(args[1], args[2].toInt(), args.size() >= 4 && args[3] == QLatin1String("linked"));
        return 0;
    }
    if (args.size() >= 2 && args[0] == QLatin1String("undo")) {
        if (args.size() >= 3)
            journal::KillAfterBytes(args[2].toLongLong());
        if (!QDir::setCurrent(args[1]))
            return 2;
        UndoLastCommand();
        return 0;
    }
    if (args.size() >= 2 && (args[0] == QLatin1String("tag") || args[0] == QLatin1String("tag2") ||
                             args[0] == QLatin1String("remove"))) {
        if (args.size() >= 3)
            journal::KillAfterBytes(args[2].toLongLong());
        return run(args[0], args[1]);
    }
    if (args.size() >= 2 && args[0] == QLatin1String("recover")) {
        RecoverJournal();
        RemoveStaleTemporaries(QDir(args[1]).absolutePath());
        return 0;
    }
    if (args.size() >= 4 && args[0] == QLatin1String("check"))
        return check(args[1], args[2], args[3]);
    std::fprintf(stderr, "usage: see the top of crash/CrashDriver.cpp\n");
    return 2;
}
