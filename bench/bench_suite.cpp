// Morwick's benchmark suite: every batch task through the real main window (offscreen) or the
// code path the window uses, side by side with the least work the kernel allows for the same
// change (the floor) and with the general tag tools that are installed (the peers), in one run.
//
//   bench_suite [--quick] [--runs N] [--no-peers] [--only tag,read,rename,open,remove,rss]
//
// Data is made in a temporary folder under TMPDIR from the MP3 files in MORWICK_FIXTURES and
// removed at the end. Morwick and the floor are timed alternately, the median of the runs
// counts; each peer runs once (it is 5 to 100 times slower), as one process over as many files
// as fit on a command line, batched the way xargs batches. Every timing starts after sync(), with
// the files in the page cache. scripts/bench.sh builds this in Release and runs it.

#include "app/FileList.h"
#include "app/Tag.h"
#include "commands/Edit.h"
#include "commands/Prompts.h"
#include "core/IoError.h"
#include "core/Mp3Info.h"
#include "core/ProgramOptions.h"
#include "core/TagRemoval.h"
#include "naming/Formats.h"
#include "naming/TrimFilename.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <spawn.h>
#include <string>
#include <strings.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Names = std::vector<std::string>;

// ---------------------------------------------------------------------------------------------
// Settings

struct Config {
    int tagFiles = 10000;
    int readFiles = 10000; // the tagged files of the first task, read again
    int renameFiles = 10000;
    int folderFiles = 20000;
    int bigFiles = 1000;
    int bigMegabytes = 5;
    int rssMegabytes = 500;
    int runs = 5;
    bool peers = true;
    QStringList only;
    bool wants(const char* task) const { return only.isEmpty() || only.contains(QLatin1String(task)); }
};

// ---------------------------------------------------------------------------------------------
// Small helpers

[[noreturn]] void die(const char* what) {
    std::fprintf(stderr, "bench_suite: %s\n", what);
    std::exit(1);
}

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timed(const std::function<void()>& work) {
    ::sync(); // no write-back of the preparation pending while the clock runs
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

QByteArray readWhole(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const char* path, const QByteArray& content) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, content.constData(), size_t(content.size())) != content.size() ||
        ::close(fd) != 0) {
        std::perror(path);
        std::exit(1);
    }
}

void appendFile(const char* path, const QByteArray& content) {
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0 || ::write(fd, content.constData(), size_t(content.size())) != content.size() ||
        ::close(fd) != 0) {
        std::perror(path);
        std::exit(1);
    }
}

QByteArray fileTail(const char* path, int n) {
    QByteArray out(n, '\0');
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size < n ||
        ::pread(fd, out.data(), size_t(n), st.st_size - n) != n)
        out.clear();
    if (fd >= 0)
        ::close(fd);
    return out;
}

