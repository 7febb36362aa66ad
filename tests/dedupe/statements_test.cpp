// The job's statements do what they say when a server runs them, whatever the names hold: run
// here on the sandbox's engine in-process, with names that a careless quoting would break.
#include "dedupe/sql_text.h"

#include "engine_support.h"

using namespace rowlark::dedupe;

namespace sandbox::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class Statements : public EngineTest {
protected:
    // A table with awkward column names and a repeat in (we]ird, it's).
    void makeSource(const std::string& table) {
        ok("CREATE TABLE " + bracketed(table) +
           " ([we]]ird] nvarchar(10), [it's] int, [a.b] nvarchar(10), [Straße] int)");
        ok("INSERT INTO " + bracketed(table) +
           " VALUES (N'x', 1, N'p', 10), (N'y', 2, N'q', 20), (N'x', 1, N'r', 30)");
    }
    std::string kind(const std::string& name) { return rows(objectKindQuery(name)).at(0).at(0); }
};

const std::vector<std::string> kNames = {"Orders", "we]ird", "it's", "a.b", "Straße", "sp ace"};

// What a lost commit's check reads: each table's id or NULL, and its rows, whatever the names.
TEST_F(Statements, TheCommitCheckFindsEachTableByItsName) {
    makeSource("it's");
    makeSource("a.b");
    const auto ids = rows(tableIdsQuery({"it's", "missing", "a.b"}));
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_NE(ids[0][0], "NULL");
    EXPECT_EQ(ids[0][1], "NULL");
    EXPECT_NE(ids[0][2], "NULL");
    EXPECT_NE(ids[0][0], ids[0][2]);
    EXPECT_EQ(rows(countRowsQuery("it's")), (Rows{{"3"}}));
    EXPECT_EQ(tablesMadeStatement({"it's", "a]b"}),
              "SELECT name, create_date FROM sys.tables WHERE name IN (N'it''s', N'a]b')");
}

TEST_F(Statements, KeyReadsTakeTheChosenColumnsInTheChosenOrder) {
    for (const auto& table : kNames) {
        makeSource(table);
        EXPECT_EQ(rows(keyQuery({"it's", "we]ird"}, table)),
                  (Rows{{"1", "x"}, {"2", "y"}, {"1", "x"}}))
            << table;
        EXPECT_EQ(rows(columnNamesQuery(table)), (Rows{{"we]ird"}, {"it's"}, {"a.b"}, {"Straße"}}))
            << table;
        EXPECT_TRUE(run(metadataQuery(table)).at(0).rows.empty()) << "no row travels";
        EXPECT_EQ(run(metadataQuery(table)).at(0).columns.size(), 4u);
    }
}

TEST_F(Statements, OnlyATableOfTheNameIsEverDropped) {
    for (const auto& name : kNames) {
        EXPECT_EQ(kind(name), "none") << name;
        ok(dropIfExists(name)); // nothing of the name: nothing happens
        ok("CREATE VIEW " + bracketed(name) + " AS SELECT 1 AS one");
        EXPECT_EQ(kind(name), "other") << name;
        ok(dropIfExists(name));
        EXPECT_EQ(rows("SELECT one FROM " + bracketed(name)), Rows{{"1"}})
            << "the view " << name << " stays";
        ok("DROP VIEW " + bracketed(name));
        makeSource(name);
        EXPECT_EQ(kind(name), "table") << name;
        ok(dropIfExists(name));
        EXPECT_EQ(kind(name), "none") << name;
    }
}

TEST_F(Statements, TheWorkCopyNumbersEveryRowAndTheDeletesRemoveExactlyTheNamedOnes) {
    const std::string table = "we]ird";
    makeSource(table);
    const std::string work = workTableName();
    ok(copyIntoNumberedWorkTable(table, work, kWorkColumn));
    EXPECT_EQ(rows(workKeyQuery(kWorkColumn, {"we]ird", "it's"}, work)),
              (Rows{{"1", "x", "1"}, {"2", "y", "2"}, {"3", "x", "1"}}));
    ok(indexWorkTable(work, kWorkColumn));
    auto removed = run(deleteMany(work, kWorkColumn, {"3", "99"}));
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].count, 1u) << "99 names no row";
    ok(deleteOne(work, kWorkColumn, "2"));
    ok(copyIntoNewTable({"we]ird", "it's", "a.b", "Straße"}, "it's 2", work));
    EXPECT_EQ(rows(selectNewTable("it's 2")), (Rows{{"x", "1", "p", "10"}}))
        << "every column, without the work column";
    ok(dropWorkTable(work));
    EXPECT_EQ(rows("SELECT count(*) FROM " + bracketed(table)), Rows{{"3"}})
        << "the source is as it was";
}

TEST_F(Statements, TheWorkTableIsTheSessionsOwn) {
    makeSource("Orders");
    ok(copyIntoNumberedWorkTable("Orders", workTableName(), kWorkColumn));
    EXPECT_EQ(kind("Orders"), "table");
    const auto listed = rows(tableNamesQuery());
    for (const auto& row : listed)
        for (const auto& cell : row)
            EXPECT_EQ(cell.find(std::string(kWorkTable)), std::string::npos)
                << "the catalogue does not list it";
}

} // namespace
} // namespace sandbox::test
