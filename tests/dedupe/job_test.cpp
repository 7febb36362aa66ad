// The duplicate-removal job against the sandbox: results, mended faults, and that the source
// table is never touched and no work table stays behind.
#include "sandbox/odbc_support.h"

#include "dedupe/columns.h"
#include "dedupe/job.h"
#include "dedupe/sql_text.h"

#include <set>

using namespace rowlark;
using namespace rowlark::test;
using rowlark::dedupe::Phase;

namespace {

struct RecordingEvents : dedupe::JobEvents {
    std::vector<std::pair<int, std::string>> reports;
    std::vector<Phase> phases;
    bool none = false;
    std::shared_ptr<db::RecordSet> result;

    void progress(const dedupe::Progress& p) override {
        if (phases.empty() || phases.back() != p.phase) phases.push_back(p.phase);
    }
    void report(int line, const std::string& d) override { reports.emplace_back(line, d); }
    void noDuplicates() override { none = true; }
    void showResult(std::shared_ptr<db::RecordSet> r) override { result = std::move(r); }
    bool replaceExisting(const std::string& name) override {
        asked.push_back(name);
        return replace;
    }
    bool replace = false;
    std::vector<std::string> asked;
};

class JobTest : public ::testing::Test {
protected:
    void SetUp() override { c = connect(sharedDatabase("job")); }

    Rows rows(const std::string& sql) { return query(*c, sql); }
    Rows workTables() { return rows(kWorkTablesLeft); }
    bool exists(const std::string& table) {
        return rows("SELECT CASE WHEN OBJECT_ID(" + dedupe::objectIdLiteral(table) +
                    ") IS NULL THEN 0 ELSE 1 END")[0][0] == "1";
    }

    dedupe::JobOutcome run(const std::string& table, const std::vector<std::string>& columns,
                           const std::string& newName, RecordingEvents& events,
                           std::size_t batch = 1000, std::size_t runs = 64) {
        before_ = rows("SELECT * FROM " + dedupe::bracketed(table));
        table_ = table;
        dedupe::JobSettings s;
        s.connectionString = connectionString(sharedDatabase("job"));
        s.selectedTable = table;
        s.duplicateColumns = columns;
        s.newName = newName;
        s.deleteBatch = batch;
        s.maxLeftOutRuns = runs;
        return dedupe::RunJob(s, events);
    }

    void TearDown() override {
        if (table_.empty()) return;
        EXPECT_EQ(rows("SELECT * FROM " + dedupe::bracketed(table_)), before_)
            << "the source table is unchanged";
        EXPECT_EQ(workTables(), Rows{}) << "no work table is left behind";
    }

    std::unique_ptr<db::Connection> c;
    std::string table_;
    Rows before_;
};

} // namespace

TEST_F(JobTest, EmptyTableAndTableWithoutRepeatsSayNoDuplicates) {
    c->execute("CREATE TABLE Empty1 (a int, b nvarchar(5))");
    RecordingEvents e1;
    auto out = run("Empty1", {"a"}, "Empty12", e1);
    EXPECT_TRUE(e1.none);
    EXPECT_TRUE(e1.reports.empty());
    EXPECT_FALSE(exists("Empty12")) << "nothing is created";

    c->execute("CREATE TABLE Unique1 (a int, b nvarchar(5)); INSERT INTO Unique1 VALUES (1, N'x'), "
               "(2, N'x'), (1, N'y')");
    RecordingEvents e2;
    run("Unique1", {"a", "b"}, "Unique12", e2);
    EXPECT_TRUE(e2.none);
    EXPECT_FALSE(exists("Unique12"));
    EXPECT_EQ(out.counts.duplicates, 0u);
}

