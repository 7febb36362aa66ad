#include "signals.h"

#include "common/process_end.h"
#include "system_signals.h"
#include "terminal.h"

#include <atomic>
#include <cstdlib>
#include <thread>

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

// The watcher ends the run itself, with what the job published: the job cannot end in time.
void endRun() {
    if (gEnding.exchange(true)) return;
    RestoreTerminal();
    const int first = gCaught;
    EndProcessNow(gLastWords ? gLastWords(first) : 128 + first);
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
        EndProcessNow(128 + first);
    }
    // Told first: what the pull sets off may end the run at once.
    if (gTold && !gEnding) gTold(sig, count);
    gCancel->pull(); // the first cancels; a later one cuts the connections at once
    if (count != 2) return;
    std::thread([] {
        std::this_thread::sleep_for(SignalWatcher::kGrace);
        endRun();
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

SignalWatcher::SignalWatcher(db::CancelSwitch& cancel, std::function<void(int)> tellStop,
                             std::function<int(int)> lastWords) {
    gTellStop = std::move(tellStop);
    gLastWords = std::move(lastWords);
    gCancel = &cancel;
    // Where the system lets nothing cut a connection that stopped answering (Windows), the
    // stop ends the run instead: nothing is committed before the commit, and the work table
    // goes with the session.
    cancel.setUnanswered(endRun);
    WatchSystemSignals(onSignal);
}

SignalWatcher::~SignalWatcher() {
    StopWatchingSystemSignals();
}

} // namespace rowlark::cli
