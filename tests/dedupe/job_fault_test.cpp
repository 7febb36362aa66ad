// The job when the server goes away at each stage, when two jobs run at once, and with work tables
// left behind: the source never changes, each failure is reported, and nothing is left behind.
#include "sandbox/odbc_support.h"

#include "dedupe/columns.h"
#include "dedupe/job.h"
#include "dedupe/sql_text.h"

#include <thread>

using namespace rowlark;
using namespace rowlark::test;

namespace {

struct Events : dedupe::JobEvents {
    std::vector<int> lines;
    std::mutex m;
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
        allColumns_[t] = dedupe::bracketList(dedupe::ReadColumnNames(*c, t));
    }
    dedupe::JobOutcome run(const std::string& table, const std::string& newName, Events& e,
                           std::size_t batch = 1000) {
        dedupe::JobSettings s;
        s.connectionString = connectionString(database());
        s.selectedTable = table;
        // Read before any fault rule is set: a rule takes the next statement that matches it.
        s.allColumns = allColumns_.at(table);
        s.duplicateColumns = "[k]";
        s.newName = [newName] { return newName; };
        s.deleteBatch = batch;
        s.timeoutSeconds = 30;
        return dedupe::RunJob(s, e);
    }
    Rows workTables() { return query(*c, dedupe::workTablesQuery()); }
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
    std::map<std::string, std::string> allColumns_;
};

} // namespace

TEST_F(JobFaults, ServerGoesAwayWhileTheTableIsRead) {
    makeTable("Read1");
    c->execute("SANDBOX FAULT DROP AFTER 2 ROWS");
    Events e;
    auto out = run("Read1", "Read12", e);
    EXPECT_EQ(e.lines, std::vector<int>{168})
        << "the read fails, and nothing is attempted after it";
    EXPECT_GT(out.failedSteps, 0);
    EXPECT_EQ(
        query(*c, "SELECT count(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = 'Read12'"),
        (Rows{{"0"}}));
    expectRecovery("Read1", "Read12");
}

TEST_F(JobFaults, ServerGoesAwayWhileTheWorkTableIsMade) {
    makeTable("Copy1");
    c->execute("SANDBOX FAULT DROP ON 'INTO [TEMP_TABLE_CREATED_BY_ORVANDEL'");
    Events e;
    run("Copy1", "Copy12", e);
    ASSERT_FALSE(e.lines.empty());
    EXPECT_EQ(e.lines.front(), 204);
    expectRecovery("Copy1", "Copy12");
}

TEST_F(JobFaults, ServerGoesAwayHalfWayThroughTheDeletes) {
    makeTable("Del1", true);
    c->execute("SANDBOX FAULT DROP ON 'DELETE FROM' SKIP 1");
    Events e;
    auto out = run("Del1", "Del12", e, 1);
    EXPECT_EQ(out.counts.deleted, 1u);
    EXPECT_EQ(std::count(e.lines.begin(), e.lines.end(), 224), 1)
        << "the rest of the deletes, reported once";
    EXPECT_NE(std::find(e.lines.begin(), e.lines.end(), 234), e.lines.end());
    expectRecovery("Del1", "Del12");
}

TEST_F(JobFaults, ServerGoesAwayDuringTheFinalCopy) {
    makeTable("Fin1");
    c->execute("SANDBOX FAULT DROP ON 'INTO [Fin12]'");
    Events e;
    run("Fin1", "Fin12", e);
    ASSERT_FALSE(e.lines.empty());
    EXPECT_EQ(e.lines.front(), 234);
    expectRecovery("Fin1", "Fin12");
}

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

TEST_F(JobFaults, LeftoverWorkTablesOfEarlierRunsAreDropped) {
    makeTable("Left1");
    const std::string fresh = dedupe::newWorkTableName();
    c->execute("CREATE TABLE [TEMP_TABLE_CREATED_BY_ORVANDEL] (x int)");
    c->execute("CREATE TABLE [TEMP_TABLE_CREATED_BY_ORVANDEL_20000101000000_abcdef] (x int)");
    c->execute("CREATE TABLE [" + fresh + "] (x int)");
    Events e;
    run("Left1", "Left12", e);
    EXPECT_TRUE(e.lines.empty());
    EXPECT_EQ(workTables(), (Rows{{fresh}})) << "a young one may belong to a job running now";
    c->execute("DROP TABLE [" + fresh + "]");
}
