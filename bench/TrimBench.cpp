// Trim filenames through the window ("05_song_7.mp3" -> "05. Song 7.mp3"); the floor renames
// every file back, so each run renames them all.

#include "bench/BenchPeers.h"
#include "bench/BenchTasks.h"

void TrimBench(const Config& cfg, BenchWindow& window, const RenameSet& set, Report& report) {
    const int n = int(set.plain.size());
    renameAll(set.plain, set.untidy);
    window.setFormat(FilenameFormat::TrackTitle);
    window.trigger("actionCaseCapitalize");
    std::vector<double> ours, floor, floorOnDisk;
    for (int r = 0; r < cfg.runs; ++r) {
        window.open(QString::fromStdString(set.dir));
        const Durable d = window.runDurable(&MainWindow::trimFilenames);
        ours.push_back(d.seconds);
        window.noteProbe(report, "Trim filenames", n, ours.back());
        expectAll(set.tidy, "Trim filenames renamed too few");
        const Durable floorRun = timedDurable([&] { renameAll(set.tidy, set.untidy); });
        floor.push_back(floorRun.seconds);
        floorOnDisk.push_back(floorRun.onDisk);
        say("  run %d: Morwick %.3f s, floor %.3f s", r + 1, ours.back(), floor.back());
    }
    TaskResult trim{"trim " + std::to_string(n) + " names (\"05_song_7.mp3\" -> \"05. Song 7.mp3\")", {}};
    addWithSync(trim.rows,
                measured("floor", "renameat2 loop, new names known", n, median(floor), cfg.runs, true),
                floorOnDisk);
    trim.rows.push_back(syncedByItself(measured(
        "Morwick Trim filenames", "main window, offscreen, all selected", n, median(ours), cfg.runs)));
    if (cfg.peers) {
        // kid3's own name tidying: its case conversion and character replacements.
        const Peer kid3{"kid3-cli filenameformat", "case conversion + replacements, save; folders of 1,000",
                        [](const Names&) {
                            return kid3Folder({"-c", "config FilenameFormat.caseConversion 4", "-c",
                                               "config FilenameFormat.strRepEnabled true", "-c",
                                               "filenameformat", "-c", "save"});
                        },
                        Peer::Folder,
                        [&] { return exists(set.untidy.back()) ? "no file renamed" : std::string(); }};
        for (const Row& r : peerRows(kid3, set.dir, set.untidy, nullptr))
            trim.rows.push_back(r);
    }
    report.add(trim);
}