int64_t fileSize(const char* path) {
    struct stat st {};
    return ::stat(path, &st) == 0 ? st.st_size : -1;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

double freeGigabytes(const QString& dir) {
    struct statvfs vfs {};
    if (::statvfs(QFile::encodeName(dir).constData(), &vfs) != 0)
        return 0;
    return double(vfs.f_bavail) * double(vfs.f_frsize) / 1e9;
}

bool onPath(const char* tool) {
    const QByteArray path = qgetenv("PATH");
    for (const QByteArray& dir : path.split(':')) {
        if (!dir.isEmpty() && ::access((dir + '/' + tool).constData(), X_OK) == 0)
            return true;
    }
    return false;
}

long readSyscalls() {
    QFile f(QStringLiteral("/proc/self/io"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("syscr:"))
            return line.mid(6).trimmed().toLong();
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Test data: real MP3 streams from the fixtures, tags as other tools write them.

struct Audio {
    QByteArray small;     // a short stream (about 6 KB)
    QByteArray body;      // a longer stream; repeated for the large files
    QByteArray leadingV2; // an ID3v2.3 tag with real frames
    QByteArray trailerV1; // an ID3v1.1 tag: "First Song", "Some Band", ..., track 1, genre 17
};

Audio loadAudio() {
    const QString dir = qEnvironmentVariable("MORWICK_FIXTURES");
    Audio a;
    a.small = readWhole(dir + QStringLiteral("/short-under-10k.mp3"));
    a.body = readWhole(dir + QStringLiteral("/cbr128-stereo-44k-noinfo.mp3"));
    const QByteArray tagged = readWhole(dir + QStringLiteral("/peer-id3v2-and-id3v1.mp3"));
    if (a.small.isEmpty() || a.body.isEmpty() || tagged.size() < 10 + 128 || !tagged.startsWith("ID3"))
        die("set MORWICK_FIXTURES to the folder of Morwick's MP3 fixtures (short-under-10k.mp3, "
            "cbr128-stereo-44k-noinfo.mp3, peer-id3v2-and-id3v1.mp3)");
    const auto* h = reinterpret_cast<const uint8_t*>(tagged.constData());
    const int v2size = 10 + ((h[6] & 0x7F) << 21 | (h[7] & 0x7F) << 14 | (h[8] & 0x7F) << 7 | (h[9] & 0x7F));
    a.leadingV2 = tagged.left(v2size);
    a.trailerV1 = tagged.right(128);
    if (!a.trailerV1.startsWith("TAG"))
        die("peer-id3v2-and-id3v1.mp3 does not end in an ID3v1 tag");
    return a;
}

// Whole copies of the stream up to about `megabytes`, so that the frames stay whole.
QByteArray repeatedBody(const QByteArray& body, int megabytes) {
    const qsizetype want = qsizetype(megabytes) << 20;
    QByteArray out;
    out.reserve(want + body.size());
    while (out.size() < want)
        out += body;
    return out;
}

// ---------------------------------------------------------------------------------------------
// Results

struct Row {
    std::string task;
    std::string who;
    std::string how;
    int files = 0;
    double seconds = 0; // median, or the one run
    int runs = 1;
    std::string note;
    bool isFloor = false;
};

struct TaskResult {
    std::string title;
    std::vector<Row> rows;
    double floorRate() const {
        for (const Row& r : rows)
            if (r.isFloor)
                return r.files / r.seconds;
        return 0;
    }
    const Row* morwick() const {
        for (const Row& r : rows)
            if (r.who.rfind("Morwick", 0) == 0)
                return &r;
        return nullptr;
    }
};

Row measured(std::string who, std::string how, int files, double seconds, int runs, bool isFloor = false) {
    Row r;
    r.who = std::move(who);
    r.how = std::move(how);
    r.files = files;
    r.seconds = seconds;
    r.runs = runs;
    r.isFloor = isFloor;
    return r;
}

std::vector<TaskResult> results;
std::vector<std::string> extraLines;  // the window's behaviour during the batch loops
std::vector<std::string> memoryLines; // peak memory

std::string grouped(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f", v);
    std::string s = buf, out;
    const int n = int(s.size());
    for (int i = 0; i < n; ++i) {
        out += s[size_t(i)];
        if ((n - i - 1) % 3 == 0 && i != n - 1)
            out += ',';
    }
    return out;
}

void printTask(const TaskResult& t, FILE* out) {
    std::fprintf(out, "\n%s\n", t.title.c_str());
    std::fprintf(out, "  %-34s %-44s %7s %9s %11s %8s\n", "program", "how", "files", "seconds", "files/s",
                 "x floor");
    const double floor = t.floorRate();
    for (const Row& r : t.rows) {
        const double rate = r.seconds > 0 ? r.files / r.seconds : 0;
        char ratio[32] = "-";
        if (floor > 0 && rate > 0)
            std::snprintf(ratio, sizeof ratio, "%.2f", rate / floor);
        const std::string how = r.how + (r.runs > 1 ? ", median of " + std::to_string(r.runs) : "");
        if (r.seconds > 0)
            std::fprintf(out, "  %-34s %-44s %7d %9.3f %11s %8s%s%s\n", r.who.c_str(), how.c_str(), r.files,
                         r.seconds, grouped(rate).c_str(), ratio, r.note.empty() ? "" : "  ", r.note.c_str());
        else
            std::fprintf(out, "  %-34s %-44s %7s %9s %11s %8s  %s\n", r.who.c_str(), how.c_str(), "-", "-",
                         "-", "-", r.note.c_str());
    }
    std::fflush(out);
}

// ---------------------------------------------------------------------------------------------
// Peers: other programs, run like xargs runs them.

struct Peer {
    std::string who;
    std::string how;
    // The whole command line for one batch of files (names relative to the data folder).
    std::function<std::vector<std::string>(const Names&)> argv;
    // How the files reach it: as many as fit per process (as xargs does), one per process, or
    // the folder itself (the tool is then given "." and finds them; kid3-cli is quadratic in the
    // number of paths given on its command line but not in a folder's size).
    enum Batching { Xargs, PerFile, Folder } batching = Xargs;
    std::function<std::string()> check;
    int maxPerProcess = 0; // xargs -n: 0 for as many as fit
    // Whether the work was done, judged on the data after the run; returns a note when not.
};

struct SpawnResult {
    double seconds = 0;
    int processes = 0;
    int failures = 0; // processes that exited with a status other than 0
};

// Runs argv in `dir` with no input and all output discarded; waits for it.
int spawnAndWait(const std::vector<std::string>& args, const std::string& dir) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (!dir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

long vmHwmKiB(const std::string& statusFile) {
    FILE* f = std::fopen(statusFile.c_str(), "r");
    if (!f)
        return 0;
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1)
            break;
    std::fclose(f);
    return kib;
}

// Runs argv and samples its peak resident memory every half millisecond. VmHWM belongs to the
// program's own memory map; wait4's ru_maxrss would also count this large process, whose peak a
// spawned child inherits across exec.
int spawnSampled(const std::vector<std::string>& args, long& peakKiB) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    const std::string status = "/proc/" + std::to_string(pid) + "/status";
    peakKiB = 0;
    int wstatus = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &wstatus, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return -1;
        peakKiB = std::max(peakKiB, vmHwmKiB(status));
        ::usleep(500);
    }
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

constexpr size_t kFolderFiles = 1000;

// xargs' default command buffer: a batch's arguments stay within this many bytes.
constexpr size_t kArgBytes = 128 * 1024;

SpawnResult runPeer(const Peer& peer, const std::string& dir, const Names& files) {
    std::vector<Names> batches;
    std::vector<std::string> folders; // where each batch runs
    if (peer.batching == Peer::Folder) {
        // kid3-cli's time also grows faster than the folder: it gets sub-folders of 1,000 files,
        // made before the clock starts and emptied back after it stops.
        for (size_t i = 0; i < files.size(); i += kFolderFiles) {
            const Names part(files.begin() + long(i),
                             files.begin() + long(std::min(files.size(), i + kFolderFiles)));
            const std::string sub =
                files.size() <= kFolderFiles ? dir : dir + "/part" + std::to_string(i / kFolderFiles);
            if (sub != dir) {
                ::mkdir(sub.c_str(), 0755);
                for (const std::string& f : part)
                    if (::rename((dir + '/' + f).c_str(), (sub + '/' + f).c_str()) != 0)
                        die("moving files into a sub-folder");
            }
            batches.push_back(part);
            folders.push_back(sub);
        }
    } else if (peer.batching == Peer::PerFile) {
        for (const std::string& f : files)
            batches.push_back({f});
    } else {
        Names batch;
        size_t bytes = 0;
        for (const std::string& f : files) {
            // Sized on what one more file adds to the command line, per-file commands included.
            size_t add = 0;
            for (const std::string& a : peer.argv({f, f}))
                add += a.size() + 1;
            for (const std::string& a : peer.argv({f}))
                add -= a.size() + 1;
            if (!batch.empty() && (bytes + add > kArgBytes ||
                                   (peer.maxPerProcess > 0 && int(batch.size()) >= peer.maxPerProcess))) {
                batches.push_back(batch);
                batch.clear();
                bytes = 0;
            }
            batch.push_back(f);
            bytes += add;
        }
        if (!batch.empty())
            batches.push_back(batch);
    }
    SpawnResult r;
    ::sync();
    const auto start = Clock::now();
    for (size_t i = 0; i < batches.size(); ++i) {
        const int status = spawnAndWait(peer.argv(batches[i]), folders.empty() ? dir : folders[i]);
        ++r.processes;
        if (status != 0)
            ++r.failures;
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // Everything back where it was, under whatever names the tool gave it.
    for (const std::string& sub : folders) {
        if (sub == dir)
            continue;
        DIR* d = ::opendir(sub.c_str());
        while (const dirent* e = d ? ::readdir(d) : nullptr)
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                ::rename((sub + '/' + e->d_name).c_str(), (dir + '/' + e->d_name).c_str());
        if (d)
            ::closedir(d);
        ::rmdir(sub.c_str());
    }
    return r;
}

Row peerRow(const Peer& peer, const std::string& dir, const Names& files,
            const std::function<void()>& prepare) {
    Row row = measured(peer.who, peer.how, int(files.size()), 0, 1);
    const std::string tool = peer.argv({"x"}).front();
    if (!onPath(tool.c_str())) {
        row.note = "not installed: skipped";
        return row;
    }
    if (prepare)
        prepare();
    say("  %s ...", peer.who.c_str());
    const SpawnResult r = runPeer(peer, dir, files);
    row.seconds = r.seconds;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d process%s", r.processes, r.processes == 1 ? "" : "es");
    row.note = buf;
    if (r.failures > 0)
        row.note += ", " + std::to_string(r.failures) + " exited non-zero";
    const std::string problem = peer.check ? peer.check() : std::string();
    if (!problem.empty()) {
        row.note += "; NOT DONE: " + problem;
        row.seconds = -row.seconds; // shown, but never counted as faster
    }
    return row;
}

std::vector<std::string> concat(std::vector<std::string> a, const Names& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// kid3-cli over every file of the current folder, with these arguments ("-c", command, ...).
std::vector<std::string> kid3Folder(std::vector<std::string> args) {
    // Its commands give up after three seconds by default, too short for thousands of files.
    args.insert(args.begin(), {"kid3-cli", "-c", "timeout off", "-c", "select all"});
    args.push_back(".");
    return args;
}

// ---------------------------------------------------------------------------------------------
// The main window, driven as a person would, with scripted answers.

class ScriptedPrompts : public Prompts {
public:
    int asked = 0;
    bool inputQuery(const QString&, const QString&, QString&) override { return ++asked, false; }
    QString inputBox(const QString&, const QString&, const QString& defaultText) override {
        return ++asked, defaultText;
    }
    bool errorQuestion(const QString&) override { return ++asked, true; }
    int showModal(QDialog&) override { return ++asked, QDialog::Rejected; }
};

// What the window does while a command runs: selection signals, repaints, status line.
class WindowProbe : public QObject {
public:
    explicit WindowProbe(TForm1& w) : window_(w) {
        FileList* list = w.fileList();
        connect(list, &QListWidget::itemSelectionChanged, this, [this] { ++selectionSignals; });
        list->viewport()->installEventFilter(this);
        attachModel();
    }
    // The list gets a new selection model only when its model changes; call after a reread to be sure.
    void attachModel() {
        QItemSelectionModel* model = window_.fileList()->selectionModel();
        if (model == model_)
            return;
        model_ = model;
        connect(model, &QItemSelectionModel::selectionChanged, this, [this] { ++modelSignals; });
    }
    void reset() {
        selectionSignals = modelSignals = paints = 0;
        status_ = window_.statusText();
    }
    bool statusChanged() const { return window_.statusText() != status_; }

    int selectionSignals = 0, modelSignals = 0, paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }

private:
    TForm1& window_;
    QItemSelectionModel* model_ = nullptr;
    QString status_;
};

struct Window {
    TForm1 form1;
    TForm2 form2{&form1};
    ScriptedPrompts prompts;
    WindowProbe* probe = nullptr;

    Window() {
        form1.setDialogs(&form2, nullptr);
        form1.setPrompts(&prompts);
        form1.show();
        QApplication::processEvents();
        probe = new WindowProbe(form1);
        // A modal error box would wait for a person: report it and stop instead.
        auto* watchdog = new QTimer(&form1);
        QObject::connect(watchdog, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                std::fprintf(stderr, "bench_suite: a modal window appeared: %s\n",
                             qPrintable(modal->windowTitle()));
                std::exit(3);
            }
        });
        watchdog->start(200);
    }
    template <typename T> T* find(const char* name) {
        T* w = form1.findChild<T*>(QLatin1String(name));
        if (!w)
            die(name);
        return w;
    }
    void open(const QString& dir) {
        form1.openDirectory(dir);
        QApplication::processEvents();
        probe->attachModel();
    }
    void selectAll() {
        form1.fileList()->setAllSelected(true);
        QApplication::processEvents();
    }
    void setFormat(int format) {
        find<QAbstractButton>(qPrintable(QStringLiteral("RadioGroup1Format%1").arg(format)))
            ->setChecked(true);
    }
    // Runs a command on every listed file, until the window is back in its event loop.
    double run(void (TForm1::*command)()) {
        selectAll();
        probe->reset();
        return timed([&] {
            (form1.*command)();
            QApplication::processEvents();
        });
    }
};

Window* window = nullptr;

// The probe's findings for one command over n files, kept for the checks section.
void noteProbe(const char* command, int files, double seconds) {
    const WindowProbe& p = *window->probe;
    char buf[320];
    std::snprintf(
        buf, sizeof buf,
        "%-22s over %6d files: %d selection signals, %d model signals, %d list repaints, status line "
        "%s, %.1f us per file",
        command, files, p.selectionSignals, p.modelSignals, p.paints,
        p.statusChanged() ? "CHANGED" : "unchanged", seconds / files * 1e6);
    // One line per command: the last run's.
    char key[64];
    std::snprintf(key, sizeof key, "%-22s over", command);
    const auto same = std::find_if(extraLines.begin(), extraLines.end(),
                                   [&](const std::string& line) { return line.rfind(key, 0) == 0; });
    if (same != extraLines.end())
        *same = buf;
    else
        extraLines.push_back(buf);
}

// ---------------------------------------------------------------------------------------------
// Floors: the least the kernel must do for the same change.

void floorTag(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    struct stat st;
    char tag[128];
    if (fd < 0 || ::fstat(fd, &st) != 0 || ::pread(fd, tag, sizeof tag, st.st_size - 128) != 128)
        die("floor: tag read");
    if (::pwrite(fd, tag, sizeof tag, st.st_size - 128) != 128 || ::close(fd) != 0)
        die("floor: tag write");
}

void floorRead(const std::string& path) {
    static char window[kScanWindow];
    char tag[128];
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || ::pread(fd, window, sizeof window, 0) < 0 ||
        ::pread(fd, tag, sizeof tag, st.st_size - 128) != 128 || ::close(fd) != 0)
        die("floor: read");
}

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

