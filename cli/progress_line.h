// What rowlark-dedupe shows on standard error while the job runs. On a terminal: one line redrawn
// in place, which shows, while a statement keeps the server busy, the seconds it has been
// running. Elsewhere (a pipe, a log): one line per phase. Messages get lines of their own.
#pragma once

#include "dedupe/job.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

namespace rowlark::cli {

class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool inPlace);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // From the job: the phase and the counts. The end (Phase::Done) is shown by end() alone.
    void show(const dedupe::Progress& p);
    // A line of its own (a failed step, a note); the progress line comes back after it.
    void message(const std::string& line);
    // The job is over: with `done`, the last counts stay as the line's last words; without, the
    // line goes, so nothing above the run's ending says "done".
    void end(bool done);

    // The line for these counts, after `seconds` in the phase (0: none shown).
    static std::string text(const dedupe::Progress& p, long long seconds);

private:
    void draw(); // with mutex_ held
    void tick();

    std::ostream& err_;
    const bool inPlace_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool ended_ = false;
    bool drawn_ = false; // the line is on the screen
    bool any_ = false;   // a phase was shown
    dedupe::Progress last_;
    std::chrono::steady_clock::time_point phaseStart_;
    std::thread ticker_;
};

} // namespace rowlark::cli
