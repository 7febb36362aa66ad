// The job's plan by fingerprints, step by step on the stand-in against the set-based statement
// and the job itself, in paired rounds. In the plan the column d (which follows the row each row
// repeats, as the key does) travels in the fingerprint's place: the bytes and the client's work
// are a fingerprint's, the server's hashing is not in those times; two steps of their own read and
// make the job's real fingerprint, which is what hashing costs the server. The steps: the numbered
// copy; one read of (number, fingerprint); candidate pairs (a repeat, the first row of its
// fingerprint) found by sorting the fingerprints; the pairs sent back, a thousand a statement; one
// statement comparing each pair's values on the server; the new table copied without the repeats.
#include "job_rounds.h"
#include "socket_bytes.h"

#include "db/statement.h"
#include "dedupe/finder.h"
#include "dedupe/fingerprint_sql.h"
#include "dedupe/work_reads.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

using namespace rowlark;

namespace {

// A result read in blocks of 1,024 rows straight into buffers bound to C types of the given
// widths (SQL_C_SBIGINT 8, SQL_C_BINARY n).
class BoundBlocks {
public:
    struct Column {
        SQLSMALLINT type;
        std::size_t width;
    };
    BoundBlocks(db::Statement& st, std::vector<Column> columns)
        : stmt_(st.takeBindings()), columns_(std::move(columns)) {
        check(SQLSetStmtAttrW(stmt_, SQL_ATTR_ROW_BIND_TYPE,
                              reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0));
        check(SQLSetStmtAttrW(stmt_, SQL_ATTR_ROW_ARRAY_SIZE,
                              reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kRows)), 0));
        check(SQLSetStmtAttrW(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0));
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            buffers_.emplace_back(columns_[i].width * kRows);
            indicators_.emplace_back(kRows);
            check(SQLBindCol(stmt_, static_cast<SQLUSMALLINT>(i + 1), columns_[i].type,
                             buffers_[i].data(), static_cast<SQLLEN>(columns_[i].width),
                             indicators_[i].data()));
        }
    }
    ~BoundBlocks() {
        SQLFreeStmt(stmt_, SQL_UNBIND);
        SQLSetStmtAttrW(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
        SQLSetStmtAttrW(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    }
    std::size_t next() {
        fetched_ = 0;
        if (check(SQLFetch(stmt_)) == SQL_NO_DATA) return 0;
        return fetched_;
    }
    const char* at(std::size_t column, std::size_t row) const {
        return buffers_[column].data() + row * columns_[column].width;
    }
    std::uint64_t word(std::size_t column, std::size_t row) const {
        std::uint64_t v;
        std::memcpy(&v, at(column, row), sizeof v);
        return v;
    }

private:
    static constexpr std::size_t kRows = 1024;
    SQLRETURN check(SQLRETURN rc) { return db::check(rc, SQL_HANDLE_STMT, stmt_); }
    SQLHSTMT stmt_;
    std::vector<Column> columns_;
    std::vector<std::vector<char>> buffers_;
    std::vector<std::vector<SQLLEN>> indicators_;
    SQLULEN fetched_ = 0;
};

// A well-spread 64-bit value for each distinct input, as a hash's bits would be.
std::uint64_t spread(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// Each row's fingerprint and number in read order, sorted by fingerprint once all are in: the
// first row of each fingerprint stays, the others become pairs (repeat, first). Sixteen bytes a
// row, whatever the width of the key.
class FingerprintSort {
public:
    explicit FingerprintSort(std::size_t expected) { rows_.reserve(expected); }
    void add(std::uint64_t fp, std::int64_t number) { rows_.emplace_back(fp, number); }
    // Numbers grow in read order here (the copy is read as it was numbered), so the smallest
    // number of a fingerprint is its first row.
    std::vector<std::pair<std::int64_t, std::int64_t>> pairs() {
        std::sort(rows_.begin(), rows_.end());
        std::vector<std::pair<std::int64_t, std::int64_t>> out;
        for (std::size_t i = 1, first = 0; i < rows_.size(); ++i) {
            if (rows_[i].first != rows_[first].first)
                first = i;
            else
                out.emplace_back(rows_[i].second, rows_[first].second);
        }
        return out;
    }
    std::size_t bytes() const { return rows_.capacity() * sizeof rows_[0]; }

private:
    std::vector<std::pair<std::uint64_t, std::int64_t>> rows_;
};

struct Step {
    double seconds = 0, bytes = 0;
};

// Runs f on the connection's statement, timing it and counting the bytes the sandbox's
// connections carried meanwhile.
Step measured(const bench::ExternalSandbox& sandbox, const std::function<void()>& f) {
    const double before = bench::tcpBytesTo(sandbox.port());
    Step s;
    s.seconds = bench::seconds(f);
    s.bytes = bench::tcpBytesTo(sandbox.port()) - before;
    return s;
}

long long countOf(db::Connection& c, const std::string& sql) {
    db::Statement st(c);
    st.execute(sql);
    std::vector<db::Value> row;
    if (!st.fetch(row) || !row.at(0)) throw std::runtime_error("no count from " + sql);
    return std::stoll(*row[0]);
}

// A value's exact binary form on both sides of a pair: equal bytes and equal lengths (the server
// takes binary values that differ only by trailing zero bytes as equal).
std::string sameValue(const std::string& column) {
    const std::string x = "ISNULL(CAST(x.[" + column + "] AS varbinary(8000)), 0x)";
    const std::string y = "ISNULL(CAST(y.[" + column + "] AS varbinary(8000)), 0x)";
    return x + " = " + y + " AND DATALENGTH(" + x + ") = DATALENGTH(" + y + ")";
}

void FingerprintPlan(benchmark::State& state) {
    const long rows = static_cast<long>(state.range(0));
    const std::vector<std::string> keyColumns{"k", "a", "b"};
    bench::FilledSandbox filled(rows, bench::Spread);
    const bench::ExternalSandbox& sandbox = filled.sandbox;
    db::Connection& c = filled.connection;
    // The reads go to one numbered copy made here, the same rows as each round's timed copy.
    c.execute("SELECT IDENTITY(bigint, 1, 1) AS num, * INTO BigWork FROM Big");
    std::string verify = "SELECT COUNT(*) FROM #pairs AS p JOIN BigWork AS x ON x.num = p.r "
                         "JOIN BigWork AS y ON y.num = p.f WHERE NOT (";
    for (std::size_t i = 0; i < keyColumns.size(); ++i)
        verify += (i ? " AND " : "") + sameValue(keyColumns[i]);
    verify += ")";

    const auto text = [](const char* name, SQLSMALLINT type) {
        db::ColumnMeta m;
        m.name = name;
        m.sqlType = type;
        m.size = 24;
        return m;
    };
    const std::string fingerprint = dedupe::fingerprintOf(*dedupe::hashInput(
        {text("k", SQL_INTEGER), text("a", SQL_WVARCHAR), text("b", SQL_WVARCHAR)}));

    std::map<std::string, std::vector<double>> times, bytes;
    std::vector<double> planToSet, jobToSet, planBytes;
    double tableBytes = 0, pairsFound = 0, mismatched = 0;
    auto note = [&](const std::string& name, const Step& s) {
        times[name].push_back(s.seconds);
        bytes[name].push_back(s.bytes / static_cast<double>(rows));
    };
    for (auto _ : state) {
        for (int round = 0; round < 3; ++round) {
            c.execute("IF OBJECT_ID('BigSet') IS NOT NULL DROP TABLE BigSet; IF OBJECT_ID("
                      "'BigCopy') IS NOT NULL DROP TABLE BigCopy; IF OBJECT_ID('BigOut') IS NOT "
                      "NULL DROP TABLE BigOut; IF OBJECT_ID('BigJob') IS NOT NULL DROP TABLE "
                      "BigJob");
            const Step set = measured(
                sandbox, [&] { c.execute(bench::setBasedStatement(keyColumns, "BigSet")); });
            note("set_based", set);
            const Step copy = measured(sandbox, [&] {
                c.execute("SELECT IDENTITY(bigint, 1, 1) AS num, * INTO BigCopy FROM Big");
            });
            note("copy", copy);
            // Today's read of numbers and keys, as text, into the finder.
            std::size_t repeats = 0;
            note("key_read", measured(sandbox, [&] {
                     db::Statement st(c);
                     st.execute("SELECT [num], [k], [a], [b] FROM [BigWork]");
                     dedupe::RepeatFinder finder(0, static_cast<std::uint64_t>(rows));
                     dedupe::forEachKey(st, true, [&](std::int64_t n, const std::string& key) {
                         finder.push(n, key);
                         return true;
                     });
                     repeats = finder.repeats().size();
                 }));
            // A read of (number, 64-bit fingerprint), sorted into pairs.
            std::vector<std::pair<std::int64_t, std::int64_t>> pairs;
            const Step fpRead = measured(sandbox, [&] {
                db::Statement st(c);
                st.execute("SELECT [num], [d] FROM [BigWork]");
                BoundBlocks blocks(st, {{SQL_C_SBIGINT, 8}, {SQL_C_SBIGINT, 8}});
                FingerprintSort sorted(static_cast<std::size_t>(rows));
                for (std::size_t n; (n = blocks.next()) > 0;)
                    for (std::size_t r = 0; r < n; ++r)
                        sorted.add(spread(blocks.word(1, r)),
                                   static_cast<std::int64_t>(blocks.word(0, r)));
                pairs = sorted.pairs();
                tableBytes =
                    static_cast<double>(sorted.bytes() + pairs.capacity() * sizeof pairs[0]);
            });
            note("fingerprint_read", fpRead);
            pairsFound = static_cast<double>(pairs.size());
            if (pairs.size() != repeats) {
                state.SkipWithError("the fingerprints found other repeats than the keys");
                return;
            }
            // The job's own fingerprint, made by the server: read with the numbers, and made
            // alone (its MAX, so only one value travels), what hashing costs the server.
            note("server_fingerprint_read", measured(sandbox, [&] {
                     db::Statement st(c);
                     st.execute("SELECT [num], " + fingerprint + " FROM [BigWork]");
                     BoundBlocks blocks(st, {{SQL_C_SBIGINT, 8}, {SQL_C_SBIGINT, 8}});
                     while (blocks.next() > 0) {
                     }
                 }));
            note("server_fingerprint_alone", measured(sandbox, [&] {
                     countOf(c, "SELECT MAX(" + fingerprint + ") FROM [BigWork]");
                 }));
            // The same rows with a 32-byte binary value in the fingerprint's place.
            note("binary32_read", measured(sandbox, [&] {
                     db::Statement st(c);
                     st.execute("SELECT [num], CAST([a] AS binary(32)) FROM [BigWork]");
                     BoundBlocks blocks(st, {{SQL_C_SBIGINT, 8}, {SQL_C_BINARY, 32}});
                     while (blocks.next() > 0) {
                     }
                 }));
            // The first read as it would be on a table without repeats: fingerprints only.
            note("probe_read", measured(sandbox, [&] {
                     db::Statement st(c);
                     st.execute("SELECT [d] FROM [Big]");
                     BoundBlocks blocks(st, {{SQL_C_SBIGINT, 8}});
                     while (blocks.next() > 0) {
                     }
                 }));
            const Step upload = measured(sandbox, [&] {
                c.execute("CREATE TABLE #pairs (r bigint NOT NULL, f bigint NOT NULL)");
                std::string sql;
                for (std::size_t i = 0; i < pairs.size(); ++i) {
                    sql += (i % 1000 ? ", (" : "INSERT INTO #pairs (r, f) VALUES (") +
                           std::to_string(pairs[i].first) + ", " + std::to_string(pairs[i].second) +
                           ")";
                    if (i % 1000 == 999 || i + 1 == pairs.size()) {
                        c.execute(sql);
                        sql.clear();
                    }
                }
            });
            note("pairs_upload", upload);
            const Step check =
                measured(sandbox, [&] { mismatched = static_cast<double>(countOf(c, verify)); });
            note("verify", check);
            long long kept = 0;
            const Step finalCopy = measured(sandbox, [&] {
                kept = c.execute("SELECT [n], [k], [a], [b], [c], [d] INTO BigOut FROM BigWork "
                                 "WHERE num NOT IN (SELECT r FROM #pairs)");
            });
            note("final_copy", finalCopy);
            c.execute("DROP TABLE #pairs");
            if (kept != countOf(c, "SELECT COUNT(*) FROM BigSet")) {
                state.SkipWithError("the new table does not hold the set-based statement's rows");
                return;
            }
            const bench::JobRun job = bench::runJob(sandbox, keyColumns, "BigJob");
            if (!job.errors.empty()) {
                state.SkipWithError(job.errors.c_str());
                return;
            }
            note("job", {job.seconds, job.bytes});
            const double plan =
                copy.seconds + fpRead.seconds + upload.seconds + check.seconds + finalCopy.seconds;
            planToSet.push_back(plan / set.seconds);
            jobToSet.push_back(job.seconds / set.seconds);
            planBytes.push_back(
                (copy.bytes + fpRead.bytes + upload.bytes + check.bytes + finalCopy.bytes) /
                static_cast<double>(rows));
        }
    }
    for (const auto& [name, v] : times)
        state.counters[name + "_s"] = bench::median(v);
    for (const auto& [name, v] : bytes)
        state.counters[name + "_bytes_per_row"] = bench::median(v);
    state.counters["plan_ratio_to_set_based"] = bench::median(planToSet);
    state.counters["job_ratio_to_set_based"] = bench::median(jobToSet);
    state.counters["plan_bytes_per_row"] = bench::median(planBytes);
    state.counters["fingerprint_memory_bytes_per_row"] = tableBytes / static_cast<double>(rows);
    state.counters["pairs"] = pairsFound;
    state.counters["pairs_not_equal"] = mismatched;
}
BENCHMARK(FingerprintPlan)->Arg(1'000'000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
