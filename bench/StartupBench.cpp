// The start-up of a whole process for one file: morwick-cli tagging one file and showing one,
// beside the peers doing the same to the same file. Over one file the program's own start-up
// (loading, settings, the journal) is nearly all there is to time.

#include "bench/BenchTasks.h"

#include <QDir>
#include <QFile>
#include <unistd.h>

namespace {

// More runs than the batch tasks: each is short, and the median of a few would follow the
// neighbours' load on the shared cores.
constexpr int kRuns = 21;

const char kFile[] = "01. Song 1.mp3";

struct OneFile {
    std::string who;
    std::vector<std::string> argv;
};

struct Timings {
    std::vector<double> seconds, onDisk;
    int failures = 0;
    std::string problem; // what the last run left undone
};

// The tag task's fields, as the batch table's rows write them.
std::vector<OneFile> taggers() {
    return {
        {"morwick-cli tag",
         {morwickCli(), "--skip", "tag", "-f", "0", "-d", "0", "--artist", "Other Band", "--album",
          "First Album", "--year", "2004", "--comment", "a comment", "--genre", "Rock", "--no-id3v2", kFile}},
        {"kid3-cli",
         {"kid3-cli", "-c", "totag \"%{track}. %{title}\" 1", "-c", "set artist \"Other Band\" 1", "-c",
          "set album \"First Album\" 1", "-c", "set date 2004 1", "-c", "set comment \"a comment\" 1", "-c",
          "set genre Rock 1", "-c", "save", kFile}},
        {"eyeD3 --to-v1.1",
         {"eyeD3", "--to-v1.1", "-Q", "-a", "Other Band", "-A", "First Album", "-Y", "2004", "-c",
          "a comment", "-G", "Rock", kFile}},
        {"mid3v2",
         {"mid3v2", "-a", "Other Band", "-A", "First Album", "-y", "2004", "-c", "a comment", "-g", "Rock",
          kFile}},
    };
}

// Each program's listing of the file's tags.
std::vector<OneFile> showers() {
    return {
        {"morwick-cli show", {morwickCli(), "show", kFile}},
        {"kid3-cli -c get", {"kid3-cli", "-c", "get", kFile}},
        {"eyeD3", {"eyeD3", kFile}},
        {"mid3v2 -l", {"mid3v2", "-l", kFile}},
    };
}

// Every program once per round, in turn, so that a busy spell of the neighbours falls on all
// of them alike. `fresh` puts the file back as it was before each run.
std::vector<Timings> rounds(const std::vector<OneFile>& tools, const std::vector<bool>& installed,
                            const std::function<void()>& fresh, const std::function<std::string()>& check) {
    std::vector<Timings> t(tools.size());
    for (int run = 0; run < kRuns; ++run) {
        for (size_t i = 0; i < tools.size(); ++i) {
            if (!installed[i])
                continue;
            fresh();
            int status = 0;
            const Durable d = timedDurable([&] { status = spawnAndWait(tools[i].argv, ""); });
            t[i].seconds.push_back(d.seconds);
            t[i].onDisk.push_back(d.onDisk);
            if (status != 0)
                ++t[i].failures;
            if (run == kRuns - 1 && check)
                t[i].problem = check();
        }
    }
    return t;
}

TaskResult table(const std::string& title, const std::vector<OneFile>& tools, bool writes,
                 const std::function<void()>& fresh, const std::function<std::string()>& check) {
    std::vector<bool> installed;
    for (const OneFile& tool : tools)
        installed.push_back(onPath(tool.argv.front().c_str()));
    const std::vector<Timings> times = rounds(tools, installed, fresh, check);
    TaskResult result{title, {}};
    for (size_t i = 0; i < tools.size(); ++i) {
        Row row = measured(tools[i].who, "one process, one file", 1, 0, kRuns);
        if (!installed[i]) {
            row.note = "not installed: skipped";
            result.rows.push_back(row);
            continue;
        }
        row.seconds = median(times[i].seconds);
        if (times[i].failures > 0)
            row.note = std::to_string(times[i].failures) + " runs exited non-zero";
        if (!times[i].problem.empty()) {
            row.note += (row.note.empty() ? "" : "; ") + ("NOT DONE: " + times[i].problem);
            row.seconds = -row.seconds;
        }
        if (writes)
            addWithSync(result.rows, row, times[i].onDisk);
        else
            result.rows.push_back(row);
    }
    return result;
}

} // namespace

void StartupBench(const Config& cfg, const QString& root, const Audio& audio, Report& report) {
    say("start-up: one file, %d runs of each program", kRuns);
    const std::string dir = QFile::encodeName(root + QStringLiteral("/startup")).toStdString();
    QDir().mkpath(QString::fromStdString(dir));
    if (::chdir(dir.c_str()) != 0)
        die("entering the start-up folder");
    const QByteArray content = audio.small + audio.trailerV1;
    const auto fresh = [&] { writeFile(kFile, content); };
    fresh();
    // morwick-cli comes first in each list; the peers after it.
    const auto chosen = [&](std::vector<OneFile> tools) {
        if (!cfg.peers)
            tools.resize(1);
        return tools;
    };
    report.add(
        table("start-up: tag one file (format 0, every field set)", chosen(taggers()), true, fresh, [] {
            const QByteArray tail = fileTail(kFile, 128);
            return tail.startsWith("TAG") && tail.contains("Other Band") ? std::string() : "no new tag";
        }));
    fresh();
    report.add(table("start-up: show one file's tag", chosen(showers()), false, [] {}, {}));
    if (::chdir(QFile::encodeName(root).constData()) != 0)
        die("chdir");
    QDir(QString::fromStdString(dir)).removeRecursively();
}
