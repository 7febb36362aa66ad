// The job's options through the real driver stack: the removed rows kept in a table of their own,
// the whole job done by the server, and both with failures injected at each of their steps.
// Every result is checked row by row against a computation of the rule made here.
#include "sandbox/odbc_support.h"

#include "dedupe/job.h"
#include "dedupe/sql_text.h"

#include <algorithm>
#include <map>
#include <set>

using namespace rowlark;
using namespace rowlark::test;

namespace {

struct Events : dedupe::JobEvents {
    std::vector<std::pair<int, std::string>> reports;
    bool none = false;
    bool replace = false;
    void report(int line, const std::string& d) override { reports.emplace_back(line, d); }
    void noDuplicates() override { none = true; }
    void showResult(std::shared_ptr<db::RecordSet>) override {}
    bool replaceExisting(const std::string&) override { return replace; }
};

// Rows as (v, k): v names the row, in the table's own order; k defines a duplicate.
using Table = std::vector<std::pair<std::string, std::optional<std::string>>>;

// k as the program compares it (exactly, NULL equal to empty text) or as a default server does
// (letter case and trailing blanks ignored, NULL a group of its own).
std::string groupOf(const std::optional<std::string>& k, bool server) {
    if (!k) return server ? std::string("\x01NULL") : std::string();
    if (!server) return *k;
    std::string s = *k;
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// The v of the rows that stay, keeping the first of each group (or the last).
std::vector<std::string> staying(const Table& t, bool server, bool last) {
    std::set<std::string> seen;
    std::vector<std::string> out;
    auto rows = t;
    if (last) std::reverse(rows.begin(), rows.end());
    for (const auto& [v, k] : rows)
        if (seen.insert(groupOf(k, server)).second) out.push_back(v);
    std::sort(out.begin(), out.end());
    return out;
}

class JobOptions : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        c = connect(sharedDatabase("options"));
        c->execute("SANDBOX FAULT CLEAR");
    }
    void TearDown() override { c->execute("SANDBOX FAULT CLEAR"); }

    void make(const std::string& name, const Table& t, bool identity = false) {
        c->execute("CREATE TABLE " + name + " (" + (identity ? "Id int IDENTITY(1,1), " : "") +
                   "v nvarchar(5), k nvarchar(10))");
        for (const auto& [v, k] : t)
            c->execute("INSERT INTO " + name + " (v, k) VALUES (N'" + v + "', " +
                       (k ? "N'" + *k + "'" : std::string("NULL")) + ")");
    }
    dedupe::JobOutcome run(const std::string& table, const std::string& into,
                           const std::string& removed, bool server, Events& e, bool last = false,
                           std::size_t runs = 64) {
        dedupe::JobSettings s;
        s.connectionString = connectionString(sharedDatabase("options"));
        s.selectedTable = table;
        s.duplicateColumns = {"k"};
        s.newName = into;
        s.removedInto = removed;
        s.onServer = server;
        s.keepLast = last;
        s.maxLeftOutRuns = runs;
        s.timeoutSeconds = 30;
        s.fingerprintBits = GetParam();
        return dedupe::RunJob(s, e);
    }
    std::vector<std::string> column(const std::string& table) { return ValuesOfV(*c, table); }
    bool exists(const std::string& table) { return Exists(*c, table); }

    std::unique_ptr<db::Connection> c;
};

const Table kDiffer = {{"a", "Ann"}, {"b", "ann"}, {"c", "Ann "}, {"d", std::nullopt},
                       {"e", ""},    {"f", "Bo"},  {"g", "Ann"},  {"h", std::nullopt},
                       {"i", "bo"},  {"j", "Cy  "}};
const Table kAgree = {{"a", "x"}, {"b", "y"}, {"c", "x"}, {"d", "z"}, {"e", "y"}, {"f", "x"}};

} // namespace

