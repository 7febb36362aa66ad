// Sessions' locks: a write waits only for a transaction that wrote the same table; a read never
// sees another session's uncommitted rows; a circle of waits ends one of them with 1205; every
// rollback (a statement, a savepoint, a session that ends) puts the rows back.
#include "engine_support.h"

#include <chrono>
#include <future>
#include <thread>

namespace sandbox::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class LocksTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        other_ = std::make_unique<Engine>(*store_, "t");
    }
    void TearDown() override {
        other_.reset();
        EngineTest::TearDown();
    }
    std::vector<StatementResult> runOther(const std::string& sql) {
        RecordingSink sink;
        other_->executeBatch(sql, sink);
        return sink.results;
    }
    // The first error of a batch of the other session, 0 when none.
    int otherError(const std::string& sql) {
        for (const auto& r : runOther(sql))
            if (r.error) return r.error->number;
        return 0;
    }
    // Waits until n sessions wait for a lock (bounded: a test that never sees it fails).
    void untilWaiting(std::size_t n) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (store_->locks().waiting() < n && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        ASSERT_EQ(store_->locks().waiting(), n);
    }
    std::unique_ptr<Engine> other_;
};

TEST_F(LocksTest, WritesToOtherTablesGoOnWhileATransactionHoldsItsOwn) {
    ok("CREATE TABLE a (n int); CREATE TABLE b (n int); INSERT INTO a VALUES (0)");
    ok("BEGIN TRAN; INSERT INTO a VALUES (1); UPDATE a SET n = 10 WHERE n = 0");
    // LOCK_TIMEOUT 0: a statement that had to wait fails at once instead.
    EXPECT_EQ(otherError("SET LOCK_TIMEOUT 0; INSERT INTO b VALUES (1); UPDATE b SET n = 2; "
                         "SELECT n FROM b"),
              0);
    EXPECT_EQ(otherError("SET LOCK_TIMEOUT 0; INSERT INTO a VALUES (2)"), 1222);
    EXPECT_EQ(otherError("SET LOCK_TIMEOUT 0; SELECT COUNT(*) FROM a"), 1222)
        << "a read waits for the rows another transaction has not committed";
    EXPECT_EQ(rows("SELECT n FROM a ORDER BY n"), (Rows{{"1"}, {"10"}}));
    ok("ROLLBACK");
    EXPECT_EQ(rows("SELECT n FROM a"), (Rows{{"0"}}));
    EXPECT_EQ(rows("SELECT n FROM b"), (Rows{{"2"}})) << "the other session's work stays";
}

TEST_F(LocksTest, AWriteWaitsForTheTransactionThatWroteItsTableThenGoesOn) {
    ok("CREATE TABLE a (n int); BEGIN TRAN; INSERT INTO a VALUES (1)");
    auto waiter = std::async(std::launch::async, [&] {
        return otherError("SET LOCK_TIMEOUT -1; INSERT INTO a VALUES (2); SELECT n FROM a");
    });
    untilWaiting(1);
    ok("COMMIT");
    EXPECT_EQ(waiter.get(), 0);
    EXPECT_EQ(rows("SELECT n FROM a ORDER BY n"), (Rows{{"1"}, {"2"}}));
}

TEST_F(LocksTest, ACircleOfWaitsEndsOneTransactionWith1205) {
    ok("CREATE TABLE a (n int); CREATE TABLE b (n int)");
    ok("BEGIN TRAN; INSERT INTO a VALUES (1)");
    EXPECT_EQ(otherError("BEGIN TRAN; INSERT INTO b VALUES (1)"), 0);
    auto second = std::async(std::launch::async, [&] {
        return otherError("SET LOCK_TIMEOUT -1; INSERT INTO a VALUES (2)");
    });
    untilWaiting(1);
    auto r = run("SET LOCK_TIMEOUT -1; INSERT INTO b VALUES (2); SELECT 'after'");
    ASSERT_EQ(r.size(), 2u) << "the deadlock ends the batch";
    ASSERT_TRUE(r[1].error);
    EXPECT_EQ(r[1].error->number, 1205);
    EXPECT_EQ(second.get(), 0) << "the other goes on once the victim's locks are gone";
    EXPECT_EQ(rows("SELECT @@TRANCOUNT"), (Rows{{"0"}}));
    EXPECT_EQ(otherError("COMMIT"), 0);
    EXPECT_EQ(rows("SELECT (SELECT MAX(n) FROM a), (SELECT COUNT(*) FROM a), (SELECT MAX(n) FROM "
                   "b), (SELECT COUNT(*) FROM b)"),
              (Rows{{"2", "1", "1", "1"}}))
        << "the victim's transaction is rolled back, the other's committed";
}