// What any safe trailing-tag removal has to do: see the file's size, its first bytes (a leading
// tag means a rewrite instead) and its last 8 KiB (which tags end it), then cut.
void floorLookAndTruncate(const std::string& path) {
    static char tail[8192];
    char head[10];
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || ::pread(fd, head, sizeof head, 0) != sizeof head ||
        ::pread(fd, tail, sizeof tail, st.st_size - off_t(sizeof tail)) != sizeof tail ||
        std::memcmp(tail + sizeof tail - 128, "TAG", 3) != 0 ||
        ::truncate(path.c_str(), st.st_size - 128) != 0 || ::close(fd) != 0)
        die("floor: look and truncate");
}

void floorRename(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        std::fprintf(stderr, "bench_suite: renameat2 \"%s\" -> \"%s\": %s\n", from.c_str(), to.c_str(),
                     std::strerror(errno));
        std::exit(1);
    }
}

size_t floorList(const char* dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir);
    if (!d)
        die("floor: opendir");
    while (const dirent* e = ::readdir(d)) {
        const size_t n = std::strlen(e->d_name);
        if (e->d_name[0] != '.' && n > 4 && strcasecmp(e->d_name + n - 4, ".mp3") == 0)
            names.emplace_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    return names.size();
}

// ---------------------------------------------------------------------------------------------
// The tasks

