// Several connections, cancels and transactions through the driver.
#include "odbc_support.h"

#include <thread>

using namespace rowlark;
using namespace rowlark::test;

TEST(SandboxSessions, TwoConnectionsAtOnce) {
    const std::string dbName = sharedDatabase("sessions");
    auto a = connect(dbName);
    auto b = connect(dbName);
    a->execute("CREATE TABLE Pair (n int)");
    a->execute("INSERT INTO Pair VALUES (1), (2), (3)");
    // a keeps a result open, as a bound preview grid does, while b writes
    db::Statement preview(*a);
    preview.execute("SELECT n FROM Pair");
    std::vector<db::Value> row;
    ASSERT_TRUE(preview.fetch(row));
    b->execute("SELECT * INTO [PairCopy] From [Pair]");
    b->execute("INSERT INTO Pair VALUES (4)");
    EXPECT_EQ(query(*b, "SELECT count(*) FROM PairCopy"), (Rows{{"3"}}));
    std::size_t rest = 0;
    while (preview.fetch(row))
        ++rest;
    EXPECT_GE(rest, 2u);
}

TEST(SandboxSessions, ManyClientsInParallel) {
    const std::string dbName = sharedDatabase("sessions");
    connect(dbName)->execute("CREATE TABLE Par (t int, i int)");
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            try {
                auto c = connect(dbName);
                for (int i = 0; i < 20; ++i)
                    c->execute("INSERT INTO Par VALUES (" + std::to_string(t) + ", " +
                               std::to_string(i) + ")");
            } catch (const std::exception& e) {
                ++failures;
                ADD_FAILURE() << e.what();
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(query(*connect(dbName), "SELECT count(*) FROM Par"), (Rows{{"80"}}));
}

TEST(SandboxSessions, ClosingAnUnreadResultCancelsAndTheConnectionGoesOn) {
    const std::string dbName = sharedDatabase("sessions");
    auto c = connect(dbName);
    c->execute("CREATE TABLE Many (n int); INSERT INTO Many VALUES (1), (2)");
    for (int i = 0; i < 15; ++i)
        c->execute("INSERT INTO Many SELECT n FROM Many");
    {
        db::Statement st(*c);
        st.execute("SELECT n FROM Many");
        std::vector<db::Value> row;
        ASSERT_TRUE(st.fetch(row));
        st.close();
    }
    EXPECT_EQ(query(*c, "SELECT count(*) FROM Many"), (Rows{{"65536"}}));
}

TEST(SandboxSessions, ManualTransactionRollsBack) {
    const std::string dbName = sharedDatabase("sessions");
    auto c = connect(dbName);
    c->execute("CREATE TABLE Tx (n int)");
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(
        c->handle(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
    c->execute("INSERT INTO Tx VALUES (1)");
    ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, c->handle(), SQL_ROLLBACK)));
    c->execute("INSERT INTO Tx VALUES (2)");
    ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, c->handle(), SQL_COMMIT)));
    SQLSetConnectAttr(c->handle(), SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    EXPECT_EQ(query(*connect(dbName), "SELECT n FROM Tx"), (Rows{{"2"}}));
}

TEST(SandboxSessions, ADatabaseInUseIsNotDropped) {
    const std::string name = freshDatabase("inuse");
    auto user = connect(name);
    auto admin = connect("master");
    try {
        admin->execute("DROP DATABASE [" + name + "]");
        FAIL() << "dropped while in use";
    } catch (const db::OdbcError& e) {
        EXPECT_EQ(e.records().at(0).nativeError, 3702);
    }
    user->execute("CREATE TABLE StillHere (a int)");
    user.reset();
    for (int i = 0; i < 50; ++i) { // the session ends as its connection closes
        try {
            admin->execute("DROP DATABASE [" + name + "]");
            return;
        } catch (const db::OdbcError&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    FAIL() << "not dropped once no session used it";
}

namespace {

int nativeError(db::Connection& c, const std::string& sql) {
    try {
        c.execute(sql);
    } catch (const db::OdbcError& e) {
        return e.records().at(0).nativeError;
    }
    return 0;
}

void autocommit(db::Connection& c, bool on) {
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(
        c.handle(), SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0)));
}

} // namespace

// A transaction that has written one table keeps other sessions from that table only: their
// writes to other tables, and a reading transaction's, go through at once (LOCK_TIMEOUT 0 makes
// any wait an error 1222).
TEST(SandboxSessions, AnOpenTransactionLocksOnlyTheTableItWrote) {
    const std::string dbName = sharedDatabase("sessions");
    auto writer = connect(dbName);
    auto other = connect(dbName);
    writer->execute("CREATE TABLE LockedA (n int); CREATE TABLE FreeB (n int)");
    other->execute("SET LOCK_TIMEOUT 0");
    autocommit(*other, false);
    EXPECT_EQ(query(*other, "SELECT COUNT(*) FROM FreeB"), (Rows{{"0"}}));
    autocommit(*writer, false);
    writer->execute("INSERT INTO LockedA VALUES (1)");
    EXPECT_EQ(nativeError(*other, "INSERT INTO FreeB VALUES (1)"), 0)
        << "a write to another table does not wait";
    EXPECT_EQ(nativeError(*other, "INSERT INTO LockedA VALUES (2)"), 1222);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, other->handle(), SQL_COMMIT)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, writer->handle(), SQL_ROLLBACK)));
    autocommit(*writer, true);
    autocommit(*other, true);
    EXPECT_EQ(nativeError(*other, "INSERT INTO LockedA VALUES (3)"), 0);
    EXPECT_EQ(query(*writer, "SELECT (SELECT MAX(n) FROM LockedA), (SELECT MAX(n) FROM FreeB)"),
              (Rows{{"3", "1"}}))
        << "the rollback undid the writer's row only";
}

// An expression nested far too deep, as a client may send it, is an error for that statement;
// the connection and the server go on.
TEST(SandboxSessions, AnExpressionNestedTooDeepIsRefusedAndTheConnectionGoesOn) {
    auto c = connect(sharedDatabase("sessions"));
    for (int depth : {35'000, 50'000, 100'000}) {
        const std::string deep = std::string(depth, '(') + "1" + std::string(depth, ')');
        EXPECT_EQ(nativeError(*c, "SELECT " + deep), 191) << depth;
        EXPECT_EQ(nativeError(*c, "SELECT 1 WHERE 1 = -" + deep), 191) << depth;
        EXPECT_EQ(query(*c, "SELECT 2"), (Rows{{"2"}})) << depth;
    }
    std::string chain = "SELECT 1"; // as deep as it is long
    for (int i = 0; i < 100'000; ++i)
        chain += " + 1";
    EXPECT_EQ(nativeError(*c, chain), 191);
    EXPECT_EQ(query(*connect(sharedDatabase("sessions")), "SELECT 3"), (Rows{{"3"}}));
}
