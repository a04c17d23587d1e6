// Peak memory of RemoveAllTags on one very large file, in a process of its own.

#include "bench/BenchTasks.h"
#include "core/IoError.h"
#include "core/TagRemoval.h"

#include <QFile>
#include <unistd.h>

namespace {

// The peak resident memory of this process's own memory map, into `reportFile`.
void reportPeak(const char* reportFile) {
    const long kib = vmHwmKiB("/proc/self/status");
    if (FILE* f = std::fopen(reportFile, "w")) {
        std::fprintf(f, "%ld\n", kib);
        std::fclose(f);
    }
}

} // namespace

int rssIdle(const char* reportFile) {
    reportPeak(reportFile);
    return 0;
}

int rssChild(const char* path, const char* reportFile) {
    try {
        RemoveAllTags(QString::fromLocal8Bit(path));
    } catch (const CommandError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    reportPeak(reportFile);
    return 0;
}

void MemoryBench(const Config& cfg, const QString& root, const Audio& audio, Report& report) {
    const int mb = cfg.rssMegabytes;
    if (freeGigabytes(root) < mb / 1000.0 + 2) {
        report.memory.push_back("peak memory: skipped, too little free disk");
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
    const std::string peakFile = QFile::encodeName(root + QStringLiteral("/peak")).toStdString();
    const auto measure = [&](const std::vector<std::string>& argv, const char* who, bool exact) {
        prepare();
        long rss = 0;
        const auto start = Clock::now();
        const int status = spawnSampled(argv, rss);
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        if (exact) // Morwick's own figure, taken by the program itself as it ends
            rss = QByteArray(readWhole(QString::fromStdString(peakFile))).trimmed().toLong();
        char buf[200];
        std::snprintf(buf, sizeof buf, "  %-24s peak RSS %7.1f MB, %.2f s%s%s", who, rss / 1024.0, s,
                      exact ? "" : " (sampled)",
                      status != 0                          ? ", exited non-zero"
                      : fileSize(path.c_str()) != bodySize ? ", tags NOT removed"
                                                           : "");
        report.memory.push_back(buf);
    };
    spawnAndWait({self, "--rss-idle", peakFile}, "");
    const long idle = QByteArray(readWhole(QString::fromStdString(peakFile))).trimmed().toLong();
    char head[160];
    std::snprintf(head, sizeof head,
                  "peak memory removing both tags from one %d MB file (the program alone: %.1f MB):", mb,
                  idle / 1024.0);
    report.memory.push_back(head);
    measure({self, "--rss-child", path, peakFile}, "Morwick RemoveAllTags", true);
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
    ::unlink(peakFile.c_str());
    ::unlink(path.c_str());
}