// Updates, deletes and inserts, of a table with the store's row key too, come back as they were
// at a savepoint and at the transaction's start; so do a session's own tables.
TEST_F(LocksTest, RollbacksPutBackWhatTheTransactionChanged) {
    ok("CREATE TABLE k (id bigint, v varchar(10), d decimal(10, 2), b varbinary(4)); "
       "INSERT INTO k VALUES (1, 'one', 1.50, 0x01), (2, 'two', NULL, 0x0203); "
       "SELECT IDENTITY(bigint, 1, 1) AS rk, v INTO keyed FROM k; "
       "CREATE TABLE #t (n int); INSERT INTO #t VALUES (7)");
    const Rows before = rows("SELECT id, v, d, b FROM k ORDER BY id");
    ok("BEGIN TRAN; UPDATE k SET v = 'changed', d = 9, b = NULL WHERE id = 1; DELETE FROM k "
       "WHERE id = 2; INSERT INTO k VALUES (3, 'three', 3, 0x03); DELETE FROM keyed WHERE rk = 1; "
       "INSERT INTO keyed (v) VALUES ('new'); "
       "DELETE FROM #t; SAVE TRAN p; UPDATE k SET v = 'again'; INSERT INTO #t VALUES (8); "
       "ROLLBACK TRAN p");
    EXPECT_EQ(rows("SELECT v FROM k ORDER BY id"), (Rows{{"changed"}, {"three"}}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM #t"), (Rows{{"0"}}));
    ok("ROLLBACK");
    EXPECT_EQ(rows("SELECT id, v, d, b FROM k ORDER BY id"), before);
    EXPECT_EQ(rows("SELECT rk, v FROM keyed ORDER BY rk"), (Rows{{"1", "one"}, {"2", "two"}}));
    EXPECT_EQ(rows("SELECT n FROM #t"), (Rows{{"7"}}));
    // A session that ends with its transaction open leaves nothing of it behind.
    EXPECT_EQ(otherError("BEGIN TRAN; DELETE FROM k; INSERT INTO keyed (v) VALUES ('x')"), 0);
    other_.reset();
    EXPECT_EQ(rows("SELECT COUNT(*) FROM k"), (Rows{{"2"}}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM keyed"), (Rows{{"2"}}));
}

// A change of the schema inside a transaction holds the store's write lock to its end; a
// rollback undoes the schema and the rows written before it.
TEST_F(LocksTest, SchemaChangesInATransactionRollBackWithTheRowsBeforeThem) {
    ok("CREATE TABLE a (n int); CREATE TABLE old (n int); INSERT INTO old VALUES (5)");
    ok("BEGIN TRAN; INSERT INTO a VALUES (1); SAVE TRAN p; DROP TABLE old; "
       "SELECT n INTO copy FROM a; CREATE TABLE #t (n int)");
    EXPECT_EQ(otherError("SET LOCK_TIMEOUT 0; CREATE TABLE c (n int)"), 1222);
    ok("ROLLBACK TRAN p");
    EXPECT_EQ(rows("SELECT n FROM old"), (Rows{{"5"}}));
    EXPECT_EQ(rows("SELECT object_id('copy'), object_id('tempdb..#t'), COUNT(*) FROM a"),
              (Rows{{"NULL", "NULL", "1"}}));
    ok("DROP TABLE old; ROLLBACK");
    EXPECT_EQ(rows("SELECT (SELECT COUNT(*) FROM a), (SELECT COUNT(*) FROM old)"),
              (Rows{{"0", "1"}}));
    EXPECT_EQ(otherError("SET LOCK_TIMEOUT 0; CREATE TABLE c (n int); INSERT INTO a VALUES (1)"),
              0);
}

} // namespace
} // namespace sandbox::test