// The floor and Morwick alternately, `runs` times each, on data that each leaves as it was.
void alternate(int runs, const std::function<double()>& ours, const std::function<double()>& floor,
               std::vector<double>& oursTimes, std::vector<double>& floorTimes) {
    for (int r = 0; r < runs; ++r) {
        floorTimes.push_back(floor());
        oursTimes.push_back(ours());
        say("  run %d: Morwick %.3f s, floor %.3f s", r + 1, oursTimes.back(), floorTimes.back());
    }
}

std::string tagCheck(const std::string& dir, const Names& files, const char* artist) {
    for (const std::string& f : {files.front(), files.back()}) {
        const QByteArray tail = fileTail((dir + '/' + f).c_str(), 128);
        if (!tail.startsWith("TAG") || !tail.contains(artist))
            return f + " has no new tag";
    }
    return {};
}

struct SmallSet {
    std::string dir;
    Names names; // "NN. Song i.mp3": format 0 gives track NN and title "Song i"
};

SmallSet makeSmallSet(const QString& root, const Audio& audio, int files) {
    SmallSet set{QFile::encodeName(root + QStringLiteral("/tag")).toStdString(), {}};
    QDir().mkpath(root + QStringLiteral("/tag"));
    const QByteArray content = audio.small + audio.trailerV1;
    for (int i = 0; i < files; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%02d. Song %d.mp3", i % 100, i);
        set.names.emplace_back(name);
        writeFile((set.dir + '/' + name).c_str(), content);
    }
    return set;
}

// The window on the folder, format 0, every mark (the default), the fields set.
void prepareTagFields(const SmallSet& set) {
    window->open(QString::fromStdString(set.dir));
    window->setFormat(0);
    window->find<QLineEdit>("Edit1")->setText(QStringLiteral("Some Band"));
    window->find<QLineEdit>("Edit2")->setText(QStringLiteral("First Album"));
    window->find<QLineEdit>("Edit3")->setText(QStringLiteral("2004"));
    window->find<QLineEdit>("Edit4")->setText(QStringLiteral("a comment"));
    window->find<QComboBox>("ComboBox1")->setCurrentText(QStringLiteral("Rock"));
}

