// SIGINT and SIGTERM. Before the job starts nothing has been changed, so a signal ends the run at
// once (the terminal restored, the stop told). During the job it pulls the cancel switch: the
// running statement is cancelled, or its connection cut when the server does not answer, and the
// job cleans up, so the program ends after saying what happened. A second signal ends it at once.
#pragma once

#include "db/cancel.h"

#include <functional>

namespace rowlark::cli {

class SignalWatcher {
public:
    // tellStop prints what the user is told when a signal ends the run before the job; it runs on
    // the watcher's thread, just before the process ends.
    SignalWatcher(db::CancelSwitch& cancel, std::function<void(int signal)> tellStop);
    ~SignalWatcher();
    // From now on a signal stops the job through the cancel switch instead of ending the process.
    void jobStarted();
    // The signal that came, or 0.
    int caught() const;
    // Claims the run's last words: false when a signal is already ending the process, in which
    // case the caller must print nothing more.
    bool claimEnding();
};

} // namespace rowlark::cli
