// The duplicate finder on its own (speed, memory, keys larger than its budget), and the whole job
// against two references measured in the same rounds: the one set-based statement on the same
// sandbox, and that statement run by sqlite3 itself on the sandbox's own file (the stand-in's
// floor). Rounds are paired (floor, statement, job) and the median of the per-round ratios is
// reported, so a machine that speeds up or slows down between rounds does not bias them. Bytes a
// row are what the job's connection carried, both ways, as the kernel counts them per socket.
#include "job_rounds.h"
#include "socket_bytes.h"

#include "dedupe/finder.h"
#include "dedupe/keys.h"
#include "sql/collation.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <random>

using namespace rowlark;

namespace {

// Keys as the job builds them from three columns; one row in ten repeats an earlier row, at a
// random place.
class KeySource {
public:
    explicit KeySource(std::uint64_t seed) : rng_(seed) {}
    const std::string& next() {
        const std::uint64_t id = (i_ > 0 && rng_() % 10 == 0) ? rng_() % i_ : i_;
        ++i_;
        key_.clear();
        dedupe::appendKeyValue(key_, "customer " + std::to_string(id));
        dedupe::appendKeyValue(key_, "city " + std::to_string(id % 977));
        dedupe::appendKeyValue(key_, std::to_string(id * 7));
        return key_;
    }

private:
    std::mt19937_64 rng_;
    std::uint64_t i_ = 0;
    std::string key_;
};

void FindDuplicates(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    dedupe::TextList keys;
    KeySource source(1);
    for (std::size_t i = 0; i < n; ++i)
        keys.push(source.next());
    std::size_t found = 0;
    for (auto _ : state)
        found = dedupe::FindDuplicatePositions(keys).size();
    state.counters["duplicates"] = static_cast<double>(found);
}
BENCHMARK(FindDuplicates)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// Memory that the search holds beyond the keys' text, as the job feeds it row by row: the peak
// growth of the process against the text of all the keys read.
void FinderMemory(benchmark::State& state) {
    const auto n = static_cast<std::uint64_t>(state.range(0));
    const auto budget = static_cast<std::uint64_t>(state.range(1)) << 20;
    for (auto _ : state) {
        ::malloc_trim(0); // what earlier benchmarks freed goes back, so growth is this one's own
        bench::resetPeakResident();
        const long long before = bench::residentBytes();
        std::uint64_t keyBytes = 0;
        std::size_t repeats = 0;
        bool spilled = false;
        {
            dedupe::RepeatFinder finder(budget, n);
            KeySource source(2);
            for (std::uint64_t i = 1; i <= n; ++i) {
                const std::string& key = source.next();
                keyBytes += key.size();
                finder.push(static_cast<std::int64_t>(i), key);
            }
            repeats = finder.repeats().size();
            spilled = finder.spilled();
            state.counters["partitions"] = static_cast<double>(finder.partitions());
        }
        const double growth = static_cast<double>(bench::peakResidentBytes() - before);
        state.counters["key_MB"] = static_cast<double>(keyBytes) / 1e6;
        state.counters["peak_growth_MB"] = growth / 1e6;
        state.counters["memory_ratio"] = growth / static_cast<double>(keyBytes);
        state.counters["repeats"] = static_cast<double>(repeats);
        state.counters["spilled"] = spilled ? 1 : 0;
    }
}
// Budget 0: half of the available memory, so everything stays in memory.
BENCHMARK(FinderMemory)
    ->Args({1'000'000, 0})
    ->Args({10'000'000, 0})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
// Twenty million rows with a 256 MB budget: the keys go to temporary files.
BENCHMARK(FinderMemory)->Args({20'000'000, 256})->Iterations(1)->Unit(benchmark::kSecond);

void sqlite(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "sqlite3 failed";
        sqlite3_free(err);
        throw std::runtime_error(msg);
    }
}