// Tag files: format 0, every mark, the fields set, through the window's TAG button.
void tagTask(const Config& cfg, const SmallSet& set) {
    const int n = int(set.names.size());
    say("tag %d files", n);
    prepareTagFields(set);
    const int usesBefore = Options.uses;
    std::vector<double> ours, floor;
    alternate(
        cfg.runs,
        [&] {
            const double s = window->run(&TForm1::Button9Click);
            noteProbe("Tag files", n, s);
            return s;
        },
        [&] {
            return timed([&] {
                for (const std::string& f : set.names)
                    floorTag(f);
            });
        },
        ours, floor);
    if (Options.uses - usesBefore != n * cfg.runs || window->prompts.asked != 0)
        die("Tag files did not tag every file without a question");
    if (!tagCheck(set.dir, set.names, "Some Band").empty())
        die("Tag files wrote no tag");

    TaskResult t{"tag " + std::to_string(n) + " files (format 0, every field marked and set)", {}};
    t.rows.push_back(
        measured("floor", "open, fstat, pread 128, pwrite 128, close", n, median(floor), cfg.runs, true));
    t.rows.push_back(
        measured("Morwick Tag files", "main window, offscreen, all selected", n, median(ours), cfg.runs));
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
            const auto restore = [&] { window->run(&TForm1::Button9Click); };
            t.rows.push_back(peerRow(p, set.dir, set.names, restore));
        }
        window->run(&TForm1::Button9Click); // every file as Morwick tagged it, for the next tasks
    }
    results.push_back(t);
    printTask(t, stdout);
}

// ReadMp3Info as the status line and Copy tag use it; and Copy tag through the window.
void readTask(const Config& cfg, const SmallSet& set) {
    const int n = int(set.names.size());
    say("read %d files", n);
    window->open(QString::fromStdString(set.dir));
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
                mp3info info;
                for (const QString& name : names) {
                    ReadMp3Info(name, info);
                    tagged += info.hastag && info.bitrate > 0;
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
        copyTag.push_back(window->run(&TForm1::Button13Click));
        reads = readSyscalls() - before;
    }
    noteProbe("Copy tag", n, median(copyTag));
    char buf[160];
    std::snprintf(
        buf, sizeof buf,
        "Copy tag               over %6d files: %.2f read calls per file (pread 10240 + pread 128 = 2)", n,
        double(reads) / n);
    extraLines.push_back(buf);

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
    results.push_back(t);
    printTask(t, stdout);
}

// Rename from tags (format 1: "NN. artist - title") and Trim filenames through the window;
// the floor renames every file back, so each run renames them all.
void renameTask(const Config& cfg, const SmallSet& set) {
    const int n = std::min<int>(cfg.renameFiles, int(set.names.size()));
    say("rename %d files", n);
    // Only the first n files take part: the others go to a folder of their own.
    const std::string dir = set.dir + "-rename";
    QDir().mkpath(QString::fromStdString(dir));
    Names plain, fromTags, untidy, tidy;
    for (int i = 0; i < n; ++i) {
        const std::string& f = set.names[size_t(i)];
        if (::rename((set.dir + '/' + f).c_str(), (dir + '/' + f).c_str()) != 0)
            die("moving the rename set");
        plain.push_back(f);
        const QString built =
            BuildFilename(i % 100, QStringLiteral("Some Band"), QStringLiteral("Song %1").arg(i), 1, 0);
        fromTags.push_back(built.toStdString());
        char u[64];
        std::snprintf(u, sizeof u, "%02d_song_%d.mp3", i % 100, i);
        untidy.emplace_back(u);
        tidy.push_back(TrimFilename(QString::fromLatin1(u), 0, 0, 0).toStdString());
    }
    if (::chdir(dir.c_str()) != 0)
        die("chdir");
    window->open(QString::fromStdString(dir));
    const auto renameAll = [](const Names& from, const Names& to) {
        for (size_t i = 0; i < from.size(); ++i)
            floorRename(from[i], to[i]);
    };
    const auto expectAll = [](const Names& names, const char* what) {
        for (const std::string& f : {names.front(), names[names.size() / 2], names.back()})
            if (!exists(f))
                die(what);
    };

    // Rename from tags
    window->setFormat(1);
    Options.trim2 = 0;
    std::vector<double> ours, floor;
    for (int r = 0; r < cfg.runs; ++r) {
        window->open(QString::fromStdString(dir));
        ours.push_back(window->run(&TForm1::Button10Click));
        noteProbe("Rename from tags", n, ours.back());
        expectAll(fromTags, "Rename from tags renamed too few");
        floor.push_back(timed([&] { renameAll(fromTags, plain); }));
        say("  run %d: Morwick %.3f s, floor %.3f s", r + 1, ours.back(), floor.back());
    }
    TaskResult t{"rename " + std::to_string(n) + " files from their tags (\"xx. artist - title.mp3\")", {}};
    t.rows.push_back(measured("floor", "renameat2 loop, new names known", n, median(floor), cfg.runs, true));
    t.rows.push_back(measured("Morwick Rename from tags", "main window, offscreen, all selected", n,
                              median(ours), cfg.runs));
    if (cfg.peers) {
        const Peer kid3{
            "kid3-cli fromtag", "fromtag \"%{track}. %{artist} - %{title}\", save; folders of 1,000",
            [](const Names&) {
                return kid3Folder({"-c", "fromtag \"%{track}. %{artist} - %{title}\" 1", "-c", "save"});
            },
            Peer::Folder, [&] { return exists(fromTags.back()) ? std::string() : "no file renamed"; }};
        t.rows.push_back(peerRow(kid3, dir, plain, nullptr));
        // Back to the plain names, whatever the peer made of them ("Song <i>" stays in each).
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
                floorRename(f, plain[size_t(i)]);
        }
    }
    results.push_back(t);
    printTask(t, stdout);

    // Trim filenames
    renameAll(plain, untidy);
    window->setFormat(0);
    Options.trim1 = 0;
    ours.clear();
    floor.clear();
    for (int r = 0; r < cfg.runs; ++r) {
        window->open(QString::fromStdString(dir));
        ours.push_back(window->run(&TForm1::Button4Click));
        noteProbe("Trim filenames", n, ours.back());
        expectAll(tidy, "Trim filenames renamed too few");
        floor.push_back(timed([&] { renameAll(tidy, untidy); }));
        say("  run %d: Morwick %.3f s, floor %.3f s", r + 1, ours.back(), floor.back());
    }
    TaskResult trim{"trim " + std::to_string(n) + " names (\"05_song_7.mp3\" -> \"05. Song 7.mp3\")", {}};
    trim.rows.push_back(
        measured("floor", "renameat2 loop, new names known", n, median(floor), cfg.runs, true));
    trim.rows.push_back(measured("Morwick Trim filenames", "main window, offscreen, all selected", n,
                                 median(ours), cfg.runs));
    if (cfg.peers) {
        // kid3's own name tidying: its case conversion and character replacements.
        const Peer kid3{"kid3-cli filenameformat", "case conversion + replacements, save; folders of 1,000",
                        [](const Names&) {
                            return kid3Folder({"-c", "config FilenameFormat.caseConversion 4", "-c",
                                               "config FilenameFormat.strRepEnabled true", "-c",
                                               "filenameformat", "-c", "save"});
                        },
                        Peer::Folder,
                        [&] { return exists(untidy.back()) ? "no file renamed" : std::string(); }};
        trim.rows.push_back(peerRow(kid3, dir, untidy, nullptr));
    }
    results.push_back(trim);
    printTask(trim, stdout);
}

