#include "bench/BenchSupport.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

// ---------------------------------------------------------------------------------------------
// Small helpers

void die(const char* what) {
    std::fprintf(stderr, "bench_suite: %s\n", what);
    std::exit(1);
}

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

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double timed(const std::function<void()>& work, double* cpu) {
    ::sync(); // no write-back of the preparation pending while the clock runs
    const double cpuBefore = cpu ? cpuSeconds() : 0;
    const auto start = Clock::now();
    work();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (cpu)
        *cpu = cpuSeconds() - cpuBefore;
    return seconds;
}

void syncData() {
    const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::syncfs(fd) != 0)
        die("syncfs");
    ::close(fd);
}

Durable timedDurable(const std::function<void()>& work) {
    Durable d;
    ::sync();
    const auto start = Clock::now();
    work();
    d.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    syncData();
    d.onDisk = std::chrono::duration<double>(Clock::now() - start).count();
    return d;
}

void alternate(int runs, const std::function<double()>& ours, const std::function<double()>& floor,
               std::vector<double>& oursTimes, std::vector<double>& floorTimes) {
    for (int r = 0; r < runs; ++r) {
        floorTimes.push_back(floor());
        oursTimes.push_back(ours());
        say("  run %d: Morwick %.3f s, floor %.3f s", r + 1, oursTimes.back(), floorTimes.back());
    }
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
    if (std::strchr(tool, '/'))
        return ::access(tool, X_OK) == 0;
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

// ---------------------------------------------------------------------------------------------
// Results

double TaskResult::floorRate(bool synced) const {
    if (synced)
        for (const Row& r : rows)
            if (r.who.rfind("floor", 0) == 0 && r.synced && r.seconds > 0)
                return r.files / r.seconds;
    for (const Row& r : rows)
        if (r.isFloor)
            return r.files / r.seconds;
    return 0;
}

const Row* TaskResult::morwick(bool synced) const {
    if (synced)
        for (const Row& r : rows)
            if (r.who.rfind("Morwick", 0) == 0 && r.synced)
                return &r;
    for (const Row& r : rows)
        if (r.who.rfind("Morwick", 0) == 0)
            return &r;
    return nullptr;
}

Row measured(std::string who, std::string how, int files, double seconds, int runs, bool isFloor) {
    Row r;
    r.who = std::move(who);
    r.how = std::move(how);
    r.files = files;
    r.seconds = seconds;
    r.runs = runs;
    r.isFloor = isFloor;
    return r;
}

Row synced(const Row& row, double seconds) {
    Row r = row;
    r.who += " + sync";
    r.how = "the same, then syncfs";
    r.seconds = row.seconds < 0 ? -std::abs(seconds) : seconds;
    r.isFloor = false;
    r.onDisk = r.synced = true;
    return r;
}

void addWithSync(std::vector<Row>& rows, const Row& row, const std::vector<double>& onDisk) {
    rows.push_back(row);
    rows.push_back(synced(row, median(onDisk)));
}

Row syncedByItself(Row row) {
    row.how += "; syncs at its end";
    row.onDisk = row.synced = true;
    return row;
}

void Report::add(const TaskResult& task) {
    tasks.push_back(task);
    printTask(task, stdout);
}

void Report::setCheck(const std::string& key, const std::string& line) {
    const auto same = std::find_if(checks.begin(), checks.end(),
                                   [&](const std::string& l) { return l.rfind(key, 0) == 0; });
    if (same != checks.end())
        *same = line;
    else
        checks.push_back(line);
}

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
    std::string onDisk;
    for (const Row& r : t.rows) {
        const double floor = t.floorRate(r.synced);
        if (r.onDisk)
            onDisk += (onDisk.empty() ? "" : ", ") + r.who;
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
    // Which rows wait for the disk; the others stop when the program returns, its data still
    // in the page cache for the kernel to write back later.
    if (!onDisk.empty())
        std::fprintf(out, "  until on disk: %s; the other rows until the program returns%s\n", onDisk.c_str(),
                     t.floorRate(true) != t.floorRate()
                         ? " (x floor of a row until on disk is over floor + sync; Morwick's commands sync "
                           "before they return, so its row is one)"
                         : "");
    std::fflush(out);
}

double scaleRatio(const ScaleResult::Task& t) {
    const size_t n = t.microsPerFile.size();
    return n >= 2 && t.microsPerFile[n - 1] > 0 && t.microsPerFile[n - 2] > 0
               ? t.microsPerFile[n - 1] / t.microsPerFile[n - 2]
               : 0;
}

void printScale(const ScaleResult& s, FILE* out) {
    if (s.files.empty())
        return;
    std::fprintf(
        out, "\nscale: microseconds per file as the folder grows (files of %d bytes, median of %d runs)\n",
        s.fileBytes, s.runs);
    char last[64] = "";
    if (s.files.size() >= 2)
        std::snprintf(last, sizeof last, "%s/%s", grouped(s.files.back()).c_str(),
                      grouped(s.files[s.files.size() - 2]).c_str());
    std::fprintf(out, "  %-24s %-40s", "program", "how");
    for (int n : s.files)
        std::fprintf(out, " %10s", grouped(n).c_str());
    std::fprintf(out, " %15s\n", last);
    for (const ScaleResult::Task& t : s.tasks) {
        std::fprintf(out, "  %-24s %-40s", t.who.c_str(), t.how.c_str());
        for (double us : t.microsPerFile) {
            char cell[32] = "-";
            if (us > 0)
                std::snprintf(cell, sizeof cell, "%.1f", us);
            std::fprintf(out, " %10s", cell);
        }
        const double ratio = scaleRatio(t);
        char cell[32] = "-";
        if (ratio > 0)
            std::snprintf(cell, sizeof cell, "%.2f", ratio);
        std::fprintf(out, " %15s\n", cell);
    }
    const auto memoryRow = [&](const char* what, const std::vector<long>& kib) {
        std::fprintf(out, "  %-65s", what);
        for (long k : kib) {
            char cell[32] = "-";
            if (k > 0)
                std::snprintf(cell, sizeof cell, "%.1f MB", k / 1024.0);
            std::fprintf(out, " %10s", cell);
        }
        std::fprintf(out, "\n");
    };
    std::fprintf(out, "  the window's memory, in a process of its own:\n");
    memoryRow("    window alone (VmRSS)", s.idleKiB);
    memoryRow("    folder open, until painted (VmRSS)", s.openKiB);
    memoryRow("    peak until then (VmHWM)", s.openPeakKiB);
    memoryRow("    peak after Tag files over the folder (VmHWM)", s.tagPeakKiB);
    if (!s.note.empty())
        std::fprintf(out, "  %s\n", s.note.c_str());
    std::fflush(out);
}

void printSummary(const Report& report) {
    std::printf("\n==================== summary ====================\n");
    for (const TaskResult& t : report.tasks)
        printTask(t, stdout);
    printScale(report.scale, stdout);
    std::printf("\n");
    for (const std::string& line : report.memory)
        std::printf("%s\n", line.c_str());
    std::printf("\nchecks (the window's batch loop must not act per deselected entry)\n");
    for (const std::string& line : report.checks)
        std::printf("  %s\n", line.c_str());
}
