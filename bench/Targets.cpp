// The verdicts: each task's figures against its target, and Morwick against every peer.

#include "bench/BenchTasks.h"

namespace {

const TaskResult* findTask(const Report& report, const char* prefix) {
    for (const TaskResult& t : report.tasks)
        if (t.title.rfind(prefix, 0) == 0)
            return &t;
    return nullptr;
}

bool isCli(const Row& r) {
    return r.who.rfind("morwick-cli", 0) == 0;
}

// morwick-cli's row, until on disk or not, as `synced` says; nullptr when there is none.
const Row* cliRow(const TaskResult& t, bool synced) {
    for (const Row& r : t.rows)
        if (isCli(r) && r.synced == synced)
            return &r;
    return nullptr;
}

// morwick-cli, a whole process, ahead of every peer that did the same work, like with like:
// its row until on disk against theirs until on disk, and until it returns against theirs.
void cliTarget(const Report& report, const char* prefix, const char* label) {
    const TaskResult* t = findTask(report, prefix);
    if (!t)
        return;
    for (const Row& r : t->rows) {
        const Row* ours = cliRow(*t, r.synced);
        if (r.isFloor || r.who.rfind("floor", 0) == 0 || r.who.rfind("Morwick", 0) == 0 || isCli(r) ||
            r.seconds <= 0 || !ours)
            continue;
        if (ours->seconds <= 0) {
            std::printf("  MISS %-30s %s did not do the work\n", ("ahead of " + r.who).c_str(),
                        ours->who.c_str());
            continue;
        }
        std::printf("  %-4s %-30s %s %.3f s, %s %.3f s\n", ours->seconds < r.seconds ? "met" : "MISS",
                    (std::string(label) + ", ahead of " + r.who).c_str(), ours->who.c_str(), ours->seconds,
                    r.who.c_str(), r.seconds);
    }
}

// Morwick's files/s as a share of the floor's, and per file ahead of every peer that did the work.
void ratioTarget(const Report& report, const char* prefix, double target) {
    const TaskResult* t = findTask(report, prefix);
    if (!t)
        return;
    for (const Row& r : t->rows) {
        if (r.who.rfind("Morwick", 0) != 0 || r.seconds <= 0 || &r != t->morwick())
            continue;
        // A row until on disk against the floor until on disk: like with like.
        const double ratio = r.files / r.seconds / t->floorRate(r.synced);
        std::printf("  %-4s %-30s %.2f of the floor%s (target %.1f)\n", ratio >= target ? "met" : "MISS",
                    r.who.c_str() + 8, ratio, r.synced ? " + sync, both until on disk" : "", target);
    }
    for (const Row& r : t->rows) {
        // A peer timed until on disk against Morwick's row until on disk: like with like.
        const Row* ours = t->morwick(r.synced);
        if (r.isFloor || r.who.rfind("floor", 0) == 0 || r.who.rfind("Morwick", 0) == 0 || isCli(r) ||
            r.seconds <= 0 || !ours)
            continue;
        const double oursRate = ours->files / ours->seconds, peerRate = r.files / r.seconds;
        // A peer that moves the audio down inside the file may stay faster: it risks the file.
        // Its " + sync" row gets no such excuse: until on disk is the comparison that counts.
        const bool unsafePeer = r.how.find("no crash safety") != std::string::npos;
        std::printf("  %-4s %-30s Morwick%s %s files/s, %s %s files/s\n",
                    oursRate > peerRate ? "met"
                    : unsafePeer        ? "n/a"
                                        : "MISS",
                    ("ahead of " + r.who).c_str(), ours->synced ? " (until on disk)" : "",
                    grouped(oursRate).c_str(), r.who.c_str(), grouped(peerRate).c_str());
    }
}

} // namespace

namespace {

// The per-file cost at 100,000 files against that at 10,000, and the window's memory at 100,000.
void scaleTargets(const ScaleResult& s) {
    const size_t n = s.files.size();
    const bool tenfold = n >= 2 && s.files[n - 1] == 100000 && s.files[n - 2] == 10000;
    for (size_t i = 0; i < s.tasks.size(); ++i) {
        const ScaleResult::Task& t = s.tasks[i];
        if (t.isFloor || t.isCpu)
            continue;
        const double ratio = scaleRatio(t);
        // The same ratio in CPU time, which the neighbours' load on the shared cores leaves alone.
        char cpu[64] = "";
        if (i + 1 < s.tasks.size() && s.tasks[i + 1].isCpu && scaleRatio(s.tasks[i + 1]) > 0)
            std::snprintf(cpu, sizeof cpu, "; in CPU time %.2f", scaleRatio(s.tasks[i + 1]));
        if (ratio <= 0 || !tenfold) {
            std::printf("  n/a  %-30s per file at 100,000 files: not measured at 100,000 and 10,000\n",
                        (t.who + ", flat").c_str());
            continue;
        }
        std::printf(
            "  %-4s %-30s %.2f x the per-file cost at 10,000 at 100,000 files (target at most 1.5%s)\n",
            ratio <= 1.5 ? "met" : "MISS", (t.who + ", flat").c_str(), ratio, cpu);
    }
    if (n > 0 && s.files.back() == 100000 && s.openKiB.back() > 0)
        std::printf("  %-4s %-30s %.1f MB with 100,000 files open (peak %.1f MB; target under 100 MB)\n",
                    s.openKiB.back() < 100 * 1024 ? "met" : "MISS", "the window's memory",
                    s.openKiB.back() / 1024.0, s.openPeakKiB.back() / 1024.0);
    else
        std::printf("  n/a  %-30s not measured at 100,000 files\n", "the window's memory");
}

} // namespace

void printTargets(const Report& report) {
    std::printf("\ntargets\n");
    // Morwick's rows are until on disk (its commands sync at their end): against floor + sync.
    ratioTarget(report, "tag ", 0.6);
    ratioTarget(report, "read ", 0.5);
    ratioTarget(report, "rename ", 0.6);
    ratioTarget(report, "trim ", 0.6);
    // Twice the per-file copy, fsync and rename (the floor row) that Morwick itself did before
    // it ended its changes in groups.
    ratioTarget(report, "remove a leading", 2.0);
    ratioTarget(report, "remove a trailing", 0.5);
    if (const TaskResult* t = findTask(report, "open ")) {
        const Row* ours = t->morwick();
        if (ours)
            std::printf("  %-4s %-30s %.3f s for %d files (target under 1 s for 20,000)\n",
                        ours->seconds < 1.0 * ours->files / 20000 ? "met" : "MISS", "open a folder",
                        ours->seconds, ours->files);
    }
    if (!report.scale.files.empty())
        scaleTargets(report.scale);
    // morwick-cli as a whole process, over the folder and over one file.
    cliTarget(report, "tag ", "cli tag");
    cliTarget(report, "rename ", "cli rename");
    cliTarget(report, "start-up: tag", "cli start-up, tag");
    cliTarget(report, "start-up: show", "cli start-up, show");
}