// Opening a folder in the real main window until the list is filled and painted.
void openTask(const Config& cfg, const QString& root) {
    const int n = cfg.folderFiles;
    say("open a folder of %d files", n);
    const QString folder = root + QStringLiteral("/folder");
    QDir().mkpath(folder);
    for (int i = 0; i < n; ++i) {
        const QByteArray name = QFile::encodeName(QStringLiteral("%1/%2 - Some Artist - Track title %3.mp3")
                                                      .arg(folder)
                                                      .arg(n - i, 5, 10, QLatin1Char('0'))
                                                      .arg(i));
        ::close(::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    }
    std::vector<double> ours, floor;
    for (int r = 0; r < cfg.runs; ++r) {
        window->open(root); // a small folder first, so that each run fills the list anew
        ours.push_back(timed([&] {
            window->form1.openDirectory(folder);
            QApplication::processEvents(); // until the list is laid out and painted
        }));
        if (window->form1.fileList()->count() != n)
            die("the window listed too few files");
        floor.push_back(timed([&] {
            if (floorList(QFile::encodeName(folder).constData()) != size_t(n))
                die("floor listed too few");
        }));
        say("  run %d: Morwick %.3f s, floor %.3f s", r + 1, ours.back(), floor.back());
    }
    window->open(root);
    TaskResult t{"open a folder of " + std::to_string(n) + " files", {}};
    t.rows.push_back(measured("floor", "readdir, keep *.mp3, sort", n, median(floor), cfg.runs, true));
    t.rows.push_back(
        measured("Morwick open folder", "main window, offscreen, until painted", n, median(ours), cfg.runs));
    results.push_back(t);
    printTask(t, stdout);
    QDir(folder).removeRecursively();
}

// Remove all tags through the window over large files: a leading ID3v2 and a trailing ID3v1
// (a rewrite into a temporary file), then a trailing ID3v1 only (a truncation).
void removeTask(const Config& cfg, const QString& root, const Audio& audio) {
    const int n = cfg.bigFiles;
    const QByteArray body = repeatedBody(audio.body, cfg.bigMegabytes);
    const QByteArray both = audio.leadingV2 + body + audio.trailerV1;
    const double needGB = double(n) * both.size() / 1e9 + 1;
    if (freeGigabytes(root) < needGB + 2) {
        char note[160];
        std::snprintf(note, sizeof note, "skipped: %.1f GB free where the files need %.1f GB",
                      freeGigabytes(root), needGB);
        Row row = measured("-", "-", 0, 0, 1);
        row.note = note;
        results.push_back({"remove tags from " + std::to_string(n) + " large files", {row}});
        return;
    }
    say("remove tags from %d files of %.1f MB", n, both.size() / 1e6);
    const std::string dir = QFile::encodeName(root + QStringLiteral("/big")).toStdString();
    QDir().mkpath(QString::fromStdString(dir));
    Names names;
    for (int i = 0; i < n; ++i)
        names.push_back("Track " + std::to_string(i) + ".mp3");
    const auto prepare = [&](const QByteArray& content) {
        for (const std::string& f : names)
            writeFile((dir + '/' + f).c_str(), content);
    };
    const auto retag = [&] {
        for (const std::string& f : names)
            appendFile((dir + '/' + f).c_str(), audio.trailerV1);
    };
    const auto stripped = [&]() -> std::string {
        for (const std::string& f : {names.front(), names.back()})
            if (fileSize((dir + '/' + f).c_str()) != body.size())
                return f + " still has tags";
        return {};
    };
    window->open(QString::fromStdString(dir));
    if (::chdir(dir.c_str()) != 0)
        die("chdir");

    std::vector<double> ours, floor;
    QByteArray buffer;
    for (int r = 0; r < cfg.runs; ++r) {
        prepare(both);
        window->open(QString::fromStdString(dir));
        ours.push_back(window->run(&TForm1::Button14Click));
        noteProbe("Remove all tags", n, ours.back());
        if (!stripped().empty())
            die("Remove all tags left tags");
        prepare(both);
        floor.push_back(timed([&] {
            for (const std::string& f : names)
                floorRewrite(f, audio.leadingV2.size(), audio.trailerV1.size(), buffer);
        }));
        say("  run %d: Morwick %.3f s, floor %.3f s", r + 1, ours.back(), floor.back());
    }
    buffer = QByteArray();
    TaskResult t{"remove a leading ID3v2 and a trailing ID3v1 from " + std::to_string(n) + " files of " +
                     std::to_string(cfg.bigMegabytes) + " MB",
                 {}};
    t.rows.push_back(measured("floor", "read, write temp, fsync, rename", n, median(floor), cfg.runs, true));
    t.rows.push_back(measured("Morwick Remove all tags", "main window; copy_file_range, fsync, rename", n,
                              median(ours), cfg.runs));
    const std::vector<Peer> removers = {
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
    if (cfg.peers) {
        for (const Peer& p : removers)
            t.rows.push_back(peerRow(p, dir, names, [&] { prepare(both); }));
    }
    results.push_back(t);
    printTask(t, stdout);

    // A trailing ID3v1 only: the files are bare streams by now (else made so); the tag is appended
    // again before each run.
    const auto bare = [&] {
        if (!stripped().empty())
            prepare(body);
    };
    bare();
    ours.clear();
    floor.clear();
    const int64_t tagged = body.size() + audio.trailerV1.size();
    std::vector<double> lookFirst;
    for (int r = 0; r < cfg.runs; ++r) {
        retag();
        window->open(QString::fromStdString(dir));
        ours.push_back(window->run(&TForm1::Button14Click));
        noteProbe("Remove all tags (v1)", n, ours.back());
        if (!stripped().empty())
            die("Remove all tags left the ID3v1 tag");
        retag();
        floor.push_back(timed([&] {
            for (const std::string& f : names)
                if (::truncate(f.c_str(), tagged - 128) != 0)
                    die("floor: truncate");
        }));
        retag();
        lookFirst.push_back(timed([&] {
            for (const std::string& f : names)
                floorLookAndTruncate(f);
        }));
        say("  run %d: Morwick %.3f s, floor %.3f s, floor with the reads %.3f s", r + 1, ours.back(),
            floor.back(), lookFirst.back());
    }
    TaskResult v1{"remove a trailing ID3v1 only from " + std::to_string(n) + " files of " +
                      std::to_string(cfg.bigMegabytes) + " MB",
                  {}};
    v1.rows.push_back(measured("floor", "truncate(2) loop, sizes known", n, median(floor), cfg.runs, true));
    v1.rows.push_back(measured("floor + the reads Morwick needs",
                               "open, fstat, pread 10 + 8192, truncate, close", n, median(lookFirst),
                               cfg.runs));
    v1.rows.push_back(measured("Morwick Remove all tags", "main window; head + 8 KiB tail, truncate", n,
                               median(ours), cfg.runs));
    if (cfg.peers) {
        std::vector<Peer> peers = removers;
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
                         Peer::Xargs, stripped});
        for (const Peer& p : peers)
            v1.rows.push_back(peerRow(p, dir, names, [&] {
                bare();
                retag();
            }));
    }
    results.push_back(v1);
    printTask(v1, stdout);
    window->open(root);
    if (::chdir(QFile::encodeName(root).constData()) != 0)
        die("chdir");
    QDir(QString::fromStdString(dir)).removeRecursively();
}

