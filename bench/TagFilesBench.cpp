// Tag files: format TrackTitle, every mark, the fields set, through the window's TAG button.

#include "bench/BenchPeers.h"
#include "bench/BenchTasks.h"

#include <QComboBox>
#include <QLineEdit>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void floorTag(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    struct stat st;
    char tag[128];
    if (fd < 0 || ::fstat(fd, &st) != 0 || ::pread(fd, tag, sizeof tag, st.st_size - 128) != 128)
        die("floor: tag read");
    if (::pwrite(fd, tag, sizeof tag, st.st_size - 128) != 128 || ::close(fd) != 0)
        die("floor: tag write");
}

namespace {

// A note when the first or the last file lacks a trailer with `artist` in it.
std::string tagCheck(const std::string& dir, const Names& files, const char* artist) {
    for (const std::string& f : {files.front(), files.back()}) {
        const QByteArray tail = fileTail((dir + '/' + f).c_str(), 128);
        if (!tail.startsWith("TAG") || !tail.contains(artist))
            return f + " has no new tag";
    }
    return {};
}

} // namespace

void prepareTagFields(BenchWindow& window, const SmallSet& set) {
    window.open(QString::fromStdString(set.dir));
    setTagFields(window);
}

void setTagFields(BenchWindow& window) {
    window.setFormat(FilenameFormat::TrackTitle);
    window.find<QLineEdit>("artistEdit")->setText(QStringLiteral("Some Band"));
    window.find<QLineEdit>("albumEdit")->setText(QStringLiteral("First Album"));
    window.find<QLineEdit>("yearEdit")->setText(QStringLiteral("2004"));
    window.find<QLineEdit>("commentEdit")->setText(QStringLiteral("a comment"));
    window.find<QComboBox>("genreCombo")->setCurrentText(QStringLiteral("Rock"));
}

void TagFilesBench(const Config& cfg, BenchWindow& window, const SmallSet& set, Report& report) {
    const int n = int(set.names.size());
    say("tag %d files", n);
    prepareTagFields(window, set);
    const int usesBefore = window.mainWindow.taggedFiles();
    std::vector<double> ours, floor, floorOnDisk;
    alternate(
        cfg.runs,
        [&] {
            const Durable d = window.runDurable(&MainWindow::tagFiles);
            window.noteProbe(report, "Tag files", n, d.seconds);
            return d.seconds;
        },
        [&] {
            const Durable d = timedDurable([&] {
                for (const std::string& f : set.names)
                    floorTag(f);
            });
            floorOnDisk.push_back(d.onDisk);
            return d.seconds;
        },
        ours, floor);
    if (window.mainWindow.taggedFiles() - usesBefore != n * cfg.runs || window.prompts.asked != 0)
        die("Tag files did not tag every file without a question");
    if (!tagCheck(set.dir, set.names, "Some Band").empty())
        die("Tag files wrote no tag");

    TaskResult t{"tag " + std::to_string(n) + " files (format 0, every field marked and set)", {}};
    addWithSync(
        t.rows,
        measured("floor", "open, fstat, pread 128, pwrite 128, close", n, median(floor), cfg.runs, true),
        floorOnDisk);
    t.rows.push_back(syncedByItself(
        measured("Morwick Tag files", "main window, offscreen, all selected", n, median(ours), cfg.runs)));
    // The same work as the window's row from the command line, one process for the folder:
    // every field given, so that neither morwick.ini nor the folder's name decides any. It writes
    // the peers' artist, so that each run changes every file.
    const Peer cli{"morwick-cli tag", "format 0, every field set; one process",
                   [](const Names&) {
                       return std::vector<std::string>{
                           morwickCli(),  "--skip", "tag",        "-f",         "0",
                           "-d",          "0",      "--artist",   "Other Band", "--album",
                           "First Album", "--year", "2004",       "--comment",  "a comment",
                           "--genre",     "Rock",   "--no-id3v2", "."};
                   },
                   Peer::WholeFolder, [&] { return tagCheck(set.dir, set.names, "Other Band"); }};
    for (const Row& r : repeatedRows(
             cli, set.dir, set.names, [&] { window.run(&MainWindow::tagFiles); }, cfg.runs))
        t.rows.push_back(r);
    if (cfg.peers) {
        // The peers write the fields every file shares in one process; the title and the track
        // differ per file and would cost them a process each. They do less than Morwick here.
        const auto check = [&] { return tagCheck(set.dir, set.names, "Other Band"); };
        const std::vector<Peer> peers = {
            {"id3v2 -1", "artist, album, year, comment, genre; xargs",
             [](const Names& f) {
                 return concat({"id3v2", "-1", "-a", "Other Band", "-A", "First Album", "-y", "2004", "-c",
                                "a comment", "-g", "17"},
                               f);
             },
             Peer::Xargs, check},
            {"mp3info", "artist, album, year, comment, genre; xargs",
             [](const Names& f) {
                 return concat({"mp3info", "-a", "Other Band", "-l", "First Album", "-y", "2004", "-c",
                                "a comment", "-g", "17"},
                               f);
             },
             Peer::Xargs, check},
            // It writes an ID3v2 tag as well, and the ID3v1 tag the files already have.
            mid3v2Tagger(check),
            // eyeD3's time grows with the square of the files one process is given (it repeats
            // the comment for every file before), so it gets 500 at a time.
            {"eyeD3 --to-v1.1", "artist, album, year, comment, genre; xargs -n 500",
             [](const Names& f) {
                 return concat({"eyeD3", "--to-v1.1", "-Q", "-a", "Other Band", "-A", "First Album", "-Y",
                                "2004", "-c", "a comment", "-G", "Rock"},
                               f);
             },
             Peer::Xargs, check, 500},
            {"kid3-cli", "totag title+track, set the rest, save; folders of 1,000",
             [](const Names&) {
                 return kid3Folder({"-c", "totag \"%{track}. %{title}\" 1", "-c",
                                    "set artist \"Other Band\" 1", "-c", "set album \"First Album\" 1", "-c",
                                    "set date 2004 1", "-c", "set comment \"a comment\" 1", "-c",
                                    "set genre Rock 1", "-c", "save"});
             },
             Peer::Folder, check},
        };
        for (const Peer& p : peers) {
            // Each peer must change something: the files get Morwick's artist back first.
            const auto restore = [&] { window.run(&MainWindow::tagFiles); };
            for (const Row& r : peerRows(p, set.dir, set.names, restore))
                t.rows.push_back(r);
        }
        window.run(&MainWindow::tagFiles); // every file as Morwick tagged it, for the next tasks
    }
    report.add(t);
}
