#include "signals.h"

#include "terminal.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace rowlark::cli {
namespace {
// The watcher's threads outlive any object of main's.
std::atomic<int> gCaught{0}; // the first signal
std::atomic<int> gCount{0};
std::atomic<bool> gJobStarted{false};
std::atomic<bool> gEnding{false}; // somebody is printing the run's last words
db::CancelSwitch* gCancel = nullptr;
std::function<void(int)> gTellStop;
std::function<int(int)> gLastWords;
std::function<void(int, int)> gTold;

// Whoever claimed the last words ends the process; this thread only waits for it.
[[noreturn]] void hold() {
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

// What every signal does, however the system delivers it.
void onSignal(int sig) {
    int none = 0;
    gCaught.compare_exchange_strong(none, sig);
    const int count = ++gCount;
    const int first = gCaught;
    if (!gJobStarted) {
        // Nothing has been changed yet: the run ends here, with its last words unless the main
        // thread (or an earlier signal) is already saying them.
        RestoreTerminal();
        if (gEnding.exchange(true)) hold();
        if (gTellStop) gTellStop(first);
        std::_Exit(128 + first);
    }
    // Told first: what the pull sets off may end the run at once.
    if (gTold && !gEnding) gTold(sig, count);
    gCancel->pull(); // the first cancels; a later one cuts the connections at once
    if (count != 2) return;
    std::thread([first] {
        std::this_thread::sleep_for(SignalWatcher::kGrace);
        if (gEnding.exchange(true)) return;
        RestoreTerminal();
        std::_Exit(gLastWords ? gLastWords(first) : 128 + first);
    }).detach();
}
} // namespace

int SignalWatcher::caught() const {
    return gCaught;
}

void SignalWatcher::jobStarted(std::function<void(int, int)> told) {
    gTold = std::move(told);
    gJobStarted = true;
}

bool SignalWatcher::claimEnding() {
    return !gEnding.exchange(true);
}

#ifdef _WIN32
namespace {
// Runs on a thread of its own, which the system starts for each console event, so it may cancel a
// statement through the driver. Ctrl-C stands for SIGINT; Ctrl-Break and the console's closing
// (or the user's logging off) stand for SIGTERM, with the same exit statuses as on Linux.
BOOL WINAPI onConsoleEvent(DWORD event) {
    onSignal(event == CTRL_C_EVENT ? SIGINT : SIGTERM);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // The system ends the process as soon as this returns, or a few seconds after the console
    // closed: waiting here gives the job that time to cancel and drop its work table.
    Sleep(20000);
    return TRUE;
}
} // namespace

SignalWatcher::SignalWatcher(db::CancelSwitch& cancel, std::function<void(int)> tellStop,
                             std::function<int(int)> lastWords) {
    gTellStop = std::move(tellStop);
    gLastWords = std::move(lastWords);
    gCancel = &cancel;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}
SignalWatcher::~SignalWatcher() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}
#else
SignalWatcher::SignalWatcher(db::CancelSwitch& cancel, std::function<void(int)> tellStop,
                             std::function<int(int)> lastWords) {
    gTellStop = std::move(tellStop);
    gLastWords = std::move(lastWords);
    gCancel = &cancel;
    // Blocked here before any other thread starts, the signals reach only the watcher below,
    // which may do what a signal handler may not: cancel a statement through the driver.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set] {
        for (;;) {
            int sig = 0;
            if (sigwait(&set, &sig) == 0) onSignal(sig);
        }
    }).detach();
}

SignalWatcher::~SignalWatcher() = default;
#endif

} // namespace rowlark::cli
