#include "cli/CliSignals.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stops = 0;

void onStop(int signal) {
    if (stops > 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    stops = 1;
    static const char note[] = "\nmorwick-cli: stopping after the current file (again to stop at once)\n";
    const ssize_t written = ::write(STDERR_FILENO, note, sizeof note - 1);
    (void)written;
}

} // namespace

void InstallStopHandler() {
    struct sigaction action {};
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a question waiting on the terminal returns, so Ctrl+C ends it too.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() {
    return stops != 0;
}

bool WaitForInput(int fd) {
    sigset_t stopSignals;
    sigset_t before;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, &before);
    bool ready = false;
    while (!StopRequested()) {
        pollfd wanted{fd, POLLIN, 0};
        const int result = ::ppoll(&wanted, 1, nullptr, &before);
        if (result > 0 || (result < 0 && errno != EINTR)) {
            ready = true; // input, its end, or an error the read then reports
            break;
        }
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return ready;
}