TEST_F(JobTest, LaterRepeatsGoFirstOfEachGroupStays) {
    c->execute("CREATE TABLE Rep (k nvarchar(5), n int)");
    c->execute(
        "INSERT INTO Rep VALUES (N'a', 1), (N'b', 2), (N'c', 3), (N'a', 4), (N'd', 5), (N'a', 6)");
    RecordingEvents e;
    auto out = run("Rep", {"k"}, "Rep2", e);
    EXPECT_TRUE(e.reports.empty()) << e.reports.front().second;
    EXPECT_FALSE(e.none);
    EXPECT_EQ(out.counts.rowsRead, 6u);
    EXPECT_EQ(out.counts.duplicates, 2u);
    EXPECT_EQ(out.counts.deleted, 2u);
    EXPECT_EQ(rows("SELECT * FROM [Rep2]"), (Rows{{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "5"}}));
    ASSERT_TRUE(e.result);
    EXPECT_EQ(e.result->recordCount(), 4) << "the new table, ready for the grid";
    EXPECT_EQ(e.phases.front(), Phase::Connecting);
    EXPECT_EQ(e.phases.back(), Phase::Done);
}

TEST_F(JobTest, NullEqualsEmptyTextButCaseAndTrailingBlanksCount) {
    c->execute("CREATE TABLE Nul (a nvarchar(5), b nvarchar(5), n int)");
    c->execute("INSERT INTO Nul VALUES (N'x', NULL, 1), (N'x', N'', 2), (N'X', N'', 3), (N'x ', "
               "N'', 4), (N'x', N' ', 5)");
    RecordingEvents e;
    run("Nul", {"a", "b"}, "Nul2", e);
    EXPECT_EQ(rows("SELECT n FROM [Nul2]"), (Rows{{"1"}, {"3"}, {"4"}, {"5"}}));
}

TEST_F(JobTest, CommasInsideValuesDoNotMakeRowsEqual) {
    c->execute("CREATE TABLE Com (a nvarchar(5), b nvarchar(5))");
    c->execute("INSERT INTO Com VALUES (N'a,b', N'c'), (N'a', N'b,c'), (N'a,b', N'c')");
    RecordingEvents e;
    run("Com", {"a", "b"}, "Com2", e);
    EXPECT_EQ(rows("SELECT * FROM [Com2]"), (Rows{{"a,b", "c"}, {"a", "b,c"}}));
}

TEST_F(JobTest, IdentityTableKeepsEachKeptRowsIdentityValue) {
    c->execute("CREATE TABLE Ident (Id int IDENTITY(1,1) NOT NULL, k nvarchar(5))");
    c->execute("INSERT INTO Ident (k) VALUES (N'a'), (N'b'), (N'a'), (N'c'), (N'b')");
    RecordingEvents e;
    run("Ident", {"k"}, "Ident2", e);
    EXPECT_TRUE(e.reports.empty());
    EXPECT_EQ(rows("SELECT * FROM [Ident2]"), (Rows{{"1", "a"}, {"2", "b"}, {"4", "c"}}));
    {
        db::Statement st(*c);
        st.execute("SELECT * FROM [Ident2];");
        EXPECT_TRUE(st.columns()[0].autoUnique) << "the new table keeps the identity property";
    }
    EXPECT_EQ(rows("SELECT count(*) FROM information_schema.columns WHERE table_name = 'Ident2'"),
              (Rows{{"2"}}))
        << "no work column in the new table";
}

TEST_F(JobTest, IdentityOfAnyExactIntegerTypeIsUsed) {
    for (const char* type : {"bigint", "smallint", "tinyint", "numeric(10,0)", "decimal(18,0)"}) {
        SCOPED_TRACE(type);
        std::string t =
            std::string("Idt_") + std::to_string(std::hash<std::string>{}(type) % 100000);
        c->execute("CREATE TABLE [" + t + "] (Id " + type +
                   " IDENTITY(5,1) NOT NULL, k nvarchar(5))");
        c->execute("INSERT INTO [" + t + "] (k) VALUES (N'a'), (N'a'), (N'b'), (N'a')");
        RecordingEvents e;
        run(t, {"k"}, t + "2", e);
        EXPECT_TRUE(e.reports.empty()) << (e.reports.empty() ? "" : e.reports.front().second);
        EXPECT_EQ(rows("SELECT * FROM [" + t + "2]"), (Rows{{"5", "a"}, {"7", "b"}}));
        TearDown();
    }
}

