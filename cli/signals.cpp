#include "signals.h"

#include "terminal.h"

#ifndef _WIN32
#include <csignal>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#endif

#include <atomic>

namespace rowlark::cli {
namespace {
// The watcher thread outlives any object of main's.
std::atomic<int> gCaught{0};
std::atomic<bool> gJobStarted{false};
std::atomic<bool> gEnding{false}; // somebody is printing the run's last words
std::function<void(int)> gTellStop;
} // namespace

int SignalWatcher::caught() const {
    return gCaught;
}

void SignalWatcher::jobStarted() {
    gJobStarted = true;
}

bool SignalWatcher::claimEnding() {
    return !gEnding.exchange(true);
}

#ifdef _WIN32
SignalWatcher::SignalWatcher(db::CancelSwitch&, std::function<void(int)> tellStop) {
    gTellStop = std::move(tellStop);
}
SignalWatcher::~SignalWatcher() = default;
#else
SignalWatcher::SignalWatcher(db::CancelSwitch& cancel, std::function<void(int)> tellStop) {
    gTellStop = std::move(tellStop);
    // Blocked here before any other thread starts, the signals reach only the watcher below,
    // which may do what a signal handler may not: cancel a statement through the driver.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([&cancel, set] {
        for (;;) {
            int sig = 0;
            if (sigwait(&set, &sig) != 0) continue;
            const bool second = gCaught.exchange(sig) != 0;
            if (second || !gJobStarted) {
                RestoreTerminal();
                // Nothing has been changed yet (or the user insists): the run ends here, with
                // its last words unless the main thread is already saying them.
                if (!second && !gEnding.exchange(true) && gTellStop) gTellStop(sig);
                _exit(128 + sig);
            }
            cancel.pull();
        }
    }).detach();
}

SignalWatcher::~SignalWatcher() = default;
#endif

} // namespace rowlark::cli
