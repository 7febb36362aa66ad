// SIGINT and SIGTERM (on Windows Ctrl-C, Ctrl-Break and the console's closing). Before the job
// starts nothing has been changed, so a signal ends the run at once (the terminal restored, the
// stop told). During the job it pulls the cancel switch: the running statement is cancelled, or,
// when the server does not answer, its connection is cut on Linux, and the job cleans up, so the
// program ends after saying what happened. Windows gives no way to cut the driver's connection:
// there the watcher ends the run itself once the cancel's grace has passed unanswered, with the
// same last words (nothing is committed before the commit, and the work table is the session's).
// A second signal cuts at once instead of waiting for the server; it shortens the clean-up, never
// the report. Should the run still not have ended a few seconds later, the watcher says the last
// words itself.
#pragma once

#include "db/cancel.h"

#include <chrono>
#include <functional>
#include <string>

namespace rowlark::cli {

class SignalWatcher {
public:
    // tellStop prints what the user is told when a signal ends the run before the job; lastWords
    // prints the run's last words when the watcher has to end the run itself after a second
    // signal, and gives the exit status. Both run on a thread of the watcher's, just before the
    // process ends.
    SignalWatcher(db::CancelSwitch& cancel, std::function<void(int signal)> tellStop,
                  std::function<int(int signal)> lastWords);
    ~SignalWatcher();
    // From now on a signal stops the job through the cancel switch instead of ending the process;
    // `told` says so to the user (the signal, and how many came), on the watcher's thread.
    void jobStarted(std::function<void(int signal, int count)> told);
    // The first signal that came, or 0.
    int caught() const;
    // Claims the run's last words: false when the watcher is already saying them and ending the
    // process, in which case the caller must print nothing more.
    bool claimEnding();

    // How long the run has after a second signal before the watcher ends it.
    static constexpr std::chrono::seconds kGrace{5};
};

// What the user did, in the words of the system: the signal's name, or on Windows the keys
// (Ctrl-C for SIGINT; Ctrl-Break or the console's closing for SIGTERM).
std::string signalWords(int signal);

} // namespace rowlark::cli