TEST_F(JobTest, RowsReadFromAnIndexInAnotherOrderStillLoseOnlyTheRepeats) {
    // The chosen column is served from its index (a, a, b, b), not in storage order.
    c->execute("CREATE TABLE Ord (k nvarchar(5), v int); CREATE INDEX ix_k ON Ord (k)");
    c->execute("INSERT INTO Ord VALUES (N'b', 1), (N'a', 2), (N'b', 3), (N'a', 4)");
    ASSERT_EQ(rows("SELECT [k] FROM [Ord];"), (Rows{{"a"}, {"a"}, {"b"}, {"b"}}));
    RecordingEvents e;
    run("Ord", {"k"}, "Ord2", e);
    EXPECT_EQ(rows("SELECT * FROM [Ord2]"), (Rows{{"b", "1"}, {"a", "2"}}));

    c->execute(
        "CREATE TABLE OrdId (Id int IDENTITY(1,1), k nvarchar(5)); CREATE INDEX ix_k ON OrdId (k)");
    c->execute("INSERT INTO OrdId (k) VALUES (N'b'), (N'a'), (N'b'), (N'a')");
    RecordingEvents e2;
    run("OrdId", {"k"}, "OrdId2", e2);
    EXPECT_EQ(rows("SELECT * FROM [OrdId2]"), (Rows{{"1", "b"}, {"2", "a"}}));
}

TEST_F(JobTest, AnExistingTableOfTheNewNameIsReplacedOnlyWhenTheUserAgrees) {
    c->execute("CREATE TABLE Src3 (k int); INSERT INTO Src3 VALUES (1), (1), (2)");
    c->execute("CREATE TABLE Src32 (other nvarchar(5)); INSERT INTO Src32 VALUES (N'old')");
    RecordingEvents no;
    auto out = run("Src3", {"k"}, "Src32", no);
    EXPECT_EQ(no.asked, std::vector<std::string>{"Src32"});
    EXPECT_TRUE(out.refusal);
    EXPECT_FALSE(out.newTableMade);
    EXPECT_EQ(rows("SELECT * FROM [Src32]"), (Rows{{"old"}})) << "No keeps the table as it was";

    RecordingEvents yes;
    yes.replace = true;
    out = run("Src3", {"k"}, "Src32", yes);
    EXPECT_TRUE(out.newTableMade);
    EXPECT_EQ(out.newTableRows, 2u);
    EXPECT_EQ(rows("SELECT * FROM [Src32]"), (Rows{{"1"}, {"2"}}));
}

TEST_F(JobTest, RefusedNamesStartNothing) {
    c->execute("CREATE TABLE Keep (k int); INSERT INTO Keep VALUES (1), (1)");
    for (const char* name : {"", "keep", "KEEP ", "TEMP_TABLE_CREATED_BY_ORVANDEL"}) {
        RecordingEvents e;
        auto out = run("Keep", {"k"}, name, e);
        EXPECT_TRUE(out.refusal.has_value()) << name;
        EXPECT_TRUE(e.reports.empty());
        EXPECT_TRUE(e.phases.empty()) << "nothing was sent";
    }
    EXPECT_EQ(rows("SELECT count(*) FROM Keep"), (Rows{{"2"}}));
}

TEST_F(JobTest, NamesWithBracketsQuotesAndUnicode) {
    const std::string table = "we]ird 'tab\xc3\xa9";
    c->execute("CREATE TABLE " + dedupe::bracketed(table) + " ([c]]ol] nvarchar(5), [o'k] int)");
    c->execute("INSERT INTO " + dedupe::bracketed(table) +
               " VALUES (N'x', 1), (N'x', 2), (N'y', 3)");
    RecordingEvents e;
    run(table, {"c]ol"}, table + "2", e);
    EXPECT_TRUE(e.reports.empty()) << (e.reports.empty() ? "" : e.reports.front().second);
    EXPECT_EQ(rows("SELECT * FROM " + dedupe::bracketed(table + "2")),
              (Rows{{"x", "1"}, {"y", "3"}}));
}

