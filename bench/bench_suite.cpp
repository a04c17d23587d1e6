// Morwick's benchmark suite: every batch task through the real main window (offscreen) or the
// code path the window uses, side by side with the least work the kernel allows for the same
// change (the floor) and with the general tag tools that are installed (the peers), in one run.
//
//   bench_suite [--quick] [--runs N] [--no-peers] [--only tag,read,rename,open,remove,rss,scale,startup]
//               [--scale] [--scale-files 1000,10000,100000]
//
// --scale runs the scale section alone at 1,000, 10,000 and 100,000 files (--quick alone stops
// it at 10,000); --scale-files chooses the sizes.
//
// Data is made in a temporary folder under TMPDIR from the MP3 files in MORWICK_FIXTURES and
// removed at the end. Morwick and the floor are timed alternately, the median of the runs
// counts; each peer runs once (it is 5 to 100 times slower), as one process over as many files
// as fit on a command line, batched the way xargs batches. Every timing starts after sync(), with
// the files in the page cache. scripts/bench.sh builds this in Release and runs it.
//
// Each task lives in a file of its own (TagFilesBench.cpp, ...); this file reads the options,
// makes the data and runs the tasks in order.

#include "bench/BenchTasks.h"
#include "core/Journal.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

void changeDirectory(const std::string& dir) {
    if (::chdir(dir.c_str()) != 0)
        die("chdir");
}

// Tag files, read and the two renaming tasks share one folder of small files: Tag files leaves
// them tagged, and the renaming tasks read those tags.
void smallFileTasks(const Config& cfg, BenchWindow& window, const QString& root, const Audio& audio,
                    Report& report) {
    const int files = std::max({cfg.tagFiles, cfg.readFiles, cfg.renameFiles});
    const SmallSet set = makeSmallSet(root, audio, files);
    changeDirectory(set.dir);
    if (cfg.wants("tag")) {
        TagFilesBench(cfg, window, set, report);
        TagFilesId3v2Bench(cfg, window, set, audio, report);
    } else {
        prepareTagFields(window, set);
        window.run(&MainWindow::tagFiles);
    }
    if (cfg.wants("read"))
        ReadTagsBench(cfg, window, set, report);
    if (cfg.wants("rename")) {
        const int n = std::min<int>(cfg.renameFiles, int(set.names.size()));
        say("rename %d files", n);
        const RenameSet renameSet = makeRenameSet(set, n);
        changeDirectory(renameSet.dir);
        window.open(QString::fromStdString(renameSet.dir));
        RenameFromTagsBench(cfg, window, renameSet, report);
        TrimBench(cfg, window, renameSet, report);
    }
    window.open(root);
    changeDirectory(QFile::encodeName(root).toStdString());
    QDir(QString::fromStdString(set.dir)).removeRecursively();
    QDir(QString::fromStdString(set.dir + "-rename")).removeRecursively();
}

// Both removal tasks over one folder of large files, when the disk has room for it.
void removalTasks(const Config& cfg, BenchWindow& window, const QString& root, const Audio& audio,
                  Report& report) {
    std::string skipNote;
    const std::optional<BigSet> set = makeBigSet(cfg, root, audio, skipNote);
    if (!set) {
        Row row = measured("-", "-", 0, 0, 1);
        row.note = skipNote;
        report.tasks.push_back({"remove tags from " + std::to_string(cfg.bigFiles) + " large files", {row}});
        return;
    }
    say("remove tags from %d files of %.1f MB", cfg.bigFiles, set->both.size() / 1e6);
    window.open(QString::fromStdString(set->dir));
    changeDirectory(set->dir);
    RemoveLeadingBench(cfg, window, *set, report);
    Config trailing = cfg;
    trailing.bigFiles = cfg.trailingFiles;
    trailing.bigMegabytes = cfg.trailingMegabytes;
    if (trailing.bigFiles == cfg.bigFiles && trailing.bigMegabytes == cfg.bigMegabytes) {
        RemoveTrailingBench(cfg, window, *set, report);
    } else if (const std::optional<BigSet> own = makeBigSet(trailing, root, audio, skipNote, "trailing")) {
        say("remove a trailing tag from %d files of %d MB", trailing.bigFiles, trailing.bigMegabytes);
        window.open(QString::fromStdString(own->dir));
        changeDirectory(own->dir);
        RemoveTrailingBench(trailing, window, *own, report);
        QDir(QString::fromStdString(own->dir)).removeRecursively();
    } else {
        Row row = measured("-", "-", 0, 0, 1);
        row.note = skipNote;
        report.tasks.push_back(
            {"remove a trailing ID3v1 only from " + std::to_string(trailing.bigFiles) + " files", {row}});
    }
    window.open(root);
    changeDirectory(QFile::encodeName(root).toStdString());
    QDir(QString::fromStdString(set->dir)).removeRecursively();
}

} // namespace

