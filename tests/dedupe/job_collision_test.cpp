// Keys that differ under one fingerprint: the job's fingerprints cut to no bits at all put every
// row of a table in one group, so each decision is the server's exact comparison of forms and,
// where a group turns out mixed, the program's own comparison of the keys. The tables must be
// exactly those the rule gives, by every way the new table is made.
#include "sandbox/odbc_support.h"

#include "dedupe/job.h"
#include "dedupe/sql_text.h"

#include <algorithm>
#include <set>

using namespace rowlark;
using namespace rowlark::test;

namespace {

struct Events : dedupe::JobEvents {
    std::vector<std::pair<int, std::string>> reports;
    std::vector<std::string> notices;
    bool none = false;
    void report(int line, const std::string& d) override { reports.emplace_back(line, d); }
    void notice(const std::string& text) override { notices.push_back(text); }
    void noDuplicates() override { none = true; }
    void showResult(std::shared_ptr<db::RecordSet>) override {}
};

class Collisions : public ::testing::Test {
protected:
    static const std::string& database() { return sharedDatabase("collide"); }
    void SetUp() override { c = connect(database()); }

    dedupe::JobSettings settings(const std::string& table, const std::vector<std::string>& keys,
                                 const std::string& into, int bits) {
        dedupe::JobSettings s;
        s.connectionString = connectionString(database());
        s.selectedTable = table;
        s.duplicateColumns = keys;
        s.newName = into;
        s.fingerprintBits = bits;
        s.timeoutSeconds = 30;
        return s;
    }
    std::vector<std::string> column(const std::string& table) { return ValuesOfV(*c, table); }
    bool exists(const std::string& table) { return Exists(*c, table); }

    std::unique_ptr<db::Connection> c;
};

} // namespace

// A1 B1 A2 C1 B2 A3 under one fingerprint: B1 and C1 are no repeats of A1 though they share its
// fingerprint, A2 and A3 are, and B2 repeats B1. Keeping the first or the last, in the table's
// order or by an order of the user's, with the removed rows kept or not, the pairs compared as
// literal runs or listed in a session table, with and without an identity column.
TEST_F(Collisions, MixedGroupsUnderOneFingerprintAreDecidedByTheirKeys) {
    struct Row {
        const char* v;
        const char* k;
        int rank; // the user's order (descending: the highest first)
    };
    const std::vector<Row> table = {{"1", "A", 2}, {"2", "B", 9}, {"3", "A", 5},
                                    {"4", "C", 1}, {"5", "B", 3}, {"6", "A", 7}};
    int n = 0;
    for (const bool identity : {false, true}) {
        const std::string source = identity ? "MixedId" : "Mixed";
        c->execute("CREATE TABLE " + source + " (" + (identity ? "Id int IDENTITY(1,1), " : "") +
                   "v nvarchar(5), k nvarchar(5), r int)");
        for (const auto& row : table)
            c->execute("INSERT INTO " + source + " (v, k, r) VALUES (N'" + row.v + "', N'" + row.k +
                       "', " + std::to_string(row.rank) + ")");
        const auto before = query(*c, "SELECT * FROM " + source + " ORDER BY v");
        for (const bool last : {false, true})
            for (const bool byRank : {false, true})
                for (const bool removed : {false, true})
                    for (const std::size_t runs : {std::size_t{64}, std::size_t{0}}) {
                        const std::string into = source + std::to_string(++n);
                        SCOPED_TRACE(into + (last ? " last" : " first") +
                                     (byRank ? " by r desc" : "") +
                                     (removed ? " removed kept" : "") + (runs ? "" : " listed"));
                        // The rule: the order decides, the first of each k stays.
                        auto ordered = table;
                        if (byRank)
                            std::stable_sort(
                                ordered.begin(), ordered.end(),
                                [](const Row& a, const Row& b) { return a.rank > b.rank; });
                        if (last) std::reverse(ordered.begin(), ordered.end());
                        std::set<std::string> seen;
                        std::vector<std::string> kept, gone;
                        for (const auto& row : ordered)
                            (seen.insert(row.k).second ? kept : gone).push_back(row.v);
                        std::sort(kept.begin(), kept.end());
                        std::sort(gone.begin(), gone.end());

                        auto s = settings(source, {"k"}, into, 0);
                        s.keepLast = last;
                        if (byRank) s.orderBy = {{"r", true}};
                        if (removed) s.removedInto = into + "Gone";
                        s.maxLeftOutRuns = runs;
                        Events e;
                        const auto out = dedupe::RunJob(s, e);
                        ASSERT_TRUE(e.reports.empty()) << e.reports.front().second;
                        ASSERT_TRUE(out.newTableMade);
                        EXPECT_EQ(column(into), kept);
                        EXPECT_EQ(out.counts.duplicates, gone.size());
                        if (removed) {
                            EXPECT_EQ(column(into + "Gone"), gone);
                        }
                        EXPECT_EQ(query(*c, "SELECT * FROM " + source + " ORDER BY v"), before);
                        EXPECT_EQ(query(*c, kWorkTablesLeft), Rows{});
                    }
    }
}

