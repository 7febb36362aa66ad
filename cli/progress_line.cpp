#include "progress_line.h"

#include "summary.h"

namespace rowlark::cli {

using Clock = std::chrono::steady_clock;

ProgressLine::ProgressLine(std::ostream& err, bool inPlace) : err_(err), inPlace_(inPlace) {
    // A statement the server works on sends nothing for minutes: the line counts the seconds.
    if (inPlace_) ticker_ = std::thread([this] { tick(); });
}

ProgressLine::~ProgressLine() {
    end(false);
}

std::string ProgressLine::text(const dedupe::Progress& p, long long seconds) {
    std::string s = std::string(dedupe::phaseName(p.phase)) + ": " + countText(p.rowsRead) +
                    (p.rowsRead == 1 ? " row read, " : " rows read, ") + countText(p.duplicates) +
                    (p.duplicates == 1 ? " duplicate, " : " duplicates, ") + countText(p.deleted) +
                    " deleted";
    if (seconds > 0) s += ", " + countText(static_cast<std::uint64_t>(seconds)) + " s";
    return s;
}

void ProgressLine::show(const dedupe::Progress& p) {
    std::lock_guard lock(mutex_);
    if (ended_) return;
    if (p.phase == dedupe::Phase::Done) {
        // The final counts, for end() to show or not.
        const auto phase = last_.phase;
        last_ = p;
        last_.phase = phase;
        return;
    }
    const bool newPhase = !any_ || p.phase != last_.phase;
    if (newPhase) phaseStart_ = Clock::now();
    last_ = p;
    any_ = true;
    if (inPlace_)
        draw();
    else if (newPhase)
        err_ << text(p, 0) << "\n" << std::flush;
}

void ProgressLine::message(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (drawn_) err_ << "\r\033[K";
    drawn_ = false;
    err_ << line << "\n" << std::flush;
}

void ProgressLine::end(bool done) {
    {
        std::lock_guard lock(mutex_);
        if (!ended_) {
            ended_ = true;
            if (inPlace_ && drawn_) err_ << "\r\033[K";
            drawn_ = false;
            if (done && any_) {
                last_.phase = dedupe::Phase::Done;
                err_ << text(last_, 0) << "\n";
            }
            err_ << std::flush;
        }
    }
    wake_.notify_all();
    if (ticker_.joinable() && ticker_.get_id() != std::this_thread::get_id()) ticker_.join();
}

void ProgressLine::draw() {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - phaseStart_).count();
    err_ << "\r\033[K" << text(last_, seconds) << std::flush;
    drawn_ = true;
}

void ProgressLine::tick() {
    std::unique_lock lock(mutex_);
    while (!ended_) {
        // At each whole second of the phase: a wake-up a second after the last one drifts later
        // each time, and under load the count skipped a second (1 s, then 3 s).
        const auto whole =
            std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - phaseStart_);
        wake_.wait_until(lock, phaseStart_ + whole + std::chrono::seconds(1));
        if (!ended_ && any_) draw();
    }
}

} // namespace rowlark::cli
