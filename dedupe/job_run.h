// One run of the job, shared by the files that hold its parts: job.cpp (the order of the steps,
// the connection, the names, the work table, the result), job_search.cpp (the program's own
// search for repeats, which ends in a plan) and job_new_table.cpp (what the plan needs first, the
// one transaction that makes the new table, and its commit).
#pragma once

#include "commit_check.h"
#include "job.h"
#include "job_plan.h"

#include "common/step_runner.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rowlark::dedupe::detail {

// Stops the job at a step whose failure makes the later steps meaningless.
struct Stop {};

class Job {
public:
    Job(const JobSettings& s, JobEvents& events);
    JobOutcome run();

private:
    using Clock = std::chrono::steady_clock;

    db::Connection& connection();
    void phase(Phase p);
    void tick();
    bool cancelled() const { return s_.cancel && s_.cancel->pulled(); }
    // A step that the rest of the job needs: when it fails, the job goes to its end.
    void must(int line, const std::function<void()>& work) {
        if (!run_.step(line, work)) throw Stop{};
    }
    // Reports a failure as a failing step does (not when the job was stopped).
    void fail(int line, const std::string& text) {
        run_.step(line, [&] { throw std::runtime_error(text); });
    }
    JobOutcome finish(JobOutcome& out);

    // job.cpp
    void connect();
    void readMetadata();
    bool checkName(const std::string& name, bool& replace, JobOutcome& out);
    void noticeOldWorkTable();
    void makeWorkTable();
    void showNewTable();

    // job_search.cpp: whether any key repeats (the first read), then the repeats in the copy and
    // the plan for them; nullopt when the copy holds none.
    bool anyKeyRepeats();
    std::optional<JobPlan> findRepeatsInWorkTable();
    // One read of the copy's numbers and keys into the search; false when rows came out of the
    // order of their numbers where that order decides (nothing is kept then). `numbers`: the
    // identity values read, sorted.
    bool readWorkKeys(bool sorted, std::vector<std::int64_t>& repeats,
                      std::vector<std::int64_t>& numbers);

    // job_new_table.cpp
    void prepare(const JobPlan& plan);
    template <class Statement, class Done, class Fault>
    void forEachBatch(const std::vector<std::int64_t>& numbers, Statement&& statement, Done&& done,
                      Fault&& fault);
    void deleteRepeats(const std::vector<std::int64_t>& repeats, int line);
    void listRepeats(const std::vector<std::int64_t>& repeats);
    CopyTargets copyTargets() const;
    void makeNewTable(const JobPlan& plan, JobOutcome& out);
    std::vector<CommitTarget> beginTransaction();
    void commit(JobOutcome& out, const std::vector<CommitTarget>& targets);

    const JobSettings& s_;
    JobEvents& events_;
    StepRunner run_;
    int reported_ = 0;
    std::shared_ptr<db::Connection> connection_;
    std::vector<std::string> columns_;
    std::string identity_; // the source's identity column, when it has one
    std::string numberBy_; // the work table's column whose value names one row
    long long workRows_ = 0;
    bool replace_ = false;
    bool replaceRemoved_ = false;
    bool nothingRepeats_ = false; // the server found no repeats; nothing was made
    bool reconnected_ = false;    // the commit was confirmed on a fresh connection
    const std::string work_ = workTableName();
    Progress counts_;
    Clock::time_point lastProgress_;
};

} // namespace rowlark::dedupe::detail