int main(int argc, char** argv) {
    // MemoryBench runs this program again in these modes.
    if (argc == 3 && std::strcmp(argv[1], "--rss-idle") == 0)
        return rssIdle(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--rss-child") == 0)
        return rssChild(argv[2], argv[3]);
    // ScaleBench runs it in this mode.
    if (argc == 4 && std::strcmp(argv[1], "--rss-window") == 0)
        return rssWindow(argc, argv, argv[2], argv[3]);

    Config cfg;
    bool quick = false, scaleSizesChosen = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick") {
            cfg.tagFiles = cfg.readFiles = cfg.renameFiles = 1000;
            cfg.folderFiles = 20000;
            cfg.bigFiles = 100;
            cfg.trailingMegabytes = 1;
            cfg.runs = 3;
            quick = true;
        } else if (a == "--scale") {
            cfg.only = {QStringLiteral("scale")};
            scaleSizesChosen = true;
        } else if (a == "--scale-files" && i + 1 < argc) {
            cfg.scaleFiles.clear();
            for (const QString& n : QString::fromLocal8Bit(argv[++i]).split(QLatin1Char(',')))
                if (n.toInt() > 0)
                    cfg.scaleFiles.push_back(n.toInt());
            if (cfg.scaleFiles.empty())
                die("--scale-files wants sizes such as 1000,10000");
            scaleSizesChosen = true;
        } else if (a == "--runs" && i + 1 < argc) {
            cfg.runs = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--no-peers") {
            cfg.peers = false;
        } else if (a == "--only" && i + 1 < argc) {
            cfg.only = QString::fromLocal8Bit(argv[++i]).split(QLatin1Char(','));
        } else {
            std::fprintf(stderr, "usage: bench_suite [--quick] [--runs N] [--no-peers] [--only "
                                 "tag,read,rename,open,remove,rss,scale,startup] [--scale] [--scale-files "
                                 "1000,10000,100000]\n");
            return 2;
        }
    }
    if (quick && !scaleSizesChosen)
        cfg.scaleFiles = {1000, 10000};

    QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/morwick-bench-XXXXXX"));
    if (!tmp.isValid())
        die("cannot make a temporary folder");
    const QString root = tmp.path();
    // Neither Morwick's settings nor the peers' own (kid3 keeps some) touch the user's.
    const QByteArray home = QFile::encodeName(root + QStringLiteral("/home"));
    QDir().mkpath(QString::fromLocal8Bit(home));
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", home);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::signal(SIGXFSZ, SIG_IGN);

    QApplication app(argc, argv);
    // As in the window's program.
    StartLateCloses();
    const Audio audio = loadAudio();
    BenchWindow window;
    Report report;
    std::printf(
        "Morwick benchmarks in %s (%.0f GB free): median of %d runs for Morwick and the floor, one run per "
        "peer;\nwarm page cache, sync before every timing. \"x floor\" is files/s over the floor's "
        "files/s.\n",
        qPrintable(root), freeGigabytes(root), cfg.runs);
    std::fflush(stdout);

    if (cfg.wants("tag") || cfg.wants("read") || cfg.wants("rename"))
        smallFileTasks(cfg, window, root, audio, report);
    if (cfg.wants("open"))
        OpenFolderBench(cfg, window, root, report);
    if (cfg.wants("remove"))
        removalTasks(cfg, window, root, audio, report);
    if (cfg.wants("rss"))
        MemoryBench(cfg, root, audio, report);
    if (cfg.wants("startup"))
        StartupBench(cfg, root, audio, report);
    if (cfg.wants("scale"))
        ScaleBench(cfg, window, root, audio, report);

    printSummary(report);
    printTargets(report);
    return 0;
}
