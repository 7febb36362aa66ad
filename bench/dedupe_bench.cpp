// The duplicate finder on a million keys, and the whole job against the one set-based statement
// that does the same on the same sandbox, measured in the same run.
#include "external_sandbox.h"

#include "db/connection.h"
#include "dedupe/columns.h"
#include "dedupe/job.h"
#include "dedupe/keys.h"
#include "dedupe/sql_text.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <random>

using namespace rowlark;

namespace {

void FindDuplicates(benchmark::State& state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    dedupe::TextList keys;
    std::mt19937_64 rng(1);
    std::vector<std::size_t> distinct;
    for (std::size_t i = 0; i < n; ++i) {
        // one key in ten repeats an earlier one
        std::size_t id = (i > 0 && rng() % 10 == 0) ? distinct[rng() % distinct.size()] : i;
        if (id == i) distinct.push_back(i);
        std::string& k = keys.open();
        dedupe::appendKeyValue(k, "customer " + std::to_string(id));
        dedupe::appendKeyValue(k, "city " + std::to_string(id % 977));
        dedupe::appendKeyValue(k, std::to_string(id * 7));
        keys.push();
    }
    std::size_t found = 0;
    for (auto _ : state)
        found = dedupe::FindDuplicatePositions(keys).size();
    state.counters["duplicates"] = static_cast<double>(found);
}
BENCHMARK(FindDuplicates)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

struct NullEvents : dedupe::JobEvents {
    void report(int line, const std::string& d) override {
        errors += std::to_string(line) + ": " + d + "\n";
    }
    void noDuplicates() override {}
    void showResult(std::shared_ptr<db::RecordSet>) override {}
    std::string errors;
};

double seconds(const std::function<void()>& f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// A million rows of six columns; 100,000 of them repeat an earlier row in (k, a, b).
void fill(db::Connection& c) {
    c.execute("CREATE TABLE Big (n int NOT NULL, k int, a nvarchar(24), b nvarchar(24), c float, d "
              "bigint)");
    c.execute("INSERT INTO Big (n) VALUES (1)");
    for (long have = 1; have < 1'000'000; have *= 2)
        c.execute("INSERT INTO Big (n) SELECT TOP (" +
                  std::to_string(std::min(have, 1'000'000 - have)) + ") n + " +
                  std::to_string(have) + " FROM Big");
    c.execute("UPDATE Big SET k = n % 900000, a = 'name ' + CAST(n % 900000 AS nvarchar(10)), "
              "b = 'city ' + CAST((n % 900000) % 977 AS nvarchar(10)), c = (n % 900000) * 0.5, d = "
              "n * 3");
}

void WholeJobAgainstSetBasedStatement(benchmark::State& state) {
    bench::ExternalSandbox sandbox;
    db::Connection c;
    c.open(sandbox.connectionString("master"));
    c.setQueryTimeout(0);
    fill(c);
    const std::string setBased = "SELECT [n], [k], [a], [b], [c], [d] INTO [BigSet] FROM (SELECT "
                                 "*, ROW_NUMBER() OVER (PARTITION BY [k], [a], "
                                 "[b] ORDER BY (SELECT 0)) AS rn FROM [Big]) AS x WHERE rn = 1";
    double jobBest = 1e9, setBest = 1e9;
    std::uint64_t keyBytes = 0, deleted = 0, rowsRead = 0;
    long long memory = 0;
    for (auto _ : state) {
        c.execute("IF OBJECT_ID('BigSet') IS NOT NULL DROP TABLE BigSet");
        setBest = std::min(setBest, seconds([&] { c.execute(setBased); }));
        dedupe::JobSettings s;
        s.connectionString = sandbox.connectionString("master");
        s.selectedTable = "Big";
        s.duplicateColumns = "[k], [a], [b]";
        s.newName = [] { return std::string("BigJob"); };
        NullEvents events;
        const long long before = bench::residentBytes();
        dedupe::JobOutcome out;
        jobBest = std::min(jobBest, seconds([&] { out = dedupe::RunJob(s, events); }));
        memory = std::max(memory, bench::peakResidentBytes() - before);
        if (!events.errors.empty()) state.SkipWithError(events.errors.c_str());
        keyBytes = out.counts.keyBytes;
        deleted = out.counts.deleted;
        rowsRead = out.counts.rowsRead;
    }
    state.counters["job_s"] = jobBest;
    state.counters["set_based_s"] = setBest;
    state.counters["time_ratio"] = jobBest / setBest;
    state.counters["deleted"] = static_cast<double>(deleted);
    state.counters["rows_read"] = static_cast<double>(rowsRead);
    state.counters["key_MB"] = static_cast<double>(keyBytes) / 1e6;
    state.counters["peak_growth_MB"] = static_cast<double>(memory) / 1e6;
    state.counters["memory_ratio"] =
        keyBytes ? static_cast<double>(memory) / static_cast<double>(keyBytes) : 0;
}
BENCHMARK(WholeJobAgainstSetBasedStatement)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
