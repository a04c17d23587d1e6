// The per-file cost of opening a folder, Tag files and Rename from tags as the folder grows from
// a thousand files to a hundred thousand, and the window's memory with each folder open. A cost
// that grows with the folder shows up here long before anyone has a folder that size.

#include "app/FileList.h"
#include "bench/BenchTasks.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// Disk a tiny file takes: a block and its share of the inode table, with room to spare.
constexpr double kBytesPerTinyFile = 16 * 1024;

long statusKiB(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    long kib = 0;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0 && line[n] == ':') {
            kib = std::atol(line + n + 1);
            break;
        }
    std::fclose(f);
    return kib;
}

std::string selfPath() {
    char self[4096];
    const ssize_t len = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (len <= 0)
        die("readlink /proc/self/exe");
    self[len] = '\0';
    return self;
}

// Every row's times, in the order of the rows.
struct Times {
    std::vector<double> open, openCpu, floorOpen, tag, tagCpu, floorTagging, rename, renameCpu, floorRenaming;
    std::vector<const std::vector<double>*> rows() const {
        return {&open,         &openCpu, &floorOpen, &tag,          &tagCpu,
                &floorTagging, &rename,  &renameCpu, &floorRenaming};
    }
};

// One run over the folder: open it, tag every file, rename every file from its tags; each beside
// its floor. Leaves the files tagged under their plain names.
void scaleRun(BenchWindow& window, const QString& root, const RenameSet& set, Times& times) {
    const int n = int(set.plain.size());
    const QString dir = QString::fromStdString(set.dir);
    window.open(root); // a small folder first, so that the list is filled anew
    double cpu = 0;
    times.open.push_back(timed(
        [&] {
            window.mainWindow.openDirectory(dir);
            QApplication::processEvents(); // until the list is laid out and painted
        },
        &cpu));
    times.openCpu.push_back(cpu);
    window.probe->attachModel();
    if (window.mainWindow.fileList()->count() != n)
        die("the window listed too few files");
    times.floorOpen.push_back(timed([&] {
        if (floorList(".") != size_t(n))
            die("floor listed too few");
    }));

    setTagFields(window);
    const int usesBefore = window.mainWindow.taggedFiles();
    times.tag.push_back(window.run(&MainWindow::tagFiles, &cpu));
    times.tagCpu.push_back(cpu);
    if (window.mainWindow.taggedFiles() - usesBefore != n || window.prompts.asked != 0)
        die("Tag files did not tag every file without a question");
    times.floorTagging.push_back(timed([&] {
        for (const std::string& f : set.plain)
            floorTag(f);
    }));

    window.setFormat(FilenameFormat::TrackArtistTitle);
    window.trigger("actionNumbersDot");
    times.rename.push_back(window.run(&MainWindow::renameFromTags, &cpu));
    times.renameCpu.push_back(cpu);
    expectAll(set.fromTags, "Rename from tags renamed too few");
    times.floorRenaming.push_back(timed([&] { renameAll(set.fromTags, set.plain); }));
}

// The window's memory on `dir`, from a process of its own: idle, open, peak, peak after tagging.
std::vector<long> windowMemory(const std::string& self, const std::string& dir, const QString& root) {
    const std::string reportFile = QFile::encodeName(root + QStringLiteral("/window-memory")).toStdString();
    ::unlink(reportFile.c_str());
    if (spawnAndWait({self, "--rss-window", dir, reportFile}, "") != 0)
        return {0, 0, 0, 0};
    std::vector<long> kib;
    for (const QByteArray& v : readWhole(QString::fromStdString(reportFile)).simplified().split(' '))
        kib.push_back(v.toLong());
    ::unlink(reportFile.c_str());
    kib.resize(4, 0);
    return kib;
}

} // namespace

