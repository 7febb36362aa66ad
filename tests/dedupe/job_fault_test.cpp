// The job when the server goes away at each stage, when two jobs run at once, and with work tables
// left behind: the source never changes, each failure is reported, and nothing is left behind.
#include "sandbox/odbc_support.h"

#include "dedupe/columns.h"
#include "dedupe/job.h"
#include "dedupe/sql_text.h"

#include <chrono>
#include <thread>

using namespace rowlark;
using namespace rowlark::test;

namespace {

struct Events : dedupe::JobEvents {
    std::vector<int> lines;
    std::vector<std::string> notices;
    std::mutex m;
    void notice(const std::string& text) override { notices.push_back(text); }
    void report(int line, const std::string&) override {
        std::lock_guard lock(m);
        lines.push_back(line);
    }
    void noDuplicates() override {}
    void showResult(std::shared_ptr<db::RecordSet>) override {}
};

class JobFaults : public ::testing::Test {
protected:
    static const std::string& database() {
        static const std::string name = freshDatabase("faults");
        return name;
    }
    void SetUp() override {
        c = connect(database());
        c->execute("SANDBOX FAULT CLEAR");
    }
    void TearDown() override { c->execute("SANDBOX FAULT CLEAR"); }

    void makeTable(const std::string& t, bool identity = false) {
        c->execute("CREATE TABLE [" + t + "] (" + (identity ? "Id int IDENTITY(1,1), " : "") +
                   "k int, v nvarchar(10))");
        c->execute(
            "INSERT INTO [" + t +
            "] (k, v) VALUES (1, N'a'), (2, N'b'), (1, N'c'), (3, N'd'), (2, N'e'), (1, N'f')");
    }
    dedupe::JobOutcome run(const std::string& table, const std::string& newName, Events& e,
                           std::size_t batch = 1000, std::size_t runs = 64) {
        dedupe::JobSettings s;
        s.connectionString = connectionString(database());
        s.selectedTable = table;
        // Read before any fault rule is set: a rule takes the next statement that matches it.
        s.duplicateColumns = {"k"};
        s.newName = newName;
        s.deleteBatch = batch;
        s.maxLeftOutRuns = runs;
        s.timeoutSeconds = 30;
        return dedupe::RunJob(s, e);
    }
    Rows workTables() { return query(*c, kWorkTablesLeft); }
    // After a failed run: the source as it was, no work table, and a second run that succeeds.
    void expectRecovery(const std::string& table, const std::string& newName) {
        EXPECT_EQ(query(*c, "SELECT count(*) FROM [" + table + "]"), (Rows{{"6"}}));
        EXPECT_EQ(workTables(), Rows{});
        Events again;
        auto out = run(table, newName, again);
        EXPECT_TRUE(again.lines.empty());
        EXPECT_EQ(out.counts.deleted, 3u);
        EXPECT_EQ(query(*c, "SELECT v FROM [" + newName + "]"), (Rows{{"a"}, {"b"}, {"d"}}));
        EXPECT_EQ(workTables(), Rows{});
    }

    std::unique_ptr<db::Connection> c;
};

} // namespace

// The server goes away at one phase of the job: that step is the first one reported, the job
// stops there, no new table is made, and the next run succeeds.
struct LostAt {
    const char* name;
    bool identity;
    const char* rule; // the fault that takes the connection away
    int firstLine;
};

void PrintTo(const LostAt& at, std::ostream* os) {
    *os << at.name;
}

class ServerGoesAway : public JobFaults, public ::testing::WithParamInterface<LostAt> {};

TEST_P(ServerGoesAway, TheSourceStaysAndTheNextRunSucceeds) {
    const LostAt& at = GetParam();
    const std::string table = std::string("Lost") + at.name, into = table + "_2";
    makeTable(table, at.identity);
    c->execute(at.rule);
    Events e;
    auto out = run(table, into, e, 1, at.firstLine == 224 ? 0 : 64);
    ASSERT_FALSE(e.lines.empty());
    EXPECT_EQ(e.lines.front(), at.firstLine);
    EXPECT_GT(out.failedSteps, 0);
    EXPECT_FALSE(out.newTableMade);
    EXPECT_EQ(query(*c, "SELECT count(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = N'" +
                            into + "'"),
              (Rows{{"0"}}))
        << "no new table from a run that failed";
    c->execute("SANDBOX FAULT CLEAR");
    expectRecovery(table, into);
}

