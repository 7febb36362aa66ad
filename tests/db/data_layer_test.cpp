// The data layer on its own: the block reader against the sandbox's types, NULLs, wide text and
// block boundaries, and the cancel switch against a server that stops answering in a login and
// in a statement (a proxy that stops passing the server's answers, the cancel's too).
#include "sandbox/odbc_support.h"
#include "support/proxy_process.h"

#include "db/block_reader.h"
#include "db/cancel.h"
#include "db/sockets.h"
#include "shell/connection_profile.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>

using namespace rowlark;
using namespace rowlark::test;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

std::string textAt(const db::BlockReader& rows, std::size_t column, std::size_t row) {
    const auto t = rows.text(column, row);
    return db::fromWide(t.data(), t.size());
}

class BlockReaderTest : public ::testing::Test {
protected:
    void SetUp() override { c = connect(sharedDatabase("datalayer")); }
    std::unique_ptr<db::Connection> c;
};

} // namespace

TEST_F(BlockReaderTest, TypesNullsAndWideTextAsTheKeysNeedThem) {
    c->execute("CREATE TABLE Kinds (i int, b bigint, s smallint, t tinyint, f float, r real, "
               "d decimal(10,2), n nvarchar(20), v varchar(10))");
    c->execute("INSERT INTO Kinds VALUES (-7, 9007199254740993, -32768, 255, 0.1, 2.5, 12.30, "
               "N'\xe4\xb8\xad\xf0\x9f\x98\x80 x', 'abc'), "
               "(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL), "
               "(0, 0, 0, 0, 0, 0, 0, N'', '')");
    db::Statement st(*c);
    st.execute("SELECT * FROM Kinds");
    ASSERT_TRUE(db::BlockReader::CanRead(st));
    db::BlockReader rows(st);
    using Kind = db::BlockReader::Kind;
    const std::vector<Kind> kinds = {Kind::Integer, Kind::Integer, Kind::Integer,
                                     Kind::Integer, Kind::Real,    Kind::Real,
                                     Kind::Text,    Kind::Text,    Kind::Text};
    ASSERT_EQ(rows.columns(), kinds.size());
    for (std::size_t i = 0; i < kinds.size(); ++i)
        EXPECT_EQ(rows.kind(i), kinds[i]) << "column " << i;
    ASSERT_EQ(rows.next(), 3u);
    EXPECT_EQ(rows.integer(0, 0), -7);
    EXPECT_EQ(rows.integer(1, 0), 9007199254740993) << "a bigint a double could not hold";
    EXPECT_EQ(rows.integer(2, 0), -32768);
    EXPECT_EQ(rows.integer(3, 0), 255);
    EXPECT_DOUBLE_EQ(rows.real(4, 0), 0.1);
    EXPECT_DOUBLE_EQ(rows.real(5, 0), 2.5);
    EXPECT_EQ(textAt(rows, 6, 0), "12.30");
    EXPECT_EQ(textAt(rows, 7, 0), "\xe4\xb8\xad\xf0\x9f\x98\x80 x") << "a character past 16 bits";
    EXPECT_EQ(textAt(rows, 8, 0), "abc");
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_TRUE(rows.null(i, 1)) << "column " << i;
        EXPECT_FALSE(rows.null(i, 2)) << "zero and the empty text are values, column " << i;
    }
    EXPECT_EQ(textAt(rows, 7, 2), "");
    EXPECT_EQ(rows.next(), 0u);
    EXPECT_EQ(rows.next(), 0u) << "and stays at the end";
}

TEST_F(BlockReaderTest, RowsAcrossBlockBoundariesComeOnceAndInOrder) {
    c->execute("CREATE TABLE Many (k int, w nvarchar(8))");
    std::string values;
    for (int i = 1; i <= 40; ++i)
        values += (i > 1 ? ", (" : "(") + std::to_string(i) + ", N'w" + std::to_string(i) + "')";
    c->execute("INSERT INTO Many VALUES " + values);
    db::Statement st(*c);
    st.execute("SELECT k, w FROM Many ORDER BY k");
    db::BlockReader rows(st, 16);
    std::vector<std::size_t> blocks;
    std::vector<std::int64_t> seen;
    for (std::size_t n; (n = rows.next()) > 0;) {
        blocks.push_back(n);
        for (std::size_t r = 0; r < n; ++r) {
            seen.push_back(rows.integer(0, r));
            EXPECT_EQ(textAt(rows, 1, r), "w" + std::to_string(rows.integer(0, r)));
        }
    }
    EXPECT_EQ(blocks, (std::vector<std::size_t>{16, 16, 8}));
    ASSERT_EQ(seen.size(), 40u);
    for (std::size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], static_cast<std::int64_t>(i + 1));
}

TEST_F(BlockReaderTest, ALongColumnIsLeftToTheStatementsOwnReads) {
    c->execute("CREATE TABLE Longs (k int, notes nvarchar(max))");
    db::Statement st(*c);
    st.execute("SELECT k, notes FROM Longs");
    EXPECT_FALSE(db::BlockReader::CanRead(st));
}

