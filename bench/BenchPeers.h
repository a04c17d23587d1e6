#pragma once

// The peers: general tag tools doing the same work, run as processes the way xargs runs them.

#include "bench/BenchSupport.h"

#include <functional>
#include <string>
#include <vector>

struct Peer {
    std::string who;
    std::string how;
    // The whole command line for one batch of files (names relative to the data folder).
    std::function<std::vector<std::string>(const Names&)> argv;
    // How the files reach it: as many as fit per process (as xargs does), one per process, or
    // the folder itself (the tool is then given "." and finds them; kid3-cli is quadratic in the
    // number of paths given on its command line but not in a folder's size), or the folder
    // whole to one process however many files it holds (morwick-cli, which walks it itself).
    enum Batching { Xargs, PerFile, Folder, WholeFolder } batching = Xargs;
    // Whether the work was done, judged on the data after the run; returns a note when not.
    std::function<std::string()> check;
    int maxPerProcess = 0; // xargs -n: 0 for as many as fit
};

// Runs argv in `dir` (the current folder when empty) with no input and all output discarded;
// waits for it. Returns its exit status, 128 + the signal that ended it, or -1 when it could
// not be started.
int spawnAndWait(const std::vector<std::string>& args, const std::string& dir);

// Runs argv and samples its peak resident memory (KiB) into `peakKiB` every half millisecond.
// Returns the exit status as spawnAndWait does.
int spawnSampled(const std::vector<std::string>& args, long& peakKiB);

// The peer over `files` in `dir`, once, as a table row: skipped when the tool is not installed;
// `prepare` (may be empty) runs before the clock starts. A peer whose check fails is shown with
// a negative time, so that it never counts as faster.
Row peerRow(const Peer& peer, const std::string& dir, const Names& files,
            const std::function<void()>& prepare);
// The same run as two rows: until the last process returns, and until a syncfs after it has
// put the tool's writes on disk (" + sync"). Only the first when the tool is not installed.
std::vector<Row> peerRows(const Peer& peer, const std::string& dir, const Names& files,
                          const std::function<void()>& prepare);

// The same as peerRows, `runs` times with `prepare` before each, the medians: for morwick-cli,
// whose whole-process figures stand beside the window's medians.
std::vector<Row> repeatedRows(const Peer& peer, const std::string& dir, const Names& files,
                              const std::function<void()>& prepare, int runs);

// The morwick-cli built beside this benchmark, so that the figures are of the code just built.
std::string morwickCli();

std::vector<std::string> concat(std::vector<std::string> a, const Names& b);

// mid3v2 writing the fields every file shares (an ID3v2 tag, and the ID3v1 tag a file already
// has), batched as xargs batches.
Peer mid3v2Tagger(std::function<std::string()> check);

// kid3-cli over every file of the current folder, with these arguments ("-c", command, ...).
std::vector<std::string> kid3Folder(std::vector<std::string> args);