// Keys that are all different under one fingerprint: the first read takes the second row for a
// repeat, the copy's comparison finds none, and nothing is made.
TEST_F(Collisions, DistinctKeysUnderOneFingerprintAreNoDuplicates) {
    c->execute("CREATE TABLE Distinct1 (v nvarchar(5), k nvarchar(5), m int)");
    c->execute("INSERT INTO Distinct1 VALUES (N'1', N'a', 1), (N'2', N'A', 1), (N'3', N'a ', 1), "
               "(N'4', N'a', 2), (N'5', NULL, 1), (N'6', N'a', NULL)");
    for (const std::size_t runs : {std::size_t{64}, std::size_t{0}}) {
        Events e;
        auto s = settings("Distinct1", {"k", "m"}, "Distinct2", 0);
        s.maxLeftOutRuns = runs;
        const auto out = dedupe::RunJob(s, e);
        EXPECT_TRUE(e.reports.empty()) << e.reports.front().second;
        EXPECT_TRUE(e.none);
        EXPECT_FALSE(out.newTableMade);
        EXPECT_FALSE(exists("Distinct2"));
        EXPECT_EQ(query(*c, kWorkTablesLeft), Rows{});
    }
}

// The forms decide alone where fingerprints are whole, and beside the keys where they are cut:
// both must call equal exactly the values the program calls equal, type by type.
TEST_F(Collisions, EachTypesFormCallsEqualWhatTheProgramDoes) {
    c->execute("CREATE TABLE Typed (v int, t varchar(10), u nchar(4), i bigint, b bit, "
               "f float, r real, d decimal(9,2), m money, dt datetime, d2 datetime2(7), "
               "dd date, tm time(7), g uniqueidentifier, bn varbinary(10), tx text)");
    const std::string row = "N'ab', N'ä', 5, 1, 0.5, CAST(1.25 AS real), 1.5, 2.5, "
                            "'2024-01-01 10:00:00.003', '2024-01-01 10:00:00.1234567', "
                            "'2024-01-01', '10:00:00.1234567', "
                            "'6F9619FF-8B86-D011-B42D-00C04FD430C8', 0x0102, 'long'";
    c->execute("INSERT INTO Typed VALUES (1, " + row + "), (2, " + row + ")");
    // Row 4 repeats row 3 by the program's rule: -0 is 0, NULL is the empty value.
    c->execute("INSERT INTO Typed VALUES (3, NULL, NULL, 0, 0, 0, 0, 0, 0, NULL, NULL, NULL, "
               "NULL, NULL, 0x, NULL), (4, '', NULL, 0, 0, -0e0, CAST(-0e0 AS real), -0.00, 0, "
               "NULL, NULL, NULL, NULL, NULL, NULL, '')");
    // One value apart from row 1 each: none of these repeats anything.
    const std::vector<std::pair<std::string, std::string>> apart = {
        {"t", "'ab '"},
        {"t", "'AB'"},
        {"u", "N'Ä'"},
        {"i", "6"},
        {"b", "0"},
        {"f", "0.5000000000000001"},
        {"r", "CAST(1.5 AS real)"},
        {"d", "1.51"},
        {"m", "2.5001"},
        {"dt", "'2024-01-01 10:00:00.007'"},
        {"d2", "'2024-01-01 10:00:00.1234568'"},
        {"dd", "'2024-01-02'"},
        {"tm", "'10:00:00.1234568'"},
        {"g", "'6F9619FF-8B86-D011-B42D-00C04FD430C9'"},
        {"bn", "0x010200"},
        {"tx", "'long '"}};
    int v = 10;
    for (const auto& [col, value] : apart) {
        c->execute("INSERT INTO Typed SELECT " + std::to_string(++v) +
                   ", t, u, i, b, f, r, d, m, dt, d2, dd, tm, g, bn, tx FROM Typed WHERE v = 1");
        c->execute("UPDATE Typed SET " + col + " = " + value + " WHERE v = " + std::to_string(v));
    }
    const std::vector<std::string> keys = {"t",  "u",  "i",  "b",  "f", "r",  "d", "m",
                                           "dt", "d2", "dd", "tm", "g", "bn", "tx"};
    std::vector<std::string> expected = {"1", "3"};
    for (int i = 11; i <= v; ++i)
        expected.push_back(std::to_string(i));
    std::sort(expected.begin(), expected.end());
    for (const int bits : {64, 0}) {
        SCOPED_TRACE(bits);
        const std::string into = "Typed" + std::to_string(bits);
        Events e;
        const auto out = dedupe::RunJob(settings("Typed", keys, into, bits), e);
        ASSERT_TRUE(e.reports.empty()) << e.reports.front().second;
        EXPECT_TRUE(e.notices.empty()) << e.notices.front();
        ASSERT_TRUE(out.newTableMade);
        std::vector<std::string> kept;
        for (const auto& r : query(*c, "SELECT v FROM " + into))
            kept.push_back(r[0]);
        std::sort(kept.begin(), kept.end());
        EXPECT_EQ(kept, expected);
    }
}

