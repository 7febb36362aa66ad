// A commit whose answer never comes, through a proxy that cuts the connection at the commit: the
// job asks the server afresh and says what it holds, made, not made or unknown.
#include "sandbox/odbc_support.h"
#include "support/proxy_process.h"

#include "dedupe/commit_check.h"
#include "dedupe/job.h"
#include "dedupe/sql_text.h"

#include <atomic>
#include <thread>

using namespace rowlark;
using namespace rowlark::test;

namespace {

struct Events : dedupe::JobEvents {
    std::vector<std::pair<int, std::string>> reports;
    std::vector<std::string> notices;
    std::atomic<bool> commitSent{false};
    void progress(const dedupe::Progress& p) override {
        if (p.commit == dedupe::Progress::Commit::Sent) commitSent = true;
    }
    void report(int line, const std::string& d) override { reports.emplace_back(line, d); }
    void notice(const std::string& text) override { notices.push_back(text); }
    void noDuplicates() override {}
    void showResult(std::shared_ptr<db::RecordSet>) override {}
    bool wantsResult() const override { return false; }
    bool replaceExisting(const std::string&) override { return true; }
};

struct Case {
    const char* name;
    bool removed = false;
    bool onServer = false;
    std::size_t runs = 64; // 0: the repeats are deleted from the copy, not left out by runs
    bool identity = false;
};

class LostCommit : public ::testing::Test {
protected:
    void SetUp() override { c = connect(sharedDatabase("commit")); }

    // A source with repeats, and an older table of the new name that the job is to replace.
    void make(const std::string& tag, bool identity = false) {
        c->execute("CREATE TABLE Src" + tag + " (" + (identity ? "Id int IDENTITY(1,1), " : "") +
                   "v nvarchar(5), k nvarchar(5))");
        c->execute("INSERT INTO Src" + tag +
                   " (v, k) VALUES (N'a', N'x'), (N'b', N'y'), (N'c', N'x'), (N'd', N'z'), "
                   "(N'e', N'y'), (N'f', N'x')");
        c->execute("CREATE TABLE Old" + tag + " (old int)");
        c->execute("INSERT INTO Old" + tag + " VALUES (7)");
    }
    dedupe::JobSettings settings(const std::string& tag, const QString& port, const Case& k = {}) {
        auto p = sandboxProfile(sharedDatabase("commit"));
        p.port = port;
        dedupe::JobSettings s;
        s.connectionString = shell::BuildConnectionString(p).toStdString();
        s.selectedTable = "Src" + tag;
        s.duplicateColumns = {"k"};
        s.newName = "Old" + tag;
        if (k.removed) s.removedInto = "Gone" + tag;
        s.onServer = k.onServer;
        s.maxLeftOutRuns = k.runs;
        s.timeoutSeconds = 30;
        s.loginTimeoutSeconds = 5;
        return s;
    }
    Rows values(const std::string& table) {
        return query(*c, "SELECT v FROM " + table + " ORDER BY v");
    }
    bool exists(const std::string& table) { return Exists(*c, table); }
    static QString support() { return ROWLARK_TEST_SUPPORT_DIR; }

    std::unique_ptr<db::Connection> c;
};

class LostAnswer : public LostCommit, public ::testing::WithParamInterface<Case> {};

} // namespace

// The server committed; its answer was thrown away and the connection closed. A fresh connection
// finds every table made as the transaction left it and the replaced table gone: made.
TEST_P(LostAnswer, IsToldMadeWhenTheServerHoldsTheNewTables) {
    const Case k = GetParam();
    const std::string tag = k.name;
    make(tag, k.identity);
    const auto before = query(*c, "SELECT * FROM Src" + tag + " ORDER BY v");
    ProxyProcess proxy(support(), sandboxPort(), {"--cut-commit", "answer"});
    Events e;
    const auto out = dedupe::RunJob(settings(tag, proxy.port(), k), e);
    EXPECT_TRUE(e.reports.empty()) << e.reports.front().second;
    EXPECT_TRUE(out.newTableMade);
    EXPECT_TRUE(out.commitConfirmed);
    EXPECT_FALSE(out.commitUnknown);
    EXPECT_EQ(out.newTableRows, 3u);
    ASSERT_EQ(e.notices.size(), 1u);
    EXPECT_NE(e.notices[0].find("answer to the commit was lost"), std::string::npos);
    EXPECT_EQ(values("Old" + tag), (Rows{{"a"}, {"b"}, {"d"}}));
    if (k.removed) {
        EXPECT_TRUE(out.removedTableMade);
        EXPECT_EQ(values("Gone" + tag), (Rows{{"c"}, {"e"}, {"f"}}));
    }
    EXPECT_EQ(query(*c, "SELECT * FROM Src" + tag + " ORDER BY v"), before);
}

