#include "signals.h"

#include "terminal.h"

#include <atomic>
#include <csignal>

#ifdef _WIN32
#include <windows.h>

#include <cstdlib>
#else
#include <pthread.h>
#include <thread>
#include <unistd.h>
#endif

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
namespace {
db::CancelSwitch* gCancel = nullptr;

// Runs on a thread of its own, which the system starts for each console event, so it may cancel a
// statement through the driver. Ctrl-C stands for SIGINT; Ctrl-Break and the console's closing
// (or the user's logging off) stand for SIGTERM, with the same exit statuses as on Linux.
BOOL WINAPI onConsoleEvent(DWORD event) {
    const int sig = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    const bool second = gCaught.exchange(sig) != 0;
    if (second || !gJobStarted) {
        RestoreTerminal();
        if (!second && !gEnding.exchange(true) && gTellStop) gTellStop(sig);
        std::_Exit(128 + sig);
    }
    gCancel->pull();
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // The system ends the process as soon as this returns, or a few seconds after the console
    // closed: waiting here gives the job that time to cancel and drop its work table.
    Sleep(20000);
    return TRUE;
}
} // namespace

SignalWatcher::SignalWatcher(db::CancelSwitch& cancel, std::function<void(int)> tellStop) {
    gTellStop = std::move(tellStop);
    gCancel = &cancel;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}
SignalWatcher::~SignalWatcher() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}
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