// Where the two comparisons must differ (letter case, trailing blanks, NULL against empty text)
// and where they must agree: each result, and the removed rows beside it, against the rule.
TEST_P(JobOptions, ClientAndServerRulesGiveTheirOwnTablesAndTheRemovedRowsMakeUpTheRest) {
    int n = 0;
    for (const auto* t : {&kDiffer, &kAgree})
        for (const bool identity : {false, true})
            for (const bool server : {false, true})
                for (const bool last : {false, true})
                    for (const std::size_t runs : {std::size_t{64}, std::size_t{0}}) {
                        if (server && runs == 0) continue; // the server takes no runs
                        const std::string table = "Src" + std::to_string(++n);
                        SCOPED_TRACE(table + (server ? " on the server" : " in the program") +
                                     (last ? ", keep last" : "") + (identity ? ", identity" : "") +
                                     (runs ? "" : ", by list"));
                        make(table, *t, identity);
                        const auto before = query(*c, "SELECT * FROM " + table + " ORDER BY v");
                        Events e;
                        auto out = run(table, table + "New", table + "Gone", server, e, last, runs);
                        ASSERT_TRUE(e.reports.empty()) << e.reports.front().second;
                        ASSERT_TRUE(out.newTableMade && out.removedTableMade);
                        const auto kept = staying(*t, server, last);
                        EXPECT_EQ(column(table + "New"), kept);
                        std::vector<std::string> gone;
                        for (const auto& [v, k] : *t)
                            if (!std::binary_search(kept.begin(), kept.end(), v)) gone.push_back(v);
                        EXPECT_EQ(column(table + "Gone"), gone);
                        EXPECT_EQ(out.newTableRows, kept.size());
                        EXPECT_EQ(out.removedRows, gone.size());
                        EXPECT_EQ(query(*c, "SELECT * FROM " + table + " ORDER BY v"), before);
                        EXPECT_EQ(query(*c, kWorkTablesLeft), Rows{});
                    }
}

// A failure at each step the options add leaves nothing made, the source as it was, and a table
// that was to be replaced where it was.
TEST_P(JobOptions, AFailureAtEachNewStepMakesNeitherTable) {
    struct Fault {
        const char* name;
        const char* rule;
        bool server;
        std::size_t runs;
    };
    const std::vector<Fault> faults = {
        {"RemovedCopy", "SANDBOX FAULT REFUSE 'INTO [FailGone'", false, 64},
        {"ListMade", "SANDBOX FAULT REFUSE 'CREATE TABLE [#TEMP_NUMBERS'", false, 0},
        {"ListFilled", "SANDBOX FAULT REFUSE 'INSERT INTO [#TEMP_NUMBERS'", false, 0},
        {"ListedCopy", "SANDBOX FAULT REFUSE 'IN (SELECT n FROM'", false, 0},
        {"ServerCopy", "SANDBOX FAULT REFUSE 'INTO [#TEMP_TABLE'", true, 64},
        {"ServerRanked", "SANDBOX FAULT REFUSE 'ROW_NUMBER() OVER'", true, 64},
        {"ServerRemoved", "SANDBOX FAULT REFUSE 'INTO [FailGone'", true, 64},
        {"ServerGone", "SANDBOX FAULT DROP ON 'INTO [FailGone'", true, 64},
    };
    make("FailSrc", kDiffer);
    const auto before = query(*c, "SELECT * FROM FailSrc ORDER BY v");
    c->execute("CREATE TABLE FailNew (old int)");
    c->execute("INSERT INTO FailNew VALUES (7)");
    for (const auto& f : faults) {
        SCOPED_TRACE(f.name);
        c = connect(sharedDatabase("options"));
        c->execute(f.rule);
        Events e;
        e.replace = true;
        auto out = run("FailSrc", "FailNew", "FailGone", f.server, e, false, f.runs);
        c = connect(sharedDatabase("options"));
        c->execute("SANDBOX FAULT CLEAR");
        EXPECT_FALSE(out.newTableMade);
        EXPECT_FALSE(out.removedTableMade);
        EXPECT_FALSE(e.reports.empty());
        EXPECT_EQ(query(*c, "SELECT * FROM FailNew"), (Rows{{"7"}})) << "the old table stays";
        EXPECT_FALSE(exists("FailGone"));
        EXPECT_EQ(query(*c, "SELECT * FROM FailSrc ORDER BY v"), before);
    }
}

