// Rename from tags (format TrackArtistTitle: "NN. artist - title") through the window; the
// floor renames every file back, so each run renames them all.

#include "bench/BenchPeers.h"
#include "bench/BenchTasks.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <stdio.h>

namespace {

// Back to the plain names, whatever a peer made of them ("Song <i>" stays in each).
void restorePlainNames(const Names& plain) {
    const int n = int(plain.size());
    DIR* d = ::opendir(".");
    Names now;
    while (const dirent* e = ::readdir(d))
        if (e->d_name[0] != '.' || std::strstr(e->d_name, "Song "))
            now.emplace_back(e->d_name);
    ::closedir(d);
    for (const std::string& f : now) {
        const size_t at = f.rfind("Song ");
        const int i = at == std::string::npos ? -1 : std::atoi(f.c_str() + at + 5);
        if (i >= 0 && i < n && f != plain[size_t(i)])
            renameAll({f}, {plain[size_t(i)]});
    }
}

} // namespace

void RenameFromTagsBench(const Config& cfg, BenchWindow& window, const RenameSet& set, Report& report) {
    const int n = int(set.plain.size());
    window.setFormat(FilenameFormat::TrackArtistTitle);
    window.trigger("actionNumbersDot");
    std::vector<double> ours, floor, floorOnDisk;
    for (int r = 0; r < cfg.runs; ++r) {
        window.open(QString::fromStdString(set.dir));
        const Durable d = window.runDurable(&MainWindow::renameFromTags);
        ours.push_back(d.seconds);
        window.noteProbe(report, "Rename from tags", n, ours.back());
        expectAll(set.fromTags, "Rename from tags renamed too few");
        const Durable floorRun = timedDurable([&] { renameAll(set.fromTags, set.plain); });
        floor.push_back(floorRun.seconds);
        floorOnDisk.push_back(floorRun.onDisk);
        say("  run %d: Morwick %.3f s, floor %.3f s", r + 1, ours.back(), floor.back());
    }
    TaskResult t{"rename " + std::to_string(n) + " files from their tags (\"xx. artist - title.mp3\")", {}};
    addWithSync(t.rows,
                measured("floor", "renameat2 loop, new names known", n, median(floor), cfg.runs, true),
                floorOnDisk);
    t.rows.push_back(syncedByItself(measured(
        "Morwick Rename from tags", "main window, offscreen, all selected", n, median(ours), cfg.runs)));
    // The window's rename from the command line, one process for the folder, every setting given.
    const Peer cli{"morwick-cli rename-from-tags", "format 1, \"xx. \"; one process",
                   [](const Names&) {
                       return std::vector<std::string>{morwickCli(), "--skip", "rename-from-tags", "-f", "1",
                                                       "--numbers",  "dot",    "--no-id3v2",       "."};
                   },
                   Peer::WholeFolder,
                   [&] { return exists(set.fromTags.back()) ? std::string() : "no file renamed"; }};
    for (const Row& r : repeatedRows(
             cli, set.dir, set.plain, [&] { restorePlainNames(set.plain); }, cfg.runs))
        t.rows.push_back(r);
    restorePlainNames(set.plain);
    if (cfg.peers) {
        const Peer kid3{
            "kid3-cli fromtag", "fromtag \"%{track}. %{artist} - %{title}\", save; folders of 1,000",
            [](const Names&) {
                return kid3Folder({"-c", "fromtag \"%{track}. %{artist} - %{title}\" 1", "-c", "save"});
            },
            Peer::Folder, [&] { return exists(set.fromTags.back()) ? std::string() : "no file renamed"; }};
        for (const Row& r : peerRows(kid3, set.dir, set.plain, nullptr))
            t.rows.push_back(r);
        restorePlainNames(set.plain);
        // eyeD3's time grows with the square of the files one process is given, as when tagging.
        // A tag without a track number (every hundredth file here) ends its process with an
        // exception, so each batch stops at the first such file.
        const Peer eyeD3{
            "eyeD3 -1 --rename",
            "\"$track:num. $artist - $title\"; xargs -n 500",
            [](const Names& f) {
                return concat({"eyeD3", "-Q", "-1", "--rename", "$track:num. $artist - $title"}, f);
            },
            Peer::Xargs,
            [&] {
                return exists(set.fromTags.back()) ? std::string() : "stops at a tag without a track number";
            },
            500};
        for (const Row& r : peerRows(eyeD3, set.dir, set.plain, nullptr))
            t.rows.push_back(r);
        restorePlainNames(set.plain);
        Row mid3v2 = measured("mid3v2", "-", n, 0, 1);
        mid3v2.note = "renames no files (mutagen has no such tool): no row";
        t.rows.push_back(mid3v2);
    }
    report.add(t);
}
