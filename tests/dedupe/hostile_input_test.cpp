// Hostile names and values: every job gives the right table or a clear error, and the source
// table is unchanged.
#include "sandbox/odbc_support.h"

#include "dedupe/columns.h"
#include "dedupe/job.h"
#include "dedupe/sql_text.h"

using namespace rowlark;
using namespace rowlark::test;

namespace {

struct Events : dedupe::JobEvents {
    std::vector<std::string> reports;
    void report(int line, const std::string& d) override {
        reports.push_back(std::to_string(line) + ": " + d);
    }
    void noDuplicates() override {}
    void showResult(std::shared_ptr<db::RecordSet>) override {}
};

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override { c = connect(sharedDatabase("hostile")); }

    // Runs the job on the table by the given columns; the source must come out unchanged.
    Events runJob(const std::string& table, const std::vector<std::string>& columns,
                  const std::string& newName) {
        const Rows before = query(*c, "SELECT * FROM " + dedupe::bracketed(table));
        dedupe::JobSettings s;
        s.connectionString = connectionString(sharedDatabase("hostile"));
        s.selectedTable = table;
        s.duplicateColumns = columns;
        s.newName = newName;
        Events e;
        dedupe::RunJob(s, e);
        EXPECT_EQ(query(*c, "SELECT * FROM " + dedupe::bracketed(table)), before)
            << "the source is unchanged";
        EXPECT_EQ(query(*c, kWorkTablesLeft), Rows{});
        return e;
    }

    std::unique_ptr<db::Connection> c;
};

} // namespace

TEST_F(HostileInput, NamesThatNeedQuoting) {
    const std::vector<std::string> tables = {"we]ird",
                                             "it's",
                                             "a][b",
                                             " spaced  name ",
                                             "\xc3\x9cn\xc3\xaf\xe8\xa1\xa8",
                                             "select",
                                             std::string(127, 'T')};
    const std::vector<std::string> cols = {"c]ol", "o'k", "x][y", "order", std::string(128, 'c')};
    std::string defs;
    for (const auto& col : cols)
        defs += (defs.empty() ? "" : ", ") + dedupe::bracketed(col) + " nvarchar(10)";
    for (const auto& table : tables) {
        SCOPED_TRACE(table);
        c->execute("CREATE TABLE " + dedupe::bracketed(table) + " (" + defs + ")");
        c->execute("INSERT INTO " + dedupe::bracketed(table) +
                   " VALUES (N'1', N'a', N'x', N'p', N'q'), (N'1', N'a', N'y', N'p', N'q'), (N'2', "
                   "N'a', N'x', N'p', N'q')");
        auto e = runJob(table, {"c]ol", "o'k", std::string(128, 'c')}, table + "2");
        EXPECT_TRUE(e.reports.empty()) << (e.reports.empty() ? "" : e.reports.front());
        EXPECT_EQ(query(*c, "SELECT [c]]ol], [x]][y] FROM " + dedupe::bracketed(table + "2")),
                  (Rows{{"1", "x"}, {"2", "x"}}));
    }
}

TEST_F(HostileInput, ValuesThatLookAlikeButDiffer) {
    c->execute(
        "CREATE TABLE Vals (n int, t nvarchar(max), b varbinary(max), d datetime2(7), f float)");
    const std::string mb(1 << 20, 'x');
    c->execute(
        "INSERT INTO Vals VALUES "
        "(1, N'a,b', 0x00, '2024-01-01 10:00:00.1234567', CAST(0.1 AS float) + 0.2), "
        "(2, N'a,b', 0x00, '2024-01-01 10:00:00.1234567', 0.3), " // 0.3 exactly, where the float
                                                                  // sum prints alike
        "(3, N'a,b', 0x0000, '2024-01-01 10:00:00.1234567', CAST(0.1 AS float) + 0.2), " // longer
                                                                                         // binary
        "(4, N'a,b', 0x00, '2024-01-01 10:00:00.1234568', CAST(0.1 AS float) + 0.2), "   // 100 ns
                                                                                         // later
        "(5, N'a,b', 0x00, '2024-01-01 10:00:00.1234567', CAST(0.1 AS float) + 0.2), "   // the one
                                                                                         // repeat
        "(6, N'it''s \"q\"' + NCHAR(9) + N'\r\n' + NCHAR(1), NULL, NULL, NULL), "
        "(7, N'it''s \"q\"' + NCHAR(9) + N'\r\n' + NCHAR(1), NULL, NULL, NULL), " // repeat with
                                                                                  // control chars
        "(8, N'', 0x, NULL, NULL), (9, NULL, NULL, NULL, NULL)");
    c->execute("INSERT INTO Vals VALUES (10, N'" + mb + "', NULL, NULL, NULL), (11, N'" + mb +
               "y', NULL, NULL, NULL), "
               "(12, N'" +
               mb + "', NULL, NULL, NULL)");
    auto e = runJob("Vals", {"t", "b", "d", "f"}, "Vals2");
    EXPECT_TRUE(e.reports.empty()) << (e.reports.empty() ? "" : e.reports.front());
    EXPECT_EQ(query(*c, "SELECT n FROM Vals2"),
              (Rows{{"1"}, {"2"}, {"3"}, {"4"}, {"6"}, {"8"}, {"10"}, {"11"}}));
}

TEST_F(HostileInput, AWrongPasswordNeverShowsInAReport) {
    c->execute("CREATE TABLE Pw (k int); INSERT INTO Pw VALUES (1), (1)");
    dedupe::JobSettings s;
    s.connectionString = connectionString(sharedDatabase("hostile"), "Secret;{Pass");
    s.selectedTable = "Pw";
    s.duplicateColumns = {"k"};
    s.newName = std::string("Pw2");
    s.timeoutSeconds = 5;
    Events e;
    dedupe::RunJob(s, e);
    ASSERT_FALSE(e.reports.empty());
    for (const auto& r : e.reports)
        EXPECT_EQ(r.find("Secret"), std::string::npos) << r;
}