INSTANTIATE_TEST_SUITE_P(
    Phases, ServerGoesAway,
    ::testing::Values(LostAt{"Read", false, "SANDBOX FAULT DROP ON 'SELECT [k] FROM'", 168},
                      LostAt{"Copy", false,
                             "SANDBOX FAULT DROP ON 'INTO [#TEMP_TABLE_CREATED_BY_ORVANDEL'", 204},
                      LostAt{"Search", false, "SANDBOX FAULT DROP ON 'FROM [#TEMP_TABLE'", 210},
                      LostAt{"Deletes", true, "SANDBOX FAULT DROP ON 'DELETE FROM' SKIP 1", 224},
                      LostAt{"Final", false, "SANDBOX FAULT DROP ON 'INTO [LostFinal_2]'", 234}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JobFaults, TwoJobsAtOnceEachGetTheirOwnResult) {
    makeTable("TwinA", true);
    makeTable("TwinB");
    c->execute("UPDATE TwinB SET v = v + N'2'");
    c->execute("SANDBOX FAULT DELAY 5"); // every answer a little late, so the two runs interleave
    Events ea, eb, ec;
    std::thread a([&] { run("TwinA", "TwinA2", ea, 1); });
    std::thread b([&] { run("TwinB", "TwinB2", eb, 1); });
    std::thread d([&] { run("TwinA", "TwinA3", ec, 1); });
    a.join();
    b.join();
    d.join();
    c->execute("SANDBOX FAULT CLEAR");
    EXPECT_TRUE(ea.lines.empty());
    EXPECT_TRUE(eb.lines.empty());
    EXPECT_TRUE(ec.lines.empty());
    EXPECT_EQ(query(*c, "SELECT v FROM TwinA2"), (Rows{{"a"}, {"b"}, {"d"}}));
    EXPECT_EQ(query(*c, "SELECT v FROM TwinA3"), (Rows{{"a"}, {"b"}, {"d"}}));
    EXPECT_EQ(query(*c, "SELECT v FROM TwinB2"), (Rows{{"a2"}, {"b2"}, {"d2"}}));
    EXPECT_EQ(workTables(), Rows{});
}

// A permanent table under the old work table's name belongs to somebody now: no run drops it, in
// any letter case, whether the run makes its table or fails; a run that gets as far as the copy
// points it out once.
TEST_F(JobFaults, TablesNamedLikeOldWorkTablesAreNeverDropped) {
    makeTable("Left1");
    c->execute("CREATE TABLE [temp_table_created_by_orvandel] (x int)");
    c->execute("CREATE TABLE [TEMP_TABLE_CREATED_BY_ORVANDEL_20200101000000_abcdef] (x int)");
    const Rows before = workTables();
    ASSERT_EQ(before.size(), 2u);
    Events made;
    auto out = run("Left1", "Left12", made);
    EXPECT_TRUE(out.newTableMade);
    EXPECT_EQ(made.notices.size(), 1u);
    EXPECT_NE(made.notices.at(0).find("DROP TABLE [temp_table_created_by_orvandel]"),
              std::string::npos)
        << made.notices.at(0);
    c->execute("SANDBOX FAULT REFUSE 'INTO [Left13]'");
    Events failed;
    out = run("Left1", "Left13", failed);
    EXPECT_FALSE(out.newTableMade);
    EXPECT_EQ(workTables(), before);
    c->execute("DROP TABLE [temp_table_created_by_orvandel]");
    c->execute("DROP TABLE [TEMP_TABLE_CREATED_BY_ORVANDEL_20200101000000_abcdef]");
}