TEST_F(JobTest, ARefusedWorkCopyStopsTheJobWithOneReport) {
    c->execute("CREATE TABLE Blocked (Id int IDENTITY(1,1), k int)");
    c->execute("INSERT INTO Blocked (k) VALUES (1), (1), (1), (2), (2), (2), (2)");
    c->execute("SANDBOX FAULT REFUSE 'INTO [#TEMP_TABLE_CREATED_BY_ORVANDEL'");
    RecordingEvents e;
    auto out = run("Blocked", {"k"}, "Blocked2", e, 2);
    c->execute("SANDBOX FAULT CLEAR");
    ASSERT_EQ(e.reports.size(), 1u) << "later steps that need the copy are not tried";
    EXPECT_EQ(e.reports.front().first, 204);
    EXPECT_EQ(out.counts.deleted, 0u);
    EXPECT_EQ(out.failedSteps, 1);
    EXPECT_FALSE(out.newTableMade);
    EXPECT_FALSE(out.notMade.empty());
    EXPECT_FALSE(exists("Blocked2"));
}

TEST_F(JobTest, AServerThatCannotBeReachedIsReportedOnceAndNothingElseIsTried) {
    dedupe::JobSettings s;
    auto p = sandboxProfile(sharedDatabase("job"));
    p.port = "1";
    s.connectionString = shell::BuildConnectionString(p).toStdString();
    s.selectedTable = "Anything";
    s.duplicateColumns = {"a"};
    s.newName = std::string("Anything2");
    s.timeoutSeconds = 5;
    RecordingEvents e;
    dedupe::RunJob(s, e);
    std::vector<int> lines;
    for (const auto& r : e.reports)
        lines.push_back(r.first);
    EXPECT_EQ(lines, (std::vector<int>{124})) << "nothing is tried without a connection";
    EXPECT_FALSE(e.none) << "having read nothing, the job says nothing about duplicates";
}

// Where the repeats stand decides how the new table leaves them out: a few runs of neighbouring
// rows (a table imported twice, one late batch) by the copy's condition, many by deletes. Both
// ways give the same table, with or without an identity column.
TEST_F(JobTest, RepeatsInRunsOrScatteredGiveTheSameTableEitherWay) {
    struct Layout {
        const char* name;
        const char* values; // (k, v): k defines a duplicate
    };
    const std::vector<Layout> layouts = {
        {"Twice", "(1, 'a'), (2, 'b'), (3, 'c'), (1, 'd'), (2, 'e'), (3, 'f')"},
        {"Late", "(1, 'a'), (2, 'b'), (3, 'c'), (4, 'd'), (2, 'e'), (4, 'f')"},
        {"Scattered", "(1, 'a'), (1, 'b'), (2, 'c'), (3, 'd'), (2, 'e'), (4, 'f'), (3, 'g')"},
    };
    for (const auto& l : layouts)
        for (const bool identity : {false, true})
            for (const std::size_t runs : {std::size_t{64}, std::size_t{0}}) {
                const std::string table = std::string("Runs") + l.name + (identity ? "Id" : "");
                const std::string into = table + "_" + std::to_string(runs);
                SCOPED_TRACE(into);
                if (!exists(table)) {
                    c->execute("CREATE TABLE " + table + " (" +
                               (identity ? "Id int IDENTITY(10, 5), " : "") +
                               "k int, v nvarchar(5))");
                    c->execute("INSERT INTO " + table + " (k, v) VALUES " + l.values);
                    // A hole in the identity values between two repeats: they still form a run.
                    if (identity) c->execute("DELETE FROM " + table + " WHERE v = 'e'");
                }
                RecordingEvents e;
                auto out = run(table, {"k"}, into, e, 1000, runs);
                EXPECT_TRUE(e.reports.empty()) << e.reports.front().second;
                ASSERT_TRUE(out.newTableMade);
                EXPECT_EQ(out.counts.deleted, out.counts.duplicates);
                const Rows kept = rows("SELECT k, v FROM " + into + " ORDER BY v");
                Rows expected;
                std::set<std::string> seen;
                for (const auto& r : rows("SELECT k, v FROM " + table + " ORDER BY v"))
                    if (seen.insert(r[0]).second) expected.push_back(r);
                EXPECT_EQ(kept, expected);
            }
}