// The removed rows' table obeys the new table's rules: never the source, never the new table
// itself, an existing table only when the user agrees.
TEST_P(JobOptions, TheRemovedRowsTableIsNamedByTheSameRules) {
    make("NameSrc", kAgree);
    c->execute("CREATE TABLE NameTaken (x int)");
    struct Case {
        const char* removed;
        bool replace;
        bool made;
    };
    for (const auto& k : {Case{"namesrc", true, false}, Case{"NameNew", true, false},
                          Case{"#NameTemp", true, false}, Case{"NameTaken", false, false},
                          Case{"NameTaken", true, true}}) {
        SCOPED_TRACE(k.removed);
        Events e;
        e.replace = k.replace;
        auto out = run("NameSrc", "NameNew", k.removed, false, e);
        EXPECT_EQ(out.newTableMade, k.made);
        EXPECT_EQ(out.refusal.has_value(), !k.made);
        if (out.newTableMade) {
            c->execute("DROP TABLE NameNew");
            c->execute("DROP TABLE NameTaken");
        }
    }
    EXPECT_EQ(column("NameSrc").size(), kAgree.size());
}

// Identity values that are not in the order the rows are stored (rows inserted with their own
// values, as a reloaded table has them): "first" and "last" go by the identity, in the program as
// on the server, with and without the removed rows' table, left out by runs or deleted.
TEST_P(JobOptions, FirstAndLastFollowTheIdentityNotTheStorageOrder) {
    // Stored in this order; x: identity 5, 2, 7; y: 9, 1.
    c->execute("CREATE TABLE Shuffled (Id int IDENTITY(1,1), v nvarchar(5), k nvarchar(10))");
    c->execute("SET IDENTITY_INSERT Shuffled ON");
    c->execute("INSERT INTO Shuffled (Id, v, k) VALUES (5, N'a', N'x'), (2, N'b', N'x'), "
               "(9, N'c', N'y'), (1, N'd', N'y'), (7, N'e', N'x')");
    c->execute("SET IDENTITY_INSERT Shuffled OFF");
    const std::vector<std::string> first = {"b", "d"}, last = {"c", "e"};
    int n = 0;
    for (const bool server : {false, true})
        for (const bool keepLast : {false, true})
            for (const bool removed : {false, true})
                for (const std::size_t runs : {std::size_t{64}, std::size_t{0}}) {
                    if (server && runs == 0) continue;
                    const std::string into = "Shuffled" + std::to_string(++n);
                    SCOPED_TRACE(into + (server ? " on the server" : " in the program") +
                                 (keepLast ? ", keep last" : ", keep first") +
                                 (removed ? ", removed kept" : "") + (runs ? "" : ", deleted"));
                    Events e;
                    auto out = run("Shuffled", into, removed ? into + "Gone" : "", server, e,
                                   keepLast, runs);
                    ASSERT_TRUE(e.reports.empty()) << e.reports.front().second;
                    ASSERT_TRUE(out.newTableMade);
                    EXPECT_EQ(column(into), keepLast ? last : first);
                    if (removed) {
                        EXPECT_EQ(column(into + "Gone").size(), 3u);
                    }
                }
}

// With the server's fingerprints whole, and cut to three bits so that keys that differ share them.
INSTANTIATE_TEST_SUITE_P(Fingerprints, JobOptions, ::testing::Values(64, 3),
                         [](const auto& info) { return "Bits" + std::to_string(info.param); });
