// Remove all tags through the window over large files with a trailing ID3v1 only: a truncation.

#include "bench/BenchTasks.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What any safe trailing-tag removal has to do: see the file's size, its first bytes (a leading
// tag means a rewrite instead) and its last 4 KiB (which tags end it), then cut.
void floorLookAndTruncate(const std::string& path) {
    static char tail[4096];
    char head[10];
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || ::pread(fd, head, sizeof head, 0) != sizeof head ||
        ::pread(fd, tail, sizeof tail, st.st_size - off_t(sizeof tail)) != sizeof tail ||
        std::memcmp(tail + sizeof tail - 128, "TAG", 3) != 0 ||
        ::truncate(path.c_str(), st.st_size - 128) != 0 || ::close(fd) != 0)
        die("floor: look and truncate");
}

} // namespace

void RemoveTrailingBench(const Config& cfg, BenchWindow& window, const BigSet& set, Report& report) {
    const int n = int(set.names.size());
    // The files are bare streams by now (else made so); the tag is appended again before each run.
    set.bare();
    std::vector<double> ours, floor, lookFirst, floorOnDisk;
    const int64_t tagged = set.body.size() + set.trailerV1.size();
    for (int r = 0; r < cfg.runs; ++r) {
        set.retag();
        window.open(QString::fromStdString(set.dir));
        const Durable d = window.runDurable(&MainWindow::removeAllTags);
        ours.push_back(d.seconds);
        window.noteProbe(report, "Remove all tags (v1)", n, ours.back());
        if (!set.stripped().empty())
            die("Remove all tags left the ID3v1 tag");
        set.retag();
        const Durable floorRun = timedDurable([&] {
            for (const std::string& f : set.names)
                if (::truncate(f.c_str(), tagged - 128) != 0)
                    die("floor: truncate");
        });
        floor.push_back(floorRun.seconds);
        floorOnDisk.push_back(floorRun.onDisk);
        set.retag();
        lookFirst.push_back(timed([&] {
            for (const std::string& f : set.names)
                floorLookAndTruncate(f);
        }));
        say("  run %d: Morwick %.3f s, floor %.3f s, floor with the reads %.3f s", r + 1, ours.back(),
            floor.back(), lookFirst.back());
    }
    TaskResult v1{"remove a trailing ID3v1 only from " + std::to_string(n) + " files of " +
                      std::to_string(cfg.bigMegabytes) + " MB",
                  {}};
    addWithSync(v1.rows, measured("floor", "truncate(2) loop, sizes known", n, median(floor), cfg.runs, true),
                floorOnDisk);
    v1.rows.push_back(measured("floor + the reads Morwick needs",
                               "open, fstat, pread 10 + 4096, truncate, close", n, median(lookFirst),
                               cfg.runs));
    v1.rows.push_back(syncedByItself(measured(
        "Morwick Remove all tags", "main window; head + 4 KiB tail, truncate", n, median(ours), cfg.runs)));
    if (cfg.peers) {
        std::vector<Peer> peers = tagRemovers(set);
        // Cutting the end off is a truncation for everyone: no exemption here.
        for (Peer& p : peers) {
            const std::string unsafe = "in place, no crash safety; ";
            if (p.how.rfind(unsafe, 0) == 0)
                p.how = p.how.substr(unsafe.size());
        }
        peers.push_back({"mp3info -d", "xargs",
                         [](const Names& f) {
                             return concat({"mp3info", "-d"}, f);
                         },
                         Peer::Xargs, [&set] { return set.stripped(); }});
        for (const Peer& p : peers)
            for (const Row& r : peerRows(p, set.dir, set.names, [&] {
                     set.bare();
                     set.retag();
                 }))
                v1.rows.push_back(r);
    }
    report.add(v1);
}
