// Remove all tags through the window over large files with a leading ID3v2 and a trailing
// ID3v1: a rewrite into a temporary file.

#include "bench/BenchTasks.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The least a safe front cut can do: read the file, write what stays to a new file, make it
// durable, rename it over the original.
void floorRewrite(const std::string& path, int64_t front, int64_t back, QByteArray& buffer) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (in < 0 || ::fstat(in, &st) != 0)
        die("floor: open");
    buffer.resize(qsizetype(st.st_size));
    if (::pread(in, buffer.data(), size_t(st.st_size), 0) != st.st_size || ::close(in) != 0)
        die("floor: read whole");
    const std::string temp = path + ".tmp";
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    const int64_t keep = st.st_size - front - back;
    if (out < 0 || ::write(out, buffer.constData() + front, size_t(keep)) != keep || ::fsync(out) != 0 ||
        ::close(out) != 0 || ::rename(temp.c_str(), path.c_str()) != 0)
        die("floor: rewrite");
}

// The least the grouped safe method can do: for each group of 16 files, what stays of each is
// written to a new temporary, the temporaries are synced together, then each is renamed over its
// file.
void floorGrouped(const std::vector<std::string>& names, int64_t front, int64_t back) {
    constexpr size_t kGroup = 16;
    for (size_t g = 0; g < names.size(); g += kGroup) {
        const size_t end = std::min(names.size(), g + kGroup);
        std::vector<int> outs;
        std::vector<std::string> temps;
        for (size_t i = g; i < end; ++i) {
            const int in = ::open(names[i].c_str(), O_RDONLY | O_CLOEXEC);
            struct stat st;
            if (in < 0 || ::fstat(in, &st) != 0)
                die("floor: open");
            const std::string temp = names[i] + ".tmp";
            const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            const int64_t keep = st.st_size - front - back;
            loff_t from = front, to = 0;
            for (int64_t left = keep; left > 0;) {
                const ssize_t n = ::copy_file_range(in, &from, out, &to, size_t(left), 0);
                if (n <= 0)
                    die("floor: copy");
                left -= n;
            }
            if (out < 0 || ::close(in) != 0)
                die("floor: write temp");
            ::sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE);
            outs.push_back(out);
            temps.push_back(temp);
        }
        for (const int out : outs)
            if (::fsync(out) != 0 || ::close(out) != 0)
                die("floor: fsync");
        for (size_t i = g; i < end; ++i)
            if (::rename(temps[i - g].c_str(), names[i].c_str()) != 0)
                die("floor: rename");
    }
}

} // namespace

std::vector<Peer> tagRemovers(const BigSet& set) {
    const auto stripped = [&set] { return set.stripped(); };
    return {
        // id3v2 and eyeD3 move the audio down inside the file as mid3v2 does (strace: no
        // temporary file, no fsync): a crash in the middle leaves a ruined file.
        {"id3v2 -D", "in place, no crash safety; xargs",
         [](const Names& f) {
             return concat({"id3v2", "-D"}, f);
         },
         Peer::Xargs, stripped},
        {"mid3v2 --delete-all", "in place, no crash safety; xargs",
         [](const Names& f) {
             return concat({"mid3v2", "--delete-all"}, f);
         },
         Peer::Xargs, stripped},
        {"kid3-cli remove", "in place, no crash safety; remove 1, remove 2, save; folders of 1,000",
         [](const Names&) {
             return kid3Folder({"-c", "remove 1", "-c", "remove 2", "-c", "save"});
         },
         Peer::Folder, stripped},
        {"eyeD3 --remove-all", "in place, no crash safety; xargs",
         [](const Names& f) {
             return concat({"eyeD3", "-Q", "--remove-all"}, f);
         },
         Peer::Xargs, stripped},
    };
}

void RemoveLeadingBench(const Config& cfg, BenchWindow& window, const BigSet& set, Report& report) {
    const int n = int(set.names.size());
    const qsizetype leading = set.both.size() - set.body.size() - set.trailerV1.size();
    std::vector<double> ours, floor, floorOnDisk, grouped, groupedOnDisk;
    QByteArray buffer;
    for (int r = 0; r < cfg.runs; ++r) {
        set.prepare(set.both);
        window.open(QString::fromStdString(set.dir));
        const Durable d = window.runDurable(&MainWindow::removeAllTags);
        ours.push_back(d.seconds);
        window.noteProbe(report, "Remove all tags", n, ours.back());
        if (!set.stripped().empty())
            die("Remove all tags left tags");
        set.prepare(set.both);
        const Durable floorRun = timedDurable([&] {
            for (const std::string& f : set.names)
                floorRewrite(f, leading, set.trailerV1.size(), buffer);
        });
        floor.push_back(floorRun.seconds);
        floorOnDisk.push_back(floorRun.onDisk);
        set.prepare(set.both);
        const Durable groupedRun =
            timedDurable([&] { floorGrouped(set.names, leading, set.trailerV1.size()); });
        grouped.push_back(groupedRun.seconds);
        groupedOnDisk.push_back(groupedRun.onDisk);
        say("  run %d: Morwick %.3f s, floor %.3f s, floor in groups %.3f s", r + 1, ours.back(),
            floor.back(), grouped.back());
    }
    buffer = QByteArray();
    TaskResult t{"remove a leading ID3v2 and a trailing ID3v1 from " + std::to_string(n) + " files of " +
                     std::to_string(cfg.bigMegabytes) + " MB",
                 {}};
    // Both fsync every copy before the rename, so their own rows already wait for the data; the
    // floor's " + sync" row waits for the renames as well, as Morwick's syncfs at its end does.
    Row floorRow = measured("floor", "read, write temp, fsync, rename", n, median(floor), cfg.runs, true);
    floorRow.onDisk = true;
    addWithSync(t.rows, floorRow, floorOnDisk);
    Row groupedRow =
        measured("floor in groups", "groups of 16: copy into new temporaries, fsync all, rename all", n,
                 median(grouped), cfg.runs);
    groupedRow.onDisk = true;
    addWithSync(t.rows, groupedRow, groupedOnDisk);
    t.rows.push_back(syncedByItself(measured("Morwick Remove all tags",
                                             "main window; groups of 16: copy_file_range into new "
                                             "temporaries, fsync all, check each file, rename all",
                                             n, median(ours), cfg.runs)));
    if (cfg.peers) {
        for (const Peer& p : tagRemovers(set))
            for (const Row& r : peerRows(p, set.dir, set.names, [&] { set.prepare(set.both); }))
                t.rows.push_back(r);
    }
    report.add(t);
}
