// Streaming a large table from the sandbox to an ODBC client: rows per second.
#include "sandbox_harness.h"

#include "db/statement.h"

#include <benchmark/benchmark.h>

namespace {

rowlark::bench::InProcessSandbox& sandboxWithTable(std::int64_t rows) {
    static rowlark::bench::InProcessSandbox sandbox;
    static std::int64_t filled = 0;
    if (filled != rows) {
        rowlark::db::Connection c;
        c.open(sandbox.connectionString("master"));
        c.execute("IF OBJECT_ID('Stream') IS NOT NULL DROP TABLE Stream");
        c.execute("CREATE TABLE Stream (n int NOT NULL, a nvarchar(20), b nvarchar(20), c float, d "
                  "bigint)");
        c.execute("INSERT INTO Stream VALUES (1, N'alpha', N'Zürich', 1.5, 10), (2, N'beta', NULL, "
                  "2.25, 20)");
        for (std::int64_t have = 2; have < rows; have *= 2)
            c.execute("INSERT INTO Stream SELECT TOP (" +
                      std::to_string(std::min(have, rows - have)) + ") n + " +
                      std::to_string(have) + ", a, b, c, d FROM Stream");
        filled = rows;
    }
    return sandbox;
}

void StreamTable(benchmark::State& state) {
    auto& sandbox = sandboxWithTable(state.range(0));
    rowlark::db::Connection c;
    c.open(sandbox.connectionString("master"));
    std::int64_t total = 0;
    for (auto _ : state) {
        rowlark::db::Statement st(c);
        st.execute("SELECT n, a, b, c, d FROM Stream");
        std::vector<rowlark::db::Value> row;
        std::int64_t n = 0;
        while (st.fetch(row))
            ++n;
        if (n != state.range(0)) state.SkipWithError("row count differs");
        total += n;
    }
    state.counters["rows_per_second"] =
        benchmark::Counter(static_cast<double>(total), benchmark::Counter::kIsRate);
}
BENCHMARK(StreamTable)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
