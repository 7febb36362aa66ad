// The job's promise under hostile names, repeated identity values, a tiny memory budget and a
// second client writing while it runs: the source table is never changed, no row that is unique
// in the job's copy is lost, and a failure is never reported as success.
#include "sandbox/odbc_support.h"

#include "dedupe/job.h"
#include "dedupe/sql_text.h"

#include <atomic>
#include <map>
#include <set>
#include <thread>

using namespace rowlark;
using namespace rowlark::test;

namespace {

struct Events : dedupe::JobEvents {
    std::vector<std::pair<int, std::string>> reports;
    bool none = false;
    void report(int line, const std::string& d) override { reports.emplace_back(line, d); }
    void noDuplicates() override { none = true; }
    void showResult(std::shared_ptr<db::RecordSet>) override {}
};

class JobPromise : public ::testing::Test {
protected:
    static const std::string& database() { return sharedDatabase("promise"); }
    void SetUp() override { c = connect(database()); }

    dedupe::JobOutcome run(const std::string& table, const std::vector<std::string>& columns,
                           const std::string& newName, Events& e, std::uint64_t budget = 0) {
        dedupe::JobSettings s;
        s.connectionString = connectionString(database());
        s.selectedTable = table;
        s.duplicateColumns = columns;
        s.newName = newName;
        s.memoryBudget = budget;
        s.deleteBatch = 3;
        return dedupe::RunJob(s, e);
    }
    Rows dump(const std::string& table, const std::string& order) {
        return query(*c, "SELECT * FROM " + dedupe::bracketed(table) + " ORDER BY " + order);
    }
    bool exists(const std::string& table) {
        return query(*c, "SELECT CASE WHEN OBJECT_ID(" + dedupe::objectIdLiteral(table) +
                             ") IS NULL THEN 0 ELSE 1 END")[0][0] == "1";
    }

    std::unique_ptr<db::Connection> c;
};

} // namespace

TEST_F(JobPromise, ASourceNamedLikeAWorkTableIsCleanedAndNeverDropped) {
    for (const std::string& table :
         {std::string(dedupe::kWorkTable),
          std::string("TEMP_TABLE_CREATED_BY_ORVANDEL_20000101000000_000001")}) {
        SCOPED_TRACE(table);
        c->execute("CREATE TABLE " + dedupe::bracketed(table) + " (a int)");
        c->execute("INSERT INTO " + dedupe::bracketed(table) + " VALUES (1), (1), (2)");
        const Rows before = dump(table, "a");
        Events e;
        auto out = run(table, {"a"}, "Kept_" + std::to_string(table.size()), e);
        EXPECT_TRUE(e.reports.empty()) << e.reports.front().second;
        EXPECT_TRUE(out.newTableMade);
        EXPECT_EQ(dump(table, "a"), before) << "the source is still there, unchanged";
        EXPECT_EQ(dump("Kept_" + std::to_string(table.size()), "a"), (Rows{{"1"}, {"2"}}));
        c->execute("DROP TABLE " + dedupe::bracketed(table));
    }
}

TEST_F(JobPromise, ASourceColumnNamedLikeTheWorkColumnIsKeptApart) {
    c->execute("CREATE TABLE Clash (TEMP_COLUMN_CREATED_BY_ORVANDEL int, k nvarchar(5))");
    c->execute("INSERT INTO Clash VALUES (1, N'a'), (1, N'b'), (2, N'a'), (2, N'c'), (3, N'd'), "
               "(9, N'b')");
    const Rows before = dump("Clash", "k, TEMP_COLUMN_CREATED_BY_ORVANDEL");
    Events e;
    auto out = run("Clash", {"k"}, "Clash2", e);
    EXPECT_TRUE(e.reports.empty()) << e.reports.front().second;
    EXPECT_EQ(out.counts.deleted, 2u);
    EXPECT_EQ(dump("Clash2", "k"), (Rows{{"1", "a"}, {"1", "b"}, {"2", "c"}, {"3", "d"}}))
        << "every unique row, each group's first, with the user's own column as it was";
    EXPECT_EQ(dump("Clash", "k, TEMP_COLUMN_CREATED_BY_ORVANDEL"), before);
}