int rssWindow(int argc, char** argv, const char* dir, const char* reportFile) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchWindow window;
    const long idle = statusKiB("VmRSS");
    prepareTagFields(window, SmallSet{dir, {}}); // opens the folder
    if (window.mainWindow.fileList()->count() == 0)
        return 1;
    const long open = statusKiB("VmRSS"), openPeak = statusKiB("VmHWM");
    window.run(&MainWindow::tagFiles);
    const long tagPeak = statusKiB("VmHWM");
    FILE* f = std::fopen(reportFile, "w");
    if (!f)
        return 1;
    std::fprintf(f, "%ld %ld %ld %ld\n", idle, open, openPeak, tagPeak);
    return std::fclose(f) == 0 ? 0 : 1;
}

void ScaleBench(const Config& cfg, BenchWindow& window, const QString& root, const Audio& audio,
                Report& report) {
    ScaleResult& s = report.scale;
    s.files = cfg.scaleFiles;
    s.runs = cfg.runs;
    s.fileBytes = tinyFileBytes(audio);
    const size_t sizes = s.files.size();
    s.idleKiB = s.openKiB = s.openPeakKiB = s.tagPeakKiB = std::vector<long>(sizes, 0);
    const std::vector<double> none(sizes, 0.0);
    // Each task followed by its CPU time and its floor, as in Times.
    const char* cpu = "user + system, the same runs";
    s.tasks = {
        {"open a folder", "main window, offscreen, until painted", none, false, false},
        {"  its CPU time", cpu, none, false, true},
        {"  floor", "readdir, keep *.mp3, sort", none, true, false},
        {"Tag files", "main window, format 0, every field set", none, false, false},
        {"  its CPU time", cpu, none, false, true},
        {"  floor", "open, fstat, pread 128, pwrite 128, close", none, true, false},
        {"Rename from tags", "main window, \"xx. artist - title.mp3\"", none, false, false},
        {"  its CPU time", cpu, none, false, true},
        {"  floor", "renameat2 loop, new names known", none, true, false},
    };
    const std::string self = selfPath();
    for (size_t i = 0; i < sizes; ++i) {
        const int n = s.files[i];
        const double needGB = n * kBytesPerTinyFile / 1e9 + 1;
        if (freeGigabytes(root) < needGB) {
            char note[160];
            std::snprintf(note, sizeof note, "%s files skipped: %.1f GB free where they need %.1f GB",
                          grouped(n).c_str(), freeGigabytes(root), needGB);
            s.note += (s.note.empty() ? "" : "; ") + std::string(note);
            continue;
        }
        say("scale: %d files", n);
        const auto made = Clock::now();
        const SmallSet tiny = makeTinySet(root, audio, n);
        const RenameSet set = makeRenameSet(tiny, n);
        QDir().rmdir(QString::fromStdString(tiny.dir));
        say("  made in %.1f s", std::chrono::duration<double>(Clock::now() - made).count());
        Times t;
        for (int r = 0; r < cfg.runs; ++r) {
            scaleRun(window, root, set, t);
            say("  run %d: open %.3f s (floor %.3f), Tag files %.3f s (floor %.3f), Rename from tags %.3f s "
                "(floor %.3f)",
                r + 1, t.open.back(), t.floorOpen.back(), t.tag.back(), t.floorTagging.back(),
                t.rename.back(), t.floorRenaming.back());
        }
        const std::vector<const std::vector<double>*> rows = t.rows();
        if (rows.size() != s.tasks.size())
            die("scale: a row without times");
        for (size_t row = 0; row < rows.size(); ++row)
            s.tasks[row].microsPerFile[i] = median(*rows[row]) / n * 1e6;
        window.open(root);
        say("  the window's memory");
        const std::vector<long> kib = windowMemory(self, set.dir, root);
        s.idleKiB[i] = kib[0];
        s.openKiB[i] = kib[1];
        s.openPeakKiB[i] = kib[2];
        s.tagPeakKiB[i] = kib[3];
        if (::chdir(QFile::encodeName(root).constData()) != 0)
            die("chdir");
        QDir(QString::fromStdString(set.dir)).removeRecursively();
    }
    printScale(s, stdout);
}
