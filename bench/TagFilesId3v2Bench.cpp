// Tag files with "Also use ID3v2 tags" on: both tags of every file, over files half of whose ID3v2
// tags have room for the new one (written in place) and half not (rewritten), beside the ID3v2
// tagging tools writing the same fields.

#include "bench/BenchPeers.h"
#include "bench/BenchTasks.h"
#include "core/Id3v2Tag.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <unistd.h>

namespace {

// An ID3v2.4 tag with the old texts; with `room`, 1 KiB of padding, else none.
QByteArray oldId3v2(bool room) {
    const Id3v2Texts texts{QStringLiteral("Old Title"), QStringLiteral("Old Band"),
                           QStringLiteral("Old Album"), QStringLiteral("1999"),
                           QStringLiteral("old"),       QStringLiteral("1"),
                           QStringLiteral("Blues")};
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

// Every file as it was before any tagging: even ones with a tag that has room, odd ones without.
void remake(const std::string& dir, const Names& names, const Audio& audio) {
    const QByteArray room = oldId3v2(true) + audio.small + audio.trailerV1;
    const QByteArray none = oldId3v2(false) + audio.small + audio.trailerV1;
    for (size_t i = 0; i < names.size(); ++i) {
        const QByteArray& content = i % 2 == 0 ? room : none;
        const int fd = ::open((dir + '/' + names[i]).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, content.constData(), size_t(content.size())) != content.size() ||
            ::close(fd) != 0)
            die("making the ID3v2 set");
    }
    syncData();
}

// A note when the first or the last file's head lacks `artist` (as Latin-1/UTF-8 or UTF-16).
std::string headCheck(const std::string& dir, const Names& files, const QString& artist) {
    for (const std::string& f : {files.front(), files.back()}) {
        QFile file(QString::fromStdString(dir + '/' + f));
        if (!file.open(QIODevice::ReadOnly))
            return f + " cannot be read";
        const QByteArray head = file.read(4096);
        const QByteArray utf16(reinterpret_cast<const char*>(artist.utf16()), artist.size() * 2);
        if (!head.contains(artist.toUtf8()) && !head.contains(utf16))
            return f + " has no new ID3v2 tag";
    }
    return {};
}

} // namespace

void TagFilesId3v2Bench(const Config& cfg, BenchWindow& window, const SmallSet& set, const Audio& audio,
                        Report& report) {
    const int n = int(set.names.size());
    say("tag %d files with ID3v2 tags", n);
    const std::string dir = set.dir + "-id3v2";
    QDir().mkpath(QString::fromStdString(dir));
    if (::chdir(dir.c_str()) != 0)
        die("entering the ID3v2 set");
    auto* setting = window.mainWindow.findChild<QAction*>(QStringLiteral("actionUseId3v2"));
    if (setting == nullptr)
        die("no ID3v2 setting");

    std::vector<double> mixed, room, off;
    for (int run = 0; run < cfg.runs; ++run) {
        remake(dir, set.names, audio);
        window.open(QString::fromStdString(dir));
        setTagFields(window);
        setting->setChecked(true);
        mixed.push_back(window.runDurable(&MainWindow::tagFiles).seconds);
        if (!headCheck(dir, set.names, QStringLiteral("Some Band")).empty())
            die("Tag files wrote no ID3v2 tag");
        // Every tag has room now.
        room.push_back(window.runDurable(&MainWindow::tagFiles).seconds);
        setting->setChecked(false);
        off.push_back(window.runDurable(&MainWindow::tagFiles).seconds);
    }

    TaskResult t{"tag " + std::to_string(n) +
                     " files with ID3v2 tags (format 0, every field marked and set; half the tags with room)",
                 {}};
    t.rows.push_back(
        syncedByItself(measured("Morwick Tag files, ID3v2 on", "half the tags in place, half rewritten", n,
                                median(mixed), cfg.runs)));
    t.rows.push_back(syncedByItself(
        measured("Morwick Tag files, ID3v2 on, room", "every tag in place", n, median(room), cfg.runs)));
    t.rows.push_back(syncedByItself(measured(
        "Morwick Tag files, ID3v2 off", "the same files: the ID3v1 tag only", n, median(off), cfg.runs)));
    if (cfg.peers) {
        // The fields every file shares, in one process per batch of files (as for the ID3v1 peers).
        const auto check = [&] { return headCheck(dir, set.names, QStringLiteral("Other Band")); };
        const std::vector<Peer> peers = {
            mid3v2Tagger(check),
            {"eyeD3", "artist, album, year, comment, genre; xargs -n 500",
             [](const Names& f) {
                 return concat({"eyeD3", "-Q", "-a", "Other Band", "-A", "First Album", "-Y", "2004", "-c",
                                "a comment", "-G", "Rock"},
                               f);
             },
             Peer::Xargs, check, 500},
            {"kid3-cli", "set artist, album, date, comment, genre in tag 2, save; folders of 1,000",
             [](const Names&) {
                 return kid3Folder({"-c", "set artist \"Other Band\" 2", "-c", "set album \"First Album\" 2",
                                    "-c", "set date 2004 2", "-c", "set comment \"a comment\" 2", "-c",
                                    "set genre Rock 2", "-c", "save"});
             },
             Peer::Folder, check},
        };
        for (const Peer& p : peers) {
            for (const Row& r : peerRows(p, dir, set.names, [&] { remake(dir, set.names, audio); }))
                t.rows.push_back(r);
        }
    }
    report.add(t);
    if (::chdir(set.dir.c_str()) != 0)
        die("leaving the ID3v2 set");
    window.open(QString::fromStdString(set.dir));
}
