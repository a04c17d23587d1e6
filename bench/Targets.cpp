// The verdicts: each task's figures against its target, and Morwick against every peer.

#include "bench/BenchTasks.h"

namespace {

const TaskResult* findTask(const Report& report, const char* prefix) {
    for (const TaskResult& t : report.tasks)
        if (t.title.rfind(prefix, 0) == 0)
            return &t;
    return nullptr;
}

// Morwick's files/s as a share of the floor's, and per file ahead of every peer that did the work.
void ratioTarget(const Report& report, const char* prefix, double target) {
    const TaskResult* t = findTask(report, prefix);
    if (!t)
        return;
    for (const Row& r : t->rows) {
        if (r.who.rfind("Morwick", 0) != 0 || r.seconds <= 0 || &r != t->morwick())
            continue;
        const double ratio = r.files / r.seconds / t->floorRate();
        std::printf("  %-4s %-30s %.2f of the floor (target %.1f)\n", ratio >= target ? "met" : "MISS",
                    r.who.c_str() + 8, ratio, target);
    }
    const Row* ours = t->morwick();
    for (const Row& r : t->rows) {
        if (r.isFloor || r.who.rfind("floor", 0) == 0 || r.who.rfind("Morwick", 0) == 0 || r.seconds <= 0 ||
            !ours)
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
}

} // namespace

void printTargets(const Report& report) {
    std::printf("\ntargets\n");
    ratioTarget(report, "tag ", 0.5);
    ratioTarget(report, "read ", 0.5);
    ratioTarget(report, "rename ", 0.5);
    ratioTarget(report, "trim ", 0.5);
    ratioTarget(report, "remove a leading", 0.7);
    ratioTarget(report, "remove a trailing", 0.5);
    if (const TaskResult* t = findTask(report, "open ")) {
        const Row* ours = t->morwick();
        if (ours)
            std::printf("  %-4s %-30s %.3f s for %d files (target under 1 s for 20,000)\n",
                        ours->seconds < 1.0 * ours->files / 20000 ? "met" : "MISS", "open a folder",
                        ours->seconds, ours->files);
    }
}