// Peak memory of RemoveAllTags on one very large file, in a process of its own.
void rssTask(const Config& cfg, const QString& root, const Audio& audio) {
    const int mb = cfg.rssMegabytes;
    if (freeGigabytes(root) < mb / 1000.0 + 2) {
        memoryLines.push_back("peak memory: skipped, too little free disk");
        return;
    }
    say("peak memory removing tags from a %d MB file", mb);
    const std::string path = QFile::encodeName(root + QStringLiteral("/huge.mp3")).toStdString();
    const QByteArray chunk = repeatedBody(audio.body, 16);
    const auto prepare = [&] {
        writeFile(path.c_str(), audio.leadingV2);
        for (int written = 0; written < mb; written += 16)
            appendFile(path.c_str(), chunk);
        appendFile(path.c_str(), audio.trailerV1);
    };
    char self[4096];
    const ssize_t len = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (len <= 0)
        die("readlink /proc/self/exe");
    self[len] = '\0';
    const int64_t bodySize = [&] {
        prepare();
        return fileSize(path.c_str()) - audio.leadingV2.size() - 128;
    }();
    const std::string report = QFile::encodeName(root + QStringLiteral("/peak")).toStdString();
    const auto measure = [&](const std::vector<std::string>& argv, const char* who, bool exact) {
        prepare();
        long rss = 0;
        const auto start = Clock::now();
        const int status = spawnSampled(argv, rss);
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        if (exact) // Morwick's own figure, taken by the program itself as it ends
            rss = QByteArray(readWhole(QString::fromStdString(report))).trimmed().toLong();
        char buf[200];
        std::snprintf(buf, sizeof buf, "  %-24s peak RSS %7.1f MB, %.2f s%s%s", who, rss / 1024.0, s,
                      exact ? "" : " (sampled)",
                      status != 0                          ? ", exited non-zero"
                      : fileSize(path.c_str()) != bodySize ? ", tags NOT removed"
                                                           : "");
        memoryLines.push_back(buf);
    };
    spawnAndWait({self, "--rss-idle", report}, "");
    const long idle = QByteArray(readWhole(QString::fromStdString(report))).trimmed().toLong();
    char head[160];
    std::snprintf(head, sizeof head,
                  "peak memory removing both tags from one %d MB file (the program alone: %.1f MB):", mb,
                  idle / 1024.0);
    memoryLines.push_back(head);
    measure({self, "--rss-child", path, report}, "Morwick RemoveAllTags", true);
    if (cfg.peers) {
        for (const auto& [tool, argv] : std::vector<std::pair<const char*, std::vector<std::string>>>{
                 {"id3v2 -D", {"id3v2", "-D", path}},
                 {"mid3v2 --delete-all", {"mid3v2", "--delete-all", path}},
                 {"kid3-cli remove",
                  {"kid3-cli", "-c", "timeout off", "-c", "remove 1", "-c", "remove 2", "-c", "save", path}},
                 {"eyeD3 --remove-all", {"eyeD3", "-Q", "--remove-all", path}}}) {
            if (onPath(argv.front().c_str()))
                measure(argv, tool, false);
        }
    }
    ::unlink(report.c_str());
    ::unlink(path.c_str());
}