// The job against the set-based statement and its floor, in paired rounds.
void WholeJob(benchmark::State& state) {
    const long rows = static_cast<long>(state.range(0));
    const bool allColumns = state.range(1) != 0;
    const long layout = state.range(2);
    state.SetLabel(bench::layoutName(layout));
    const std::vector<std::string> keyColumns =
        allColumns ? std::vector<std::string>{"n", "k", "a", "b", "c", "d"}
                   : std::vector<std::string>{"k", "a", "b"};
    const std::string floorKey = allColumns ? "n, k, a, b, c, d" : "k, a, b";
    bench::FilledSandbox filled(rows, layout);
    const bench::ExternalSandbox& sandbox = filled.sandbox;
    db::Connection& c = filled.connection;
    if (allColumns) c.execute("UPDATE Big SET n = k"); // keyed on every column, n repeats too
    const std::string setBased = bench::setBasedStatement(keyColumns, "BigSet");
    const std::string floorSql =
        "CREATE TABLE BigFloor (n int NOT NULL, k int, a nvarchar(24), b nvarchar(24), c float, "
        "d bigint); INSERT INTO BigFloor SELECT n, k, a, b, c, d FROM (SELECT *, row_number() OVER "
        "(PARTITION BY " +
        floorKey + ") AS rn FROM Big) " + "WHERE rn = 1";
    sqlite3* floorDb = nullptr;
    sqlite3_open(sandbox.storeFile("master").c_str(), &floorDb);
    // The sandbox's tables compare character data by its collation; the floor does the same.
    sandbox::registerCollations(floorDb);
    sqlite3_busy_timeout(floorDb, 60000);

    std::vector<double> jobTimes, setTimes, floorTimes, toSet, toFloor;
    double memoryRatio = 0, growthMb = 0, keyMb = 0, keyBytes = 0, jobBytes = 0, setBytes = 0;
    std::uint64_t deleted = 0;
    for (auto _ : state) {
        for (int round = 0; round < 3; ++round) {
            c.execute(
                "IF OBJECT_ID('BigSet') IS NOT NULL DROP TABLE BigSet; IF OBJECT_ID('BigJob') "
                "IS NOT NULL DROP TABLE BigJob");
            sqlite(floorDb, "DROP TABLE IF EXISTS BigFloor");
            const double floor = bench::seconds([&] { sqlite(floorDb, floorSql); });
            const double bytesBefore = bench::tcpBytesTo(sandbox.port());
            const double set = bench::seconds([&] { c.execute(setBased); });
            setBytes = bench::tcpBytesTo(sandbox.port()) - bytesBefore;
            const bench::JobRun job = bench::runJob(sandbox, keyColumns, "BigJob");
            if (!job.errors.empty() || job.outcome.newTableMade == (layout == bench::None)) {
                state.SkipWithError(job.errors.empty() ? "no new table" : job.errors.c_str());
                break;
            }
            for (int p = 0; p < 7; ++p)
                state.counters[std::string("phase_") +
                               dedupe::phaseName(static_cast<dedupe::Phase>(p))] =
                    job.phaseSeconds[p];
            jobTimes.push_back(job.seconds);
            setTimes.push_back(set);
            floorTimes.push_back(floor);
            toSet.push_back(job.seconds / set);
            toFloor.push_back(job.seconds / floor);
            deleted = job.outcome.counts.deleted;
            jobBytes = job.bytes;
            if (keyBytes == 0) keyBytes = bench::keyTextBytes(c, keyColumns);
            keyMb = keyBytes / 1e6;
            growthMb = std::max(growthMb, job.peakGrowth / 1e6);
            memoryRatio = std::max(memoryRatio, job.peakGrowth / keyBytes);
        }
    }
    sqlite3_close(floorDb);
    state.counters["job_s"] = bench::median(jobTimes);
    state.counters["set_based_s"] = bench::median(setTimes);
    state.counters["sqlite3_floor_s"] = bench::median(floorTimes);
    state.counters["ratio_to_set_based"] = bench::median(toSet);
    state.counters["ratio_to_floor"] = bench::median(toFloor);
    state.counters["deleted"] = static_cast<double>(deleted);
    state.counters["key_MB"] = keyMb;
    state.counters["peak_growth_MB"] = growthMb;
    state.counters["memory_ratio"] = memoryRatio;
    state.counters["job_bytes_per_row"] = jobBytes / static_cast<double>(rows);
    state.counters["set_based_bytes_per_row"] = setBytes / static_cast<double>(rows);
}
// Every layout at 1M rows keyed on three of six columns and at 200k rows keyed on all of them.
BENCHMARK(WholeJob)
    ->ArgsProduct({{1'000'000}, {0}, {bench::Spread, bench::Appended, bench::Tail, bench::None}})
    ->ArgsProduct({{200'000}, {1}, {bench::Spread, bench::Appended, bench::Tail, bench::None}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// The job done by the server against the set-based statement it amounts to, and against the job
// done here, in paired rounds; with the bytes each one moves between client and server.
void OnServer(benchmark::State& state) {
    const long rows = static_cast<long>(state.range(0));
    const std::vector<std::string> keyColumns{"k", "a", "b"};
    bench::FilledSandbox filled(rows, bench::Spread);
    const bench::ExternalSandbox& sandbox = filled.sandbox;
    db::Connection& c = filled.connection;
    const std::string setBased = bench::setBasedStatement(keyColumns, "BigSet");
    std::vector<double> toSet, toClient;
    double serverBytes = 0, clientBytes = 0, setBytes = 0;
    for (auto _ : state) {
        for (int round = 0; round < 3; ++round) {
            c.execute("IF OBJECT_ID('BigSet') IS NOT NULL DROP TABLE BigSet; IF OBJECT_ID("
                      "'BigServer') IS NOT NULL DROP TABLE BigServer; IF OBJECT_ID('BigClient') "
                      "IS NOT NULL DROP TABLE BigClient");
            const double before = bench::tcpBytesTo(sandbox.port());
            const double set = bench::seconds([&] { c.execute(setBased); });
            setBytes = bench::tcpBytesTo(sandbox.port()) - before;
            const bench::JobRun server = bench::runJob(sandbox, keyColumns, "BigServer", true);
            const bench::JobRun client = bench::runJob(sandbox, keyColumns, "BigClient");
            if (!server.errors.empty() || !client.errors.empty()) {
                state.SkipWithError((server.errors + client.errors).c_str());
                break;
            }
            serverBytes = server.bytes;
            clientBytes = client.bytes;
            toSet.push_back(server.seconds / set);
            toClient.push_back(server.seconds / client.seconds);
        }
    }
    state.counters["ratio_to_set_based"] = bench::median(toSet);
    state.counters["ratio_to_client_job"] = bench::median(toClient);
    state.counters["set_based_bytes"] = setBytes;
    state.counters["on_server_bytes"] = serverBytes;
    state.counters["client_job_bytes"] = clientBytes;
    state.counters["client_job_bytes_per_row"] = clientBytes / static_cast<double>(rows);
}
BENCHMARK(OnServer)->Arg(1'000'000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The cost of a row as tables grow: the job (keyed on three columns, repeats spread) against the
// set-based statement in paired rounds, its time and peak memory a row, and both against the
// first size measured in this process (1M rows). 10M rows only with ROWLARK_BENCH_10M=1.
void Scaling(benchmark::State& state) {
    static double firstNsPerRow = 0, firstPeakPerRow = 0;
    const long rows = static_cast<long>(state.range(0));
    const std::vector<std::string> keyColumns{"k", "a", "b"};
    bench::FilledSandbox filled(rows, bench::Spread);
    const bench::ExternalSandbox& sandbox = filled.sandbox;
    db::Connection& c = filled.connection;
    const std::string setBased = bench::setBasedStatement(keyColumns, "BigSet");
    std::vector<double> jobTimes, setTimes, toSet;
    double peak = 0, keyBytes = 0, bytes = 0;
    for (auto _ : state) {
        for (int round = 0; round < 3; ++round) {
            c.execute(
                "IF OBJECT_ID('BigSet') IS NOT NULL DROP TABLE BigSet; IF OBJECT_ID('BigJob') "
                "IS NOT NULL DROP TABLE BigJob");
            const double set = bench::seconds([&] { c.execute(setBased); });
            const bench::JobRun job = bench::runJob(sandbox, keyColumns, "BigJob");
            if (!job.errors.empty() || !job.outcome.newTableMade) {
                state.SkipWithError(job.errors.empty() ? "no new table" : job.errors.c_str());
                return;
            }
            jobTimes.push_back(job.seconds);
            setTimes.push_back(set);
            toSet.push_back(job.seconds / set);
            peak = std::max(peak, job.peakGrowth);
            if (keyBytes == 0) keyBytes = bench::keyTextBytes(c, keyColumns);
            bytes = job.bytes;
        }
    }
    const double n = static_cast<double>(rows);
    const double nsPerRow = bench::median(jobTimes) * 1e9 / n, peakPerRow = peak / n;
    if (firstNsPerRow == 0) firstNsPerRow = nsPerRow, firstPeakPerRow = peakPerRow;
    state.counters["job_s"] = bench::median(jobTimes);
    state.counters["set_based_s"] = bench::median(setTimes);
    state.counters["ratio_to_set_based"] = bench::median(toSet);
    state.counters["job_ns_per_row"] = nsPerRow;
    state.counters["set_based_ns_per_row"] = bench::median(setTimes) * 1e9 / n;
    state.counters["peak_bytes_per_row"] = peakPerRow;
    state.counters["key_bytes_per_row"] = keyBytes / n;
    state.counters["memory_ratio"] = peak / keyBytes;
    state.counters["job_bytes_per_row"] = bytes / n;
    state.counters["ns_per_row_to_first"] = nsPerRow / firstNsPerRow;
    state.counters["peak_per_row_to_first"] = peakPerRow / firstPeakPerRow;
}
BENCHMARK(Scaling)
    ->Arg(1'000'000)
    ->Arg(4'000'000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
[[maybe_unused]] const auto* tenMillion =
    std::getenv("ROWLARK_BENCH_10M")
        ? benchmark::RegisterBenchmark("ScalingOnDemand", [](benchmark::State& s) { Scaling(s); })
              -> Arg(10'000'000) -> Iterations(1) -> Unit(benchmark::kSecond) -> UseRealTime()
        : nullptr;

} // namespace

BENCHMARK_MAIN();
