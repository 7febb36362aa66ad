#include "signals.h"

#ifndef _WIN32
#include <csignal>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#endif

#include <atomic>

namespace rowlark::cli {
namespace {
std::atomic<int> gCaught{0}; // the watcher thread outlives any object of main's
}

int SignalWatcher::caught() const {
    return gCaught;
}

#ifdef _WIN32
SignalWatcher::SignalWatcher(db::CancelSwitch&) {}
SignalWatcher::~SignalWatcher() = default;
#else
SignalWatcher::SignalWatcher(db::CancelSwitch& cancel) {
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
            if (gCaught.exchange(sig) != 0) _exit(128 + sig); // the second one: no more waiting
            cancel.pull();
        }
    }).detach();
}

SignalWatcher::~SignalWatcher() = default;
#endif

} // namespace rowlark::cli