// ---------------------------------------------------------------------------------------------
// Verdicts

void printTargets(const Config& cfg) {
    std::printf("\ntargets\n");
    const auto find = [](const char* prefix) -> const TaskResult* {
        for (const TaskResult& t : results)
            if (t.title.rfind(prefix, 0) == 0)
                return &t;
        return nullptr;
    };
    const auto ratioTarget = [&](const char* prefix, double target) {
        const TaskResult* t = find(prefix);
        if (!t)
            return;
        for (const Row& r : t->rows) {
            if (r.who.rfind("Morwick", 0) != 0 || r.seconds <= 0 || &r != t->morwick())
                continue;
            const double ratio = r.files / r.seconds / t->floorRate();
            std::printf("  %-4s %-30s %.2f of the floor (target %.1f)\n", ratio >= target ? "met" : "MISS",
                        r.who.c_str() + 8, ratio, target);
        }
        // Per file ahead of every peer that did the work.
        const Row* ours = t->morwick();
        for (const Row& r : t->rows) {
            if (r.isFloor || r.who.rfind("floor", 0) == 0 || r.who.rfind("Morwick", 0) == 0 ||
                r.seconds <= 0 || !ours)
                continue;
            const double oursRate = ours->files / ours->seconds, peerRate = r.files / r.seconds;
            // A peer that moves the audio down inside the file may stay faster: it risks the file.
            const bool unsafePeer = r.how.find("no crash safety") != std::string::npos;
            std::printf("  %-4s %-30s Morwick %s files/s, %s %s files/s\n",
                        oursRate > peerRate ? "met"
                        : unsafePeer        ? "n/a"
                                            : "MISS",
                        ("ahead of " + r.who).c_str(), grouped(oursRate).c_str(), r.who.c_str(),
                        grouped(peerRate).c_str());
        }
    };
    ratioTarget("tag ", 0.5);
    ratioTarget("read ", 0.5);
    ratioTarget("rename ", 0.5);
    ratioTarget("trim ", 0.5);
    ratioTarget("remove a leading", 0.7);
    ratioTarget("remove a trailing", 0.5);
    if (const TaskResult* t = find("open ")) {
        const Row* ours = t->morwick();
        if (ours)
            std::printf("  %-4s %-30s %.3f s for %d files (target under 1 s for 20,000)\n",
                        ours->seconds < 1.0 * ours->files / 20000 ? "met" : "MISS", "open a folder",
                        ours->seconds, ours->files);
    }
    (void)cfg;
}

// The peak resident memory of this process's own memory map, into `report`.
void reportPeak(const char* report) {
    const long kib = vmHwmKiB("/proc/self/status");
    if (FILE* f = std::fopen(report, "w")) {
        std::fprintf(f, "%ld\n", kib);
        std::fclose(f);
    }
}

int rssChild(const char* path, const char* report) {
    try {
        RemoveAllTags(QString::fromLocal8Bit(path));
    } catch (const CommandError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    reportPeak(report);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--rss-idle") == 0) {
        reportPeak(argv[2]);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "--rss-child") == 0)
        return rssChild(argv[2], argv[3]);

    Config cfg;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick") {
            cfg.tagFiles = cfg.readFiles = cfg.renameFiles = 1000;
            cfg.folderFiles = 20000;
            cfg.bigFiles = 100;
            cfg.runs = 3;
        } else if (a == "--runs" && i + 1 < argc) {
            cfg.runs = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--no-peers") {
            cfg.peers = false;
        } else if (a == "--only" && i + 1 < argc) {
            cfg.only = QString::fromLocal8Bit(argv[++i]).split(QLatin1Char(','));
        } else {
            std::fprintf(stderr, "usage: bench_suite [--quick] [--runs N] [--no-peers] [--only "
                                 "tag,read,rename,open,remove,rss]\n");
            return 2;
        }
    }

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
    const Audio audio = loadAudio();
    Window w;
    window = &w;
    std::printf(
        "Morwick benchmarks in %s (%.0f GB free): median of %d runs for Morwick and the floor, one run per "
        "peer;\nwarm page cache, sync before every timing. \"x floor\" is files/s over the floor's "
        "files/s.\n",
        qPrintable(root), freeGigabytes(root), cfg.runs);
    std::fflush(stdout);

    if (cfg.wants("tag") || cfg.wants("read") || cfg.wants("rename")) {
        const int files = std::max({cfg.tagFiles, cfg.readFiles, cfg.renameFiles});
        SmallSet set = makeSmallSet(root, audio, files);
        if (::chdir(set.dir.c_str()) != 0)
            die("chdir");
        if (cfg.wants("tag"))
            tagTask(cfg, set);
        else {
            prepareTagFields(set);
            window->run(&TForm1::Button9Click);
        }
        if (cfg.wants("read"))
            readTask(cfg, set);
        if (cfg.wants("rename"))
            renameTask(cfg, set);
        window->open(root);
        if (::chdir(QFile::encodeName(root).constData()) != 0)
            die("chdir");
        QDir(QString::fromStdString(set.dir)).removeRecursively();
        QDir(QString::fromStdString(set.dir + "-rename")).removeRecursively();
    }
    if (cfg.wants("open"))
        openTask(cfg, root);
    if (cfg.wants("remove"))
        removeTask(cfg, root, audio);
    if (cfg.wants("rss"))
        rssTask(cfg, root, audio);

    std::printf("\n==================== summary ====================\n");
    for (const TaskResult& t : results)
        printTask(t, stdout);
    std::printf("\n");
    for (const std::string& line : memoryLines)
        std::printf("%s\n", line.c_str());
    std::printf("\nchecks (the window's batch loop must not act per deselected entry)\n");
    for (const std::string& line : extraLines)
        std::printf("  %s\n", line.c_str());
    printTargets(cfg);
    return 0;
}