// Which row of a group stays: the first or the last, in the table's own order or in an order of
// the user's, NULL first as the server sorts it and ties going by the table's own order. Each
// result is compared with the rule worked out here, row by row.
TEST_F(JobTest, TheRowThatStaysFollowsTheRuleChosen) {
    struct Rule {
        std::vector<dedupe::OrderColumn> order;
        bool last;
    };
    const std::vector<Rule> rules = {{{}, false},
                                     {{}, true},
                                     {{{"Updated", true}}, false},
                                     {{{"Updated", false}}, true},
                                     {{{"Updated", false}, {"v", true}}, false}};
    for (const bool identity : {false, true}) {
        const std::string table = identity ? "KeepId" : "Keep";
        c->execute("CREATE TABLE " + table + " (" + (identity ? "Id int IDENTITY(1,1), " : "") +
                   "k int, Updated datetime, v nvarchar(5))");
        c->execute("INSERT INTO " + table +
                   " (k, Updated, v) VALUES (1, '2024-01-01', N'a'), (1, '2024-03-01', N'b'), "
                   "(1, NULL, N'c'), (2, '2024-02-01', N'd'), (2, '2024-02-01', N'e'), "
                   "(3, NULL, N'f'), (1, '2024-03-01', N'g')");
        // The table's own order is the order of the letters in v.
        struct Row {
            std::string k, updated, v;
        };
        std::vector<Row> all;
        for (const auto& r : rows("SELECT k, Updated, v FROM " + table + " ORDER BY v"))
            all.push_back({r[0], r[1] == "NULL" ? "" : r[1], r[2]});
        for (std::size_t i = 0; i < rules.size(); ++i) {
            const Rule& rule = rules[i];
            const std::string into = table + "_" + std::to_string(i);
            SCOPED_TRACE(into);
            // The expected table: sort by the rule (NULL, as "", first; ties by v), keep each k's
            // first row.
            auto sorted = all;
            std::stable_sort(sorted.begin(), sorted.end(), [&](const Row& a, const Row& b) {
                for (const auto& o : rule.order) {
                    const std::string& x = o.name == "v" ? a.v : a.updated;
                    const std::string& y = o.name == "v" ? b.v : b.updated;
                    if (x != y) return (x < y) != (o.descending != rule.last);
                }
                return (a.v < b.v) != rule.last;
            });
            std::set<std::string> seen;
            Rows expected;
            for (const auto& r : sorted)
                if (seen.insert(r.k).second) expected.push_back({r.k, r.v});
            std::sort(expected.begin(), expected.end());

            RecordingEvents e;
            dedupe::JobSettings s;
            s.connectionString = connectionString(sharedDatabase("job"));
            s.selectedTable = table;
            s.duplicateColumns = {"k"};
            s.orderBy = rule.order;
            s.keepLast = rule.last;
            s.newName = into;
            before_ = rows("SELECT * FROM " + table);
            table_ = table;
            auto out = dedupe::RunJob(s, e);
            EXPECT_TRUE(e.reports.empty()) << e.reports.front().second;
            ASSERT_TRUE(out.newTableMade);
            EXPECT_EQ(rows("SELECT k, v FROM " + into + " ORDER BY k, v"), expected);
        }
    }
}
