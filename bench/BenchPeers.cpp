#include "bench/BenchPeers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr size_t kFolderFiles = 1000;

// xargs' default command buffer: a batch's arguments stay within this many bytes.
constexpr size_t kArgBytes = 128 * 1024;

struct SpawnResult {
    double seconds = 0;
    double onDisk = 0; // until a syncfs after the last process has returned
    int processes = 0;
    int failures = 0; // processes that exited with a status other than 0
};

std::vector<char*> argvOf(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

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
    } else if (peer.batching == Peer::WholeFolder) {
        batches.push_back(files);
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
    syncData();
    r.onDisk = std::chrono::duration<double>(Clock::now() - start).count();
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

} // namespace

int spawnAndWait(const std::vector<std::string>& args, const std::string& dir) {
    std::vector<char*> argv = argvOf(args);
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

// VmHWM belongs to the program's own memory map; wait4's ru_maxrss would also count this large
// process, whose peak a spawned child inherits across exec.
int spawnSampled(const std::vector<std::string>& args, long& peakKiB) {
    std::vector<char*> argv = argvOf(args);
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

std::vector<Row> peerRows(const Peer& peer, const std::string& dir, const Names& files,
                          const std::function<void()>& prepare) {
    Row row = measured(peer.who, peer.how, int(files.size()), 0, 1);
    const std::string tool = peer.argv({"x"}).front();
    if (!onPath(tool.c_str())) {
        row.note = "not installed: skipped";
        return {row};
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
    return {row, synced(row, r.onDisk)};
}

std::vector<Row> repeatedRows(const Peer& peer, const std::string& dir, const Names& files,
                              const std::function<void()>& prepare, int runs) {
    Row row = measured(peer.who, peer.how, int(files.size()), 0, runs);
    const std::string tool = peer.argv({"x"}).front();
    if (!onPath(tool.c_str())) {
        row.note = "not built: skipped";
        return {row};
    }
    std::vector<double> seconds, onDisk;
    int processes = 0, failures = 0;
    for (int run = 0; run < runs; ++run) {
        if (prepare)
            prepare();
        const SpawnResult r = runPeer(peer, dir, files);
        seconds.push_back(r.seconds);
        onDisk.push_back(r.onDisk);
        processes = r.processes;
        failures += r.failures;
        say("  %s run %d: %.3f s, %.3f s until on disk", peer.who.c_str(), run + 1, r.seconds, r.onDisk);
    }
    row.seconds = median(seconds);
    row.note = std::to_string(processes) + (processes == 1 ? " process" : " processes");
    if (failures > 0)
        row.note += ", " + std::to_string(failures) + " exited non-zero";
    const std::string problem = peer.check ? peer.check() : std::string();
    if (!problem.empty()) {
        row.note += "; NOT DONE: " + problem;
        row.seconds = -row.seconds;
    }
    return {row, synced(row, median(onDisk))};
}

std::string morwickCli() {
    return MORWICK_CLI;
}

Row peerRow(const Peer& peer, const std::string& dir, const Names& files,
            const std::function<void()>& prepare) {
    return peerRows(peer, dir, files, prepare).front();
}

std::vector<std::string> concat(std::vector<std::string> a, const Names& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Peer mid3v2Tagger(std::function<std::string()> check) {
    return {"mid3v2", "artist, album, year, comment, genre; xargs",
            [](const Names& f) {
                return concat({"mid3v2", "-a", "Other Band", "-A", "First Album", "-y", "2004", "-c",
                               "a comment", "-g", "Rock"},
                              f);
            },
            Peer::Xargs, std::move(check)};
}

std::vector<std::string> kid3Folder(std::vector<std::string> args) {
    // Its commands give up after three seconds by default, too short for thousands of files.
    args.insert(args.begin(), {"kid3-cli", "-c", "timeout off", "-c", "select all"});
    args.push_back(".");
    return args;
}
