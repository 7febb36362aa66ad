// The duplicate finder on its own (speed, memory, keys larger than its budget), and the whole job
// against two references measured in the same rounds: the one set-based statement on the same
// sandbox, and that statement run by sqlite3 itself on the sandbox's own file (the stand-in's
// floor). Rounds are paired (floor, statement, job) and the median of the per-round ratios is
// reported, so a machine that speeds up or slows down between rounds does not bias them.
#include "external_sandbox.h"

#include "db/connection.h"
#include "dedupe/finder.h"
#include "dedupe/job.h"
#include "dedupe/keys.h"
#include "dedupe/sql_text.h"
#include "sql/collation.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

using namespace rowlark;

namespace {

double seconds(const std::function<void()>& f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

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

// Records how long each phase of the job took.
struct NullEvents : dedupe::JobEvents {
    void progress(const dedupe::Progress& p) override {
        const auto now = std::chrono::steady_clock::now();
        if (p.phase != phase) {
            if (started)
                phaseSeconds[static_cast<int>(phase)] +=
                    std::chrono::duration<double>(now - since).count();
            phase = p.phase;
            since = now;
            started = true;
        }
    }
    dedupe::Phase phase = dedupe::Phase::Connecting;
    bool started = false;
    std::chrono::steady_clock::time_point since;
    double phaseSeconds[8] = {};
    void report(int line, const std::string& d) override {
        errors += std::to_string(line) + ": " + d + "\n";
    }
    void noDuplicates() override {}
    void showResult(std::shared_ptr<db::RecordSet>) override {}
    std::string errors;
};

// Where the repeats stand in the table: the layouts a de-duplication meets.
enum Layout : long {
    Spread, // one row in ten repeats a row at a random earlier place, as in a table grown over time
    Appended, // the table imported twice: its second half repeats the first, row for row
    Tail,     // one late batch: the last tenth repeats rows from anywhere before it
    None,     // no row repeats another
};
const char* layoutName(long layout) {
    static const char* names[] = {"spread", "appended", "tail", "none"};
    return names[layout];
}

// Rows of six columns; which row each one repeats in (k, a, b) follows the layout.
void fill(db::Connection& c, long rows, long layout) {
    c.execute("CREATE TABLE Big (n int NOT NULL, k int, a nvarchar(24), b nvarchar(24), c float, d "
              "bigint)");
    c.execute("INSERT INTO Big (n) VALUES (1)");
    for (long have = 1; have < rows; have *= 2)
        c.execute("INSERT INTO Big (n) SELECT TOP (" + std::to_string(std::min(have, rows - have)) +
                  ") n + " + std::to_string(have) + " FROM Big");
    // in bigint, as a server computes it: n * n * 40503 passes an int
    const std::string h =
        "((CAST(n AS bigint) * CAST(2654435761 AS bigint) + CAST(n AS bigint) * n "
        "* 40503) % CAST(4294967291 AS bigint))";
    const std::string half = std::to_string(rows / 2), body = std::to_string(rows - rows / 10);
    std::string id;
    switch (layout) {
    case Spread:
        id = "(CASE WHEN " + h + " % 10 = 0 THEN (" + h + " / 10) % n + 1 ELSE n END)";
        break;
    case Appended:
        id = "(CASE WHEN n > " + half + " THEN n - " + half + " ELSE n END)";
        break;
    case Tail:
        id = "(CASE WHEN n > " + body + " THEN " + h + " % " + body + " + 1 ELSE n END)";
        break;
    default:
        id = "n";
    }
    c.execute("UPDATE Big SET k = " + id + ", a = 'name ' + CAST(" + id + " AS nvarchar(10)), " +
              "b = 'city ' + CAST((" + id + ") % 977 AS nvarchar(10)), c = (" + id +
              ") * 0.5, d = (" + id + ") * 3");
}

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
    state.SetLabel(layoutName(layout));
    const std::vector<std::string> keyColumns =
        allColumns ? std::vector<std::string>{"n", "k", "a", "b", "c", "d"}
                   : std::vector<std::string>{"k", "a", "b"};
    const std::string key = dedupe::bracketList(keyColumns);
    const std::string floorKey = allColumns ? "n, k, a, b, c, d" : "k, a, b";
    bench::ExternalSandbox sandbox;
    db::Connection c;
    c.open(sandbox.connectionString("master"));
    c.setQueryTimeout(0);
    fill(c, rows, layout);
    if (allColumns) c.execute("UPDATE Big SET n = k"); // keyed on every column, n repeats too
    const std::string cols = "[n], [k], [a], [b], [c], [d]";
    const std::string setBased = "SELECT " + cols + " INTO [BigSet] FROM (SELECT *, ROW_NUMBER() " +
                                 "OVER (PARTITION BY " + key + " ORDER BY (SELECT 0)) AS rn FROM " +
                                 "[Big]) AS x WHERE rn = 1";
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
    double memoryRatio = 0, growthMb = 0, keyMb = 0;
    std::uint64_t deleted = 0;
    for (auto _ : state) {
        for (int round = 0; round < 3; ++round) {
            c.execute(
                "IF OBJECT_ID('BigSet') IS NOT NULL DROP TABLE BigSet; IF OBJECT_ID('BigJob') "
                "IS NOT NULL DROP TABLE BigJob");
            sqlite(floorDb, "DROP TABLE IF EXISTS BigFloor");
            const double floor = seconds([&] { sqlite(floorDb, floorSql); });
            const double set = seconds([&] { c.execute(setBased); });
            dedupe::JobSettings s;
            s.connectionString = sandbox.connectionString("master");
            s.selectedTable = "Big";
            s.duplicateColumns = keyColumns;
            s.newName = [] { return std::string("BigJob"); };
            NullEvents events;
            ::malloc_trim(0);
            bench::resetPeakResident();
            const long long before = bench::residentBytes();
            dedupe::JobOutcome out;
            const double job = seconds([&] { out = dedupe::RunJob(s, events); });
            const double growth = static_cast<double>(bench::peakResidentBytes() - before);
            if (!events.errors.empty() || out.newTableMade == (layout == None)) {
                state.SkipWithError(events.errors.empty() ? "no new table" : events.errors.c_str());
                break;
            }
            for (int p = 0; p < 7; ++p)
                state.counters[std::string("phase_") +
                               dedupe::phaseName(static_cast<dedupe::Phase>(p))] =
                    events.phaseSeconds[p];
            jobTimes.push_back(job);
            setTimes.push_back(set);
            floorTimes.push_back(floor);
            toSet.push_back(job / set);
            toFloor.push_back(job / floor);
            deleted = out.counts.deleted;
            keyMb = static_cast<double>(out.counts.keyBytes) / 1e6;
            growthMb = std::max(growthMb, growth / 1e6);
            memoryRatio = std::max(memoryRatio, growth / static_cast<double>(out.counts.keyBytes));
        }
    }
    sqlite3_close(floorDb);
    state.counters["job_s"] = median(jobTimes);
    state.counters["set_based_s"] = median(setTimes);
    state.counters["sqlite3_floor_s"] = median(floorTimes);
    state.counters["ratio_to_set_based"] = median(toSet);
    state.counters["ratio_to_floor"] = median(toFloor);
    state.counters["deleted"] = static_cast<double>(deleted);
    state.counters["key_MB"] = keyMb;
    state.counters["peak_growth_MB"] = growthMb;
    state.counters["memory_ratio"] = memoryRatio;
}
// Every layout at 1M rows keyed on three of six columns and at 200k rows keyed on all of them.
BENCHMARK(WholeJob)
    ->ArgsProduct({{1'000'000}, {0}, {Spread, Appended, Tail, None}})
    ->ArgsProduct({{200'000}, {1}, {Spread, Appended, Tail, None}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// Bytes that crossed the loopback interface so far, both ways: what travels between the job and
// the server (the machine is otherwise quiet while a round runs).
double loopbackBytes() {
    std::ifstream dev("/proc/net/dev");
    std::string line;
    while (std::getline(dev, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos || line.substr(0, colon).find("lo") == std::string::npos)
            continue;
        std::istringstream fields(line.substr(colon + 1));
        double rx = 0, skip = 0, tx = 0;
        fields >> rx;
        for (int i = 0; i < 7; ++i)
            fields >> skip;
        fields >> tx;
        return rx + tx;
    }
    return 0;
}

// The job done by the server against the set-based statement it amounts to, and against the job
// done here, in paired rounds; with the bytes each one moves between client and server.
void OnServer(benchmark::State& state) {
    const long rows = static_cast<long>(state.range(0));
    const std::vector<std::string> keyColumns{"k", "a", "b"};
    bench::ExternalSandbox sandbox;
    db::Connection c;
    c.open(sandbox.connectionString("master"));
    c.setQueryTimeout(0);
    fill(c, rows, Spread);
    const std::string setBased =
        "SELECT [n], [k], [a], [b], [c], [d] INTO [BigSet] FROM (SELECT *, ROW_NUMBER() OVER "
        "(PARTITION BY [k], [a], [b] ORDER BY (SELECT 0)) AS rn FROM [Big]) AS x WHERE rn = 1";
    auto job = [&](bool onServer, double& bytes) {
        dedupe::JobSettings s;
        s.connectionString = sandbox.connectionString("master");
        s.selectedTable = "Big";
        s.duplicateColumns = keyColumns;
        s.onServer = onServer;
        s.newName = [onServer] { return std::string(onServer ? "BigServer" : "BigClient"); };
        NullEvents events;
        const double before = loopbackBytes();
        const double t = seconds([&] { dedupe::RunJob(s, events); });
        bytes = loopbackBytes() - before;
        if (!events.errors.empty()) state.SkipWithError(events.errors.c_str());
        return t;
    };
    std::vector<double> toSet, toClient;
    double serverBytes = 0, clientBytes = 0, setBytes = 0;
    for (auto _ : state) {
        for (int round = 0; round < 3; ++round) {
            c.execute("IF OBJECT_ID('BigSet') IS NOT NULL DROP TABLE BigSet; IF OBJECT_ID("
                      "'BigServer') IS NOT NULL DROP TABLE BigServer; IF OBJECT_ID('BigClient') "
                      "IS NOT NULL DROP TABLE BigClient");
            const double before = loopbackBytes();
            const double set = seconds([&] { c.execute(setBased); });
            setBytes = loopbackBytes() - before;
            const double server = job(true, serverBytes);
            const double client = job(false, clientBytes);
            toSet.push_back(server / set);
            toClient.push_back(server / client);
        }
    }
    state.counters["ratio_to_set_based"] = median(toSet);
    state.counters["ratio_to_client_job"] = median(toClient);
    state.counters["set_based_bytes"] = setBytes;
    state.counters["on_server_bytes"] = serverBytes;
    state.counters["client_job_bytes"] = clientBytes;
}
BENCHMARK(OnServer)->Arg(1'000'000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
