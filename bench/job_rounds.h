// What the benchmarks of the whole job share: the tables they fill, the set-based statement the
// job is measured against, and one run of the job measured for time, memory and bytes.
#pragma once

#include "external_sandbox.h"

#include "db/connection.h"
#include "dedupe/job.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace rowlark::bench {

double seconds(const std::function<void()>& f);
double median(std::vector<double> v);

// Where the repeats stand in the table: the layouts a de-duplication meets.
enum Layout : long {
    Spread, // one row in ten repeats a row at a random earlier place, as in a table grown over time
    Appended, // the table imported twice: its second half repeats the first, row for row
    Tail,     // one late batch: the last tenth repeats rows from anywhere before it
    None,     // no row repeats another
};
const char* layoutName(long layout);

// A table Big of six columns, n int NOT NULL, k int, a nvarchar(24), b nvarchar(24), c float,
// d bigint: n numbers the rows; which row each one repeats in k, a, b, c and d follows the
// layout. (bench/shaped_link.sh fills the same rows for the spread layout.)
void fill(db::Connection& c, long rows, long layout);

// A sandbox of the benchmark's own holding Big, and a connection to it without a time limit.
struct FilledSandbox {
    FilledSandbox(long rows, long layout);
    ExternalSandbox sandbox;
    db::Connection connection;
};

// The one statement that makes the new table of Big's rows without the later repeats of the
// key columns, into the table named.
std::string setBasedStatement(const std::vector<std::string>& keyColumns, const std::string& into);

// Records how long each phase of the job took, and the bytes on the job's connection when it
// ends (the connection is still open then).
struct RecordingEvents : dedupe::JobEvents {
    explicit RecordingEvents(int port = 0) : port(port) {}
    void progress(const dedupe::Progress& p) override;
    void report(int line, const std::string& d) override {
        errors += std::to_string(line) + ": " + d + "\n";
    }
    void noDuplicates() override {}
    void showResult(std::shared_ptr<db::RecordSet>) override {}

    int port;
    double bytesAtEnd = 0;
    dedupe::Phase phase = dedupe::Phase::Connecting;
    bool started = false;
    std::chrono::steady_clock::time_point since;
    double phaseSeconds[8] = {};
    std::string errors;
};

// One run of the job on Big, measured: its time, the process's peak memory growth, and the
// bytes its connection carried (the protocol's own, both ways).
struct JobRun {
    dedupe::JobOutcome outcome;
    std::string errors;
    double seconds = 0;
    double peakGrowth = 0; // bytes
    double bytes = 0;
    double phaseSeconds[8] = {};
};
JobRun runJob(const ExternalSandbox& sandbox, const std::vector<std::string>& keyColumns,
              const std::string& into, bool onServer = false);

// The text of every row's key of Big as the key search holds it (its values with their lengths):
// what the job's memory is measured against, whether or not the job itself reads the keys.
double keyTextBytes(db::Connection& c, const std::vector<std::string>& keyColumns);

} // namespace rowlark::bench