// A server that hashes no more than 8,000 bytes (before 2016), or not with SHA-256 at all: where
// the chosen columns may pass what it hashes, the job reads the values themselves and says so
// once; the table is the same either way.
TEST_F(Collisions, AServerThatCannotHashTheFormsLeavesTheKeyReadsAndSaysSo) {
    c->execute("CREATE TABLE Wide (v nvarchar(5), k nvarchar(max), s nvarchar(10))");
    c->execute(
        "INSERT INTO Wide VALUES (N'1', N'a', N'a'), (N'2', N'b', N'b'), (N'3', N'a', N'a'), "
        "(N'4', N'A', N'A')");
    struct Case {
        const char* fault;
        std::vector<std::string> keys;
        const char* notice; // empty: none
    };
    const std::vector<Case> cases = {
        {"REPLICATE(", {"k"}, "hashes at most 8,000 bytes"},
        {"REPLICATE(", {"s"}, ""}, // its forms stay below 8,000 bytes
        {"HASHBYTES(", {"s"}, "does not hash with SHA-256"},
    };
    int n = 0;
    for (const auto& k : cases) {
        const std::string into = "Wide" + std::to_string(++n);
        SCOPED_TRACE(into);
        c->execute(std::string("SANDBOX FAULT REFUSE '") + k.fault + "'");
        Events e;
        const auto out = dedupe::RunJob(settings("Wide", k.keys, into, 64), e);
        c->execute("SANDBOX FAULT CLEAR");
        EXPECT_TRUE(e.reports.empty()) << e.reports.front().second;
        ASSERT_TRUE(out.newTableMade);
        EXPECT_EQ(column(into), (std::vector<std::string>{"1", "2", "4"}));
        if (*k.notice) {
            ASSERT_EQ(e.notices.size(), 1u);
            EXPECT_NE(e.notices[0].find(k.notice), std::string::npos) << e.notices[0];
        } else {
            EXPECT_TRUE(e.notices.empty()) << e.notices.front();
        }
    }
}
