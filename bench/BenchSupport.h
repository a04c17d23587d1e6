#pragma once

// The measuring helpers every benchmark task shares: the run's settings, timing, plain file
// access that costs no more than the kernel's calls, and the result table and its printing.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

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
    // The trailing-only removal: a truncation per file, whose cost does not grow with the file,
    // against a floor of a few microseconds per file. Over too few files the command's own cost
    // per run (its journal begun and ended, one sync) outweighs the files' and the figure says
    // little, so a quick run keeps the full run's count in smaller files.
    int trailingFiles = 1000;
    int trailingMegabytes = 5;
    int rssMegabytes = 500;
    std::vector<int> scaleFiles = {1000, 10000, 100000}; // folder sizes of the scale section
    int runs = 5;
    bool peers = true;
    QStringList only;
    bool wants(const char* task) const { return only.isEmpty() || only.contains(QLatin1String(task)); }
};

// ---------------------------------------------------------------------------------------------
// Small helpers

// Reports what went wrong on stderr and ends the run with status 1.
[[noreturn]] void die(const char* what);
// A progress line on stderr (the figures go to stdout).
void say(const char* format, ...) __attribute__((format(printf, 1, 2)));

double median(std::vector<double> v);
// The CPU time this process has used so far, user and system, all threads, in seconds.
double cpuSeconds();
// Seconds the work takes, measured after sync() so that no earlier write-back runs meanwhile;
// with `cpu`, the CPU time of the same span goes there.
double timed(const std::function<void()>& work, double* cpu = nullptr);
// Flushes the file system that holds the current folder (syncfs): every file the work wrote
// there is on disk when it returns, and so is other people's pending data on the same disk.
void syncData();
// One run, two times: until the work returns, and until its writes are on disk as well.
struct Durable {
    double seconds = 0;
    double onDisk = 0;
};
// timed(), then syncData() inside the same span.
Durable timedDurable(const std::function<void()>& work);
// The floor and Morwick alternately, `runs` times each, on data that each leaves as it was.
void alternate(int runs, const std::function<double()>& ours, const std::function<double()>& floor,
               std::vector<double>& oursTimes, std::vector<double>& floorTimes);

// The whole file, or an empty array when it cannot be read.
QByteArray readWhole(const QString& path);
// Creates or replaces the file (0644); ends the run on failure.
void writeFile(const char* path, const QByteArray& content);
// Appends to an existing file; ends the run on failure.
void appendFile(const char* path, const QByteArray& content);
// The file's last n bytes, or an empty array when it is shorter or cannot be read.
QByteArray fileTail(const char* path, int n);
// The size in bytes, or -1 when the file is missing.
int64_t fileSize(const char* path);
bool exists(const std::string& path);
double freeGigabytes(const QString& dir);
// On PATH, or for a name with a slash in it, that file executable.
bool onPath(const char* tool);
// The read system calls this process has made so far (/proc/self/io), -1 when unknown.
long readSyscalls();
// The VmHWM line of a /proc/<pid>/status file, in KiB; 0 when it cannot be read.
long vmHwmKiB(const std::string& statusFile);

// ---------------------------------------------------------------------------------------------
// Results

struct Row {
    std::string task;
    std::string who;
    std::string how;
    int files = 0;
    double seconds = 0; // median, or the one run; negative for work a peer did not do
    int runs = 1;
    std::string note;
    bool isFloor = false;
    // Timed until the data is on disk: by a syncfs at the end of the span (synced) or by the
    // program's own fsync of every file.
    bool onDisk = false;
    bool synced = false;
};

struct TaskResult {
    std::string title;
    std::vector<Row> rows;
    // The floor's files/s; for a synced row the synced floor's, when the task has one.
    double floorRate(bool synced = false) const;
    // The first row of Morwick's own, or nullptr; with `synced`, the first synced one, else the first.
    const Row* morwick(bool synced = false) const;
};

Row measured(std::string who, std::string how, int files, double seconds, int runs, bool isFloor = false);
// The same work's row until on disk: " + sync" added to who, the syncfs to how.
Row synced(const Row& row, double seconds);
// The row, and after it its " + sync" row with the median of `onDisk` (the same runs' times).
void addWithSync(std::vector<Row>& rows, const Row& row, const std::vector<double>& onDisk);
// Morwick's row for a command that syncs what it changed before it returns (one syncfs per file
// system at its end): until on disk by itself, so it stands against the floor's " + sync" row,
// like with like, and needs no " + sync" row of its own.
Row syncedByItself(Row row);

// The scale section: per-file costs side by side as the folder grows.
struct ScaleResult {
    struct Task {
        std::string who;
        std::string how;
        std::vector<double> microsPerFile; // one per folder size; 0 where not measured
        bool isFloor = false;
        // The CPU time of the task above it (this process, user + system): what other people's
        // work on the shared cores cannot add to.
        bool isCpu = false;
    };
    std::vector<int> files; // the folder sizes
    std::vector<Task> tasks;
    // The window's memory (KiB) per folder size: alone, with the folder open, its peak by then,
    // and its peak after Tag files over the folder; 0 where not measured.
    std::vector<long> idleKiB, openKiB, openPeakKiB, tagPeakKiB;
    int runs = 0;
    int fileBytes = 0;
    std::string note; // why a size was left out
};

// Everything a run finds, printed once more as the summary at the end.
struct Report {
    std::vector<TaskResult> tasks;
    std::vector<std::string> checks; // the window's behaviour during the batch loops
    std::vector<std::string> memory; // peak memory
    ScaleResult scale;

    // Keeps the task's table and prints it at once.
    void add(const TaskResult& task);
    // Keeps one check line per key: a line starting with `key` replaces the earlier one.
    void setCheck(const std::string& key, const std::string& line);
};

// A whole number with thousands separated by commas: 12345.6 -> "12,346".
std::string grouped(double v);
void printTask(const TaskResult& t, FILE* out);
// The per-file costs of the scale section, and the window's memory at each size.
void printScale(const ScaleResult& s, FILE* out);
// The row's per-file cost at the last size over that at the one before; 0 when not both measured.
double scaleRatio(const ScaleResult::Task& t);
// The summary, the memory lines, the checks and the verdicts on the targets.
void printSummary(const Report& report);