namespace {

// A connection through a proxy that stops passing the server's answers at a chosen point, and a
// log that says when it has.
class StalledServerTest : public ::testing::Test {
protected:
    void startProxy(const QStringList& options) {
        log_ = dir_.filePath("proxy.log").toStdString();
        proxy_ = std::make_unique<ProxyProcess>(
            ROWLARK_TEST_SUPPORT_DIR, sandboxPort(),
            options + QStringList{"--log", dir_.filePath("proxy.log")});
    }
    std::string proxied() const {
        shell::ConnectionProfile p = sandboxProfile(sharedDatabase("datalayer"));
        p.port = proxy_->port();
        return shell::BuildConnectionString(p).toStdString();
    }
    // Waits until the proxy has gone silent: the program is now waiting on it.
    bool proxyStalled() const {
        const auto until = Clock::now() + 20s;
        while (Clock::now() < until) {
            std::ifstream f(log_);
            for (std::string line; std::getline(f, line);)
                if (line.rfind("stalled", 0) == 0) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    // A statement the proxy never answers, and the switch pulled `pulls` times once the proxy is
    // silent: the statement must give up within a few seconds of the first pull, whatever the
    // grace after it.
    std::unique_ptr<db::Connection> stalledStatement(std::shared_ptr<db::CancelSwitch> cancel,
                                                     int pulls) {
        startProxy({"--stall-on", "SELECT 4242"});
        auto c = std::make_unique<db::Connection>();
        c->setCancelSwitch(cancel);
        c->setLoginTimeout(10);
        c->open(proxied());
        auto statement = inThread([&] { c->execute("SELECT 4242 AS never"); });
        EXPECT_TRUE(proxyStalled());
        const auto pulled = Clock::now();
        for (int i = 0; i < pulls; ++i)
            cancel->pull();
        EXPECT_EQ(statement.wait_for(20s), std::future_status::ready) << "the statement waits on";
        EXPECT_NE(statement.get(), "no error");
        EXPECT_LT(Clock::now() - pulled, 5s);
        return c;
    }
    template <class F> static std::future<std::string> inThread(F work) {
        return std::async(std::launch::async, [work] {
            try {
                work();
                return std::string("no error");
            } catch (const db::OdbcError& e) {
                return e.description();
            }
        });
    }

    QTemporaryDir dir_;
    std::string log_;
    std::unique_ptr<ProxyProcess> proxy_;
};

} // namespace

TEST_F(StalledServerTest, APullDuringALoginEndsItAfterTheGrace) {
    startProxy({"--stall", "1:1"}); // the pre-login is answered, the login never
    auto cancel = std::make_shared<db::CancelSwitch>(300ms);
    db::Connection c;
    c.setCancelSwitch(cancel);
    c.setLoginTimeout(60);
    auto login = inThread([&] { c.open(proxied()); });
    ASSERT_TRUE(proxyStalled());
    const auto pulled = Clock::now();
    cancel->pull();
    ASSERT_EQ(login.wait_for(20s), std::future_status::ready) << "the login still waits";
    EXPECT_NE(login.get(), "no error");
    EXPECT_LT(Clock::now() - pulled, 5s) << "a 60-second login time-out, ended by the cut";
    EXPECT_FALSE(c.isOpen());
}

TEST_F(StalledServerTest, APullDuringAStatementEndsItAndFailsTheNextAtOnce) {
    auto cancel = std::make_shared<db::CancelSwitch>(300ms);
    auto c = stalledStatement(cancel, 1);
    try {
        c->execute("SELECT 1");
        ADD_FAILURE() << "a statement after the pull ran";
    } catch (const db::OdbcError& e) {
        EXPECT_EQ(e.sqlState(), "HY008");
    }
}

TEST_F(StalledServerTest, ASecondPullCutsWithoutTheGrace) {
    auto cancel = std::make_shared<db::CancelSwitch>(60s);
    stalledStatement(cancel, 2);
    EXPECT_TRUE(cancel->insisted());
}

// Where no socket of a waiting login can be found to cut (always so on Windows), the switch tells
// its owner once the grace is over, and only then; with a wait that ended, it tells nobody.
namespace {
// Shared with the switches' own threads, which may outlive the test.
struct Tellings {
    std::mutex m;
    std::condition_variable told;
    int count = 0;
    std::function<void()> recorder() {
        return [self = this] {
            std::lock_guard lock(self->m);
            ++self->count;
            self->told.notify_all();
        };
    }
    bool waitFor(int n) {
        std::unique_lock lock(m);
        return told.wait_for(lock, 10s, [&] { return count >= n; });
    }
};
} // namespace

TEST(CancelSwitch, TellsItsOwnerOfAWaitItCannotCut) {
    static Tellings waitingTold, idleTold; // outlive the switches' threads
    auto waiting = std::make_shared<db::CancelSwitch>(200ms);
    waiting->setUnanswered(waitingTold.recorder());
    waiting->enterLogin(db::sockets::Connected()); // a login that opened no socket yet
    const auto pulled = Clock::now();
    waiting->pull();
    ASSERT_TRUE(waitingTold.waitFor(1));
    EXPECT_GE(Clock::now() - pulled, 200ms) << "not before the grace";
    auto follower = waiting->follower();
    follower->enterLogin(db::sockets::Connected());
    waiting->pull(); // insists: the follower is pulled twice and cannot cut either
    EXPECT_TRUE(waitingTold.waitFor(3)) << "the second pull and the follower tell at once";

    auto ended = std::make_shared<db::CancelSwitch>(50ms);
    ended->setUnanswered(idleTold.recorder());
    ended->enterLogin(db::sockets::Connected());
    ended->leaveLogin();
    ended->pull();
    ended->pull(); // the cut comes at once now, and finds nothing waiting
    EXPECT_EQ(idleTold.count, 0);
}