INSTANTIATE_TEST_SUITE_P(Ways, LostAnswer,
                         ::testing::Values(Case{"Plain"}, Case{"Removed", true},
                                           Case{"OnServer", true, true},
                                           Case{"Deleted", false, false, 0},
                                           Case{"Identity", true, false, 64, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The connection closed before the server saw the commit: the server rolled back, and a fresh
// connection finds the old table as it was: not made, the failed step saying why.
TEST_F(LostCommit, ACommitTheServerNeverSawIsToldNotMade) {
    make("Unseen");
    ProxyProcess proxy(support(), sandboxPort(), {"--cut-commit", "request"});
    Events e;
    Case k;
    k.removed = true;
    const auto out = dedupe::RunJob(settings("Unseen", proxy.port(), k), e);
    EXPECT_FALSE(out.newTableMade);
    EXPECT_FALSE(out.commitUnknown);
    ASSERT_EQ(e.reports.size(), 1u);
    EXPECT_EQ(e.reports[0].first, 234);
    EXPECT_NE(e.reports[0].second.find("found nothing made"), std::string::npos);
    EXPECT_EQ(query(*c, "SELECT * FROM OldUnseen"), (Rows{{"7"}}));
    EXPECT_FALSE(exists("GoneUnseen"));
}

// After the cut nobody answers: the job cannot learn what happened and says so, with the
// statement that shows it, within the time it was given.
TEST_F(LostCommit, NoAnswerAfterwardsIsToldUnknownWithTheStatementToCheck) {
    make("Silent");
    ProxyProcess proxy(support(), sandboxPort(),
                       {"--cut-commit", "answer", "--after-cut", "refuse"});
    Events e;
    auto s = settings("Silent", proxy.port());
    s.commitCheckWithin = std::chrono::seconds(2);
    const auto started = std::chrono::steady_clock::now();
    const auto out = dedupe::RunJob(s, e);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    EXPECT_FALSE(out.newTableMade);
    EXPECT_TRUE(out.commitUnknown);
    EXPECT_NE(out.notMade.find("SELECT name, create_date FROM sys.tables WHERE name IN "
                               "(N'OldSilent')"),
              std::string::npos)
        << out.notMade;
    EXPECT_EQ(values("OldSilent"), (Rows{{"a"}, {"b"}, {"d"}})) << "the server did commit";
}

// The answer is held back and the connection stays open; the user stops the job. The cut ends
// the wait, and the fresh connection finds the table made: made, whatever the stop.
TEST_F(LostCommit, AStopWhileTheAnswerIsHeldIsToldWhatTheServerHolds) {
    make("Held");
    ProxyProcess proxy(support(), sandboxPort(), {"--cut-commit", "hold"});
    Events e;
    auto s = settings("Held", proxy.port());
    s.cancel = std::make_shared<db::CancelSwitch>(std::chrono::milliseconds(300));
    dedupe::JobOutcome out;
    std::thread job([&] { out = dedupe::RunJob(s, e); });
    while (!e.commitSent)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    s.cancel->pull();
    job.join();
    EXPECT_TRUE(out.newTableMade);
    EXPECT_TRUE(out.commitConfirmed);
    EXPECT_TRUE(e.reports.empty());
    EXPECT_EQ(values("OldHeld"), (Rows{{"a"}, {"b"}, {"d"}}));
}

// What the fresh connection's findings allow.
TEST(CommitJudge, MadeOnlyWhenEveryTableSaysSoAndTheOldOneIsGone) {
    using dedupe::CommitVerdict;
    using dedupe::Judge;
    using State = dedupe::TableState;
    const std::vector<std::string> cols = {"v", "k"};
    const State none;
    const dedupe::CommitTarget fresh{"New", none, {1001, cols, 3}};
    const dedupe::CommitTarget replacing{"Old", {1002, {"old"}, -1}, {1003, cols, 3}};
    // The server gave the new table the old one's id: the columns, or the rows, tell them apart.
    const dedupe::CommitTarget otherColumns{"Old", {1002, {"old"}, -1}, {1002, cols, 3}};
    const dedupe::CommitTarget otherRows{"Old", {1002, cols, 5}, {1002, cols, 3}};
    const dedupe::CommitTarget alike{"Old", {1002, cols, 3}, {1002, cols, 3}};
    EXPECT_EQ(Judge({fresh}, {{1001, cols, 3}}), CommitVerdict::Made);
    EXPECT_EQ(Judge({fresh}, {none}), CommitVerdict::NotMade);
    EXPECT_EQ(Judge({fresh}, {{1001, cols, 4}}), CommitVerdict::Unknown) << "rows added meanwhile";
    EXPECT_EQ(Judge({replacing}, {{1003, cols, 3}}), CommitVerdict::Made);
    EXPECT_EQ(Judge({replacing}, {{1002, {"old"}, 1}}), CommitVerdict::NotMade);
    EXPECT_EQ(Judge({replacing}, {none}), CommitVerdict::Unknown);
    EXPECT_EQ(Judge({otherColumns}, {{1002, cols, 3}}), CommitVerdict::Made);
    EXPECT_EQ(Judge({otherColumns}, {{1002, {"old"}, 1}}), CommitVerdict::NotMade);
    EXPECT_EQ(Judge({otherRows}, {{1002, cols, 3}}), CommitVerdict::Made);
    EXPECT_EQ(Judge({otherRows}, {{1002, cols, 5}}), CommitVerdict::NotMade);
    EXPECT_EQ(Judge({alike}, {{1002, cols, 3}}), CommitVerdict::Unknown);
    EXPECT_EQ(Judge({alike, fresh}, {{1002, cols, 3}, {1001, cols, 3}}), CommitVerdict::Made)
        << "the other table decides";
    EXPECT_EQ(Judge({replacing, fresh}, {{1003, cols, 3}, none}), CommitVerdict::Unknown)
        << "one made and one not: not one transaction's doing";
}