TEST_F(JobPromise, IdentityValuesThatRepeatStopTheJobBeforeAnyDelete) {
    // A view over a join shows each identity value twice, still marked as identity.
    c->execute("CREATE TABLE Base (Id int IDENTITY(1,1), k nvarchar(5)); CREATE TABLE Two (x int)");
    c->execute("INSERT INTO Base (k) VALUES (N'a'), (N'b'), (N'a'); INSERT INTO Two VALUES (1), "
               "(2)");
    c->execute("CREATE VIEW Doubled AS SELECT Base.Id, Base.k, Two.x FROM Base JOIN Two ON 1 = 1");
    Events e;
    auto out = run("Doubled", {"k"}, "Doubled2", e);
    ASSERT_EQ(e.reports.size(), 1u);
    EXPECT_EQ(e.reports[0].first, 210);
    EXPECT_NE(e.reports[0].second.find("cannot name single rows"), std::string::npos);
    EXPECT_EQ(out.counts.deleted, 0u);
    EXPECT_FALSE(out.newTableMade);
    EXPECT_FALSE(exists("Doubled2"));
    EXPECT_EQ(query(*c, "SELECT count(*) FROM Base"), (Rows{{"3"}}));
}

TEST_F(JobPromise, KeysPastTheMemoryBudgetGoToFilesWithTheSameResult) {
    c->execute("CREATE TABLE Many (n int, k nvarchar(20))");
    std::string insert = "INSERT INTO Many VALUES ";
    for (int i = 0; i < 3000; ++i)
        insert +=
            (i ? ", (" : "(") + std::to_string(i) + ", N'key" + std::to_string(i % 1700) + "')";
    c->execute(insert);
    Events small, large;
    auto spilled = run("Many", {"k"}, "ManySpilled", small, 4096);
    auto inMemory = run("Many", {"k"}, "ManyInMemory", large);
    EXPECT_TRUE(small.reports.empty()) << small.reports.front().second;
    EXPECT_EQ(spilled.counts.deleted, 1300u);
    EXPECT_EQ(inMemory.counts.deleted, 1300u);
    EXPECT_EQ(dump("ManySpilled", "n"), dump("ManyInMemory", "n"));
    EXPECT_EQ(query(*c, "SELECT max(n) FROM ManySpilled"), (Rows{{"1699"}}))
        << "each key's first row is kept";
}

// Another client inserts and updates the source while the job runs (every answer a little late,
// so the two interleave). Whatever the job copied, the new table holds each key once, by the
// first row of its group, and every key the source held before the job began.
TEST_F(JobPromise, ASecondClientWritingMeanwhileNeverMakesTheJobLoseAUniqueRow) {
    c->execute("CREATE TABLE Busy (r int NOT NULL, k int, v nvarchar(10))");
    std::string insert = "INSERT INTO Busy VALUES ";
    for (int r = 1; r <= 60; ++r)
        insert +=
            (r > 1 ? ", (" : "(") + std::to_string(r) + ", " + std::to_string(r % 23) + ", N'v')";
    c->execute(insert);
    std::map<int, int> firstRowOfKey;
    for (const auto& row : query(*c, "SELECT r, k FROM Busy"))
        firstRowOfKey.emplace(std::stoi(row[1]), std::stoi(row[0]));

    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string into = "Busy_" + std::to_string(round);
        auto writer = connect(database());
        writer->execute("SANDBOX FAULT DELAY 2");
        std::atomic<bool> done{false};
        std::thread other([&] {
            for (int i = 0; !done && i < 200; ++i) {
                const int r = 1000 + round * 1000 + i;
                writer->execute("INSERT INTO Busy VALUES (" + std::to_string(r) + ", " +
                                std::to_string(i % 30) + ", N'new'); UPDATE Busy SET v = N'u" +
                                std::to_string(i) + "' WHERE r = " + std::to_string(i % 60 + 1));
            }
        });
        Events e;
        auto out = run("Busy", {"k"}, into, e);
        done = true;
        other.join();
        writer->execute("SANDBOX FAULT CLEAR");
        ASSERT_TRUE(e.reports.empty()) << e.reports.front().second;
        ASSERT_TRUE(out.newTableMade);
        std::map<int, int> kept;
        for (const auto& row : query(*c, "SELECT r, k FROM " + into)) {
            const int k = std::stoi(row[1]), r = std::stoi(row[0]);
            ASSERT_TRUE(kept.emplace(k, r).second) << "key " << k << " kept twice";
        }
        for (const auto& [k, r] : firstRowOfKey) {
            ASSERT_TRUE(kept.count(k)) << "key " << k << " lost";
            EXPECT_EQ(kept[k], r) << "key " << k << " keeps its first row";
        }
        EXPECT_EQ(out.newTableRows, kept.size());
    }
}
