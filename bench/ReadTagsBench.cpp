// ReadMp3Info as the status line and Copy tag use it; and Copy tag through the window.

#include "bench/BenchPeers.h"
#include "bench/BenchTasks.h"
#include "core/Mp3Info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The least a reader of the stream facts and the tag can do: the scan window and the trailer.
void floorRead(const std::string& path) {
    static char window[kScanWindow];
    char tag[128];
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || ::pread(fd, window, sizeof window, 0) < 0 ||
        ::pread(fd, tag, sizeof tag, st.st_size - 128) != 128 || ::close(fd) != 0)
        die("floor: read");
}

} // namespace

void ReadTagsBench(const Config& cfg, BenchWindow& window, const SmallSet& set, Report& report) {
    const int n = int(set.names.size());
    say("read %d files", n);
    window.open(QString::fromStdString(set.dir));
    QStringList names;
    for (const std::string& f : set.names)
        names << QString::fromStdString(f);
    int tagged = 0;
    std::vector<double> ours, floor, copyTag;
    alternate(
        cfg.runs,
        [&] {
            return timed([&] {
                tagged = 0;
                for (const QString& name : names) {
                    const Mp3Info info = ReadMp3Info(name);
                    tagged += info.hasTag && info.bitrate > 0;
                }
            });
        },
        [&] {
            return timed([&] {
                for (const std::string& f : set.names)
                    floorRead(f);
            });
        },
        ours, floor);
    if (tagged != n)
        die("ReadMp3Info found too few tags or streams");
    long reads = 0;
    for (int r = 0; r < cfg.runs; ++r) {
        const long before = readSyscalls();
        copyTag.push_back(window.run(&MainWindow::copyTag));
        reads = readSyscalls() - before;
    }
    window.noteProbe(report, "Copy tag", n, median(copyTag));
    char buf[160];
    std::snprintf(
        buf, sizeof buf,
        "Copy tag               over %6d files: %.2f read calls per file (pread 10240 + pread 128 = 2)", n,
        double(reads) / n);
    report.checks.push_back(buf);

    TaskResult t{"read the tag and stream facts of " + std::to_string(n) + " files", {}};
    t.rows.push_back(
        measured("floor", "open, fstat, pread 10240, pread 128, close", n, median(floor), cfg.runs, true));
    t.rows.push_back(measured("Morwick ReadMp3Info", "the status line's and Copy tag's reader", n,
                              median(ours), cfg.runs));
    t.rows.push_back(
        measured("Morwick Copy tag", "main window, offscreen, all selected", n, median(copyTag), cfg.runs));
    if (cfg.peers) {
        const std::vector<Peer> peers = {
            {"mp3info -p", "tag fields, version, layer, bit rate, rate, length; xargs",
             [](const Names& f) {
                 return concat({"mp3info", "-p", "%f|%t|%a|%l|%y|%c|%n|%g|%v|%L|%r|%Q|%o|%S\\n"}, f);
             },
             Peer::Xargs, nullptr},
            {"kid3-cli get", "select next + get all 1 per file; folders of 1,000",
             [](const Names& f) {
                 std::vector<std::string> a{"kid3-cli",     "-c", "timeout off", "-c",
                                            "select first", "-c", "get all 1"};
                 for (size_t i = 1; i < f.size(); ++i)
                     a.insert(a.end(), {"-c", "select next", "-c", "get all 1"});
                 a.push_back(".");
                 return a;
             },
             Peer::Folder, nullptr},
            {"eyeD3 -1", "ID3v1 tag and stream facts; xargs",
             [](const Names& f) {
                 return concat({"eyeD3", "-1"}, f);
             },
             Peer::Xargs, nullptr},
        };
        for (const Peer& p : peers)
            t.rows.push_back(peerRow(p, set.dir, set.names, nullptr));
    }
    report.add(t);
}
