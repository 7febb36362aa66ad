// Statements clients send to load and page data: SET IDENTITY_INSERT with its rules, TOP PERCENT,
// INSERT BULK with its rows, SET FMTONLY.
#include "engine_support.h"

#include "tds/bulkload.h"

namespace sandbox::test {

using Rows = std::vector<std::vector<std::string>>;

TEST_F(EngineTest, IdentityInsertTakesExplicitValuesUnderItsRules) {
    ok("CREATE TABLE o (id int IDENTITY(1,1) NOT NULL, v nvarchar(5)); "
       "CREATE TABLE p (id int IDENTITY(1,1), w int); CREATE TABLE plain (x int);"
       "INSERT INTO o (v) VALUES (N'a')");
    EXPECT_EQ(fails("INSERT INTO o (id, v) VALUES (5, N'x')").number, 544);
    ok("SET IDENTITY_INSERT o ON");
    EXPECT_EQ(fails("INSERT INTO o VALUES (6, N'x')").number, 8101) << "no column list";
    EXPECT_EQ(fails("INSERT INTO o (v) VALUES (N'x')").number, 545) << "identity left out";
    EXPECT_EQ(fails("SET IDENTITY_INSERT p ON").number, 8107) << "one table at a time";
    EXPECT_EQ(fails("SET IDENTITY_INSERT plain ON").number, 8106);
    EXPECT_EQ(fails("SET IDENTITY_INSERT nothere ON").number, 1088);
    ok("INSERT INTO o (id, v) VALUES (10, N'ten'), (7, N'seven')");
    ok("SET IDENTITY_INSERT dbo.o OFF");
    ok("INSERT INTO o (v) VALUES (N'next')");
    EXPECT_EQ(rows("SELECT id, v FROM o ORDER BY id"),
              (Rows{{"1", "a"}, {"7", "seven"}, {"10", "ten"}, {"11", "next"}}))
        << "the next value goes past the highest explicit one";
    EXPECT_EQ(fails("INSERT INTO o (id, v) VALUES (12, N'x')").number, 544) << "off again";
    ok("SET IDENTITY_INSERT p ON; INSERT INTO p (id, w) SELECT id, 0 FROM o; "
       "SET IDENTITY_INSERT p OFF; INSERT INTO p (w) VALUES (1)");
    EXPECT_EQ(rows("SELECT MAX(id), COUNT(*) FROM p"), (Rows{{"12", "5"}}));
}

TEST_F(EngineTest, TopPercentTakesAShareOfTheRowsRoundedUp) {
    ok("CREATE TABLE r (n int); INSERT INTO r VALUES (1), (2), (3), (4), (5), (6), (7)");
    EXPECT_EQ(rows("SELECT TOP 30 PERCENT n FROM r ORDER BY n DESC"), (Rows{{"7"}, {"6"}, {"5"}}));
    EXPECT_EQ(rows("SELECT TOP (50) PERCENT n FROM r WHERE n > 3 ORDER BY n"),
              (Rows{{"4"}, {"5"}}));
    EXPECT_EQ(rows("SELECT TOP 0 PERCENT n FROM r"), (Rows{}));
    EXPECT_EQ(rows("SELECT TOP 100 PERCENT n FROM r").size(), 7u);
    EXPECT_EQ(fails("SELECT TOP 101 PERCENT n FROM r").number, 1031);
    EXPECT_EQ(rows("DECLARE @p int = 15; SELECT TOP (@p) PERCENT n FROM r ORDER BY n"),
              (Rows{{"1"}, {"2"}}));
    EXPECT_EQ(rows("DECLARE @p int = 1; SELECT TOP (@p) n FROM r ORDER BY n DESC"), (Rows{{"7"}}));
}

namespace {

tds::BulkLoad rowsOf(std::vector<std::vector<tds::Value>> rows) {
    tds::BulkLoad b;
    b.columns = {{{tds::kIntN, 4}, tds::kFlagNullable, u"id"},
                 {{tds::kNVarChar, 20}, tds::kFlagNullable, u"name"},
                 {{tds::kDecimalN, 5, 9, 2}, tds::kFlagNullable, u"price"}};
    b.rows = std::move(rows);
    return b;
}

} // namespace

TEST_F(EngineTest, InsertBulkTakesTheRowsThatFollowAllOrNone) {
    ok("CREATE TABLE b (id int IDENTITY(1,1), name nvarchar(20) NOT NULL, price decimal(9,2))");
    RecordingSink sink;
    ok("INSERT BULK b (id int, name nvarchar(20), price decimal(9,2)) WITH (TABLOCK)");
    engine_->bulkLoad(rowsOf({{std::int64_t{50}, std::u16string(u"Äpfel"), tds::Decimal{1250}},
                              {std::int64_t{60}, std::u16string(u"it's"), tds::Value{}}}),
                      sink);
    ASSERT_EQ(sink.results.size(), 1u);
    ASSERT_FALSE(sink.results[0].error) << sink.results[0].error->message;
    EXPECT_EQ(sink.results[0].count, 2u);
    EXPECT_EQ(rows("SELECT id, name, price FROM b"),
              (Rows{{"1", "Äpfel", "1250"}, {"2", "it's", "NULL"}}))
        << "without KEEP_IDENTITY the table numbers the rows";

    ok("INSERT BULK dbo.b (id int, name nvarchar(20), price decimal(9,2)) WITH (KEEP_IDENTITY)");
    RecordingSink kept;
    engine_->bulkLoad(rowsOf({{std::int64_t{50}, std::u16string(u"x"), tds::Value{}}}), kept);
    EXPECT_EQ(rows("SELECT MAX(id) FROM b"), (Rows{{"50"}}));

    // A NULL in a NOT NULL column: the error, and none of the load's rows.
    ok("INSERT BULK b (id int, name nvarchar(20), price decimal(9,2))");
    RecordingSink refused;
    engine_->bulkLoad(rowsOf({{tds::Value{}, std::u16string(u"y"), tds::Value{}},
                              {tds::Value{}, tds::Value{}, tds::Value{}}}),
                      refused);
    ASSERT_TRUE(refused.results.at(0).error);
    EXPECT_EQ(refused.results[0].error->number, 515);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM b"), (Rows{{"3"}}));

    RecordingSink unasked;
    engine_->bulkLoad(rowsOf({}), unasked);
    EXPECT_EQ(unasked.results.at(0).error->number, 40000) << "rows without INSERT BULK";
    EXPECT_EQ(fails("INSERT BULK nothere (a int)").number, 208);
    EXPECT_EQ(fails("INSERT BULK b (nope int)").number, 207);
}

// Variables of a batch: DECLARE, SET and SELECT give them values; a call's parameters come in as
// variables and are read wherever the statement names them, not inside strings or names.
TEST_F(EngineTest, VariablesOfTheBatchAndOfACallsParameters) {
    ok("CREATE TABLE t ([@k] int, n nvarchar(5)); INSERT INTO t VALUES (1, N'b'), (2, N'a')");
    Variables params;
    params["@k"] = {SqlType{BaseType::Int}, std::int64_t{42}};
    params["@name"] = {SqlType{BaseType::NVarChar, 10}, std::u16string(u"it's")};
    params["@when"] = {SqlType{BaseType::DateTime}, std::u16string(u"2024-02-29 13:05:07")};
    RecordingSink sink;
    engine_->executeBatch("SELECT @k, @NAME, '@k' /* @k */, [@k], @when FROM t WHERE [@k] = 1",
                          sink, params);
    ASSERT_EQ(sink.results.size(), 1u);
    ASSERT_FALSE(sink.results[0].error) << sink.results[0].error->message;
    const auto& r = sink.results[0];
    EXPECT_EQ(text(r.rows.at(0).at(0)), "42");
    EXPECT_EQ(text(r.rows.at(0).at(1)), "it's");
    EXPECT_EQ(text(r.rows.at(0).at(2)), "@k");
    EXPECT_EQ(text(r.rows.at(0).at(3)), "1");
    EXPECT_EQ(r.columns.at(0).type, (tds::TypeInfo{tds::kIntN, 4}));
    EXPECT_EQ(r.columns.at(4).type, (tds::TypeInfo{tds::kDateTimN, 8}));

    EXPECT_EQ(rows("DECLARE @x int = 5, @s nvarchar(3); SET @x = @x + 1; "
                   "SELECT @s = n FROM t ORDER BY n DESC; SELECT @x, @s, @x / 4"),
              (Rows{{"6", "a", "1"}}))
        << "SELECT assigns the last row's value";
    EXPECT_EQ(rows("DECLARE @c bigint; SELECT @c = COUNT(*) FROM t WHERE n = N'A'; SELECT @c"),
              (Rows{{"1"}}));
    EXPECT_EQ(rows("DECLARE @d nvarchar(2) = N'abcdef', @c char(3) = 'abcdef', @p nchar(3) = "
                   "N'x'; SELECT @d, @c, @p + N'|'"),
              (Rows{{"ab", "abc", "x  |"}}))
        << "a longer value is cut to the variable's type, a char(n) padded";
    EXPECT_EQ(fails("SELECT @nope").number, 137);
    EXPECT_EQ(fails("DECLARE @a int; DECLARE @A int").number, 134);
    EXPECT_EQ(fails("DECLARE @i int; SET @i = 'abc'").number, 245);
    ok("DECLARE @v int = 7; INSERT INTO t ([@k], n) VALUES (@v, N'z')");
    EXPECT_EQ(rows("SELECT n FROM t WHERE [@k] = 7"), (Rows{{"z"}}));
}

TEST_F(EngineTest, FmtOnlyDescribesWithoutRowsOrChanges) {
    ok("CREATE TABLE f (a int, b nvarchar(5)); INSERT INTO f VALUES (1, N'x')");
    const auto r = run("SET FMTONLY ON; SELECT * FROM f; DELETE FROM f; SET FMTONLY OFF");
    ASSERT_GE(r.size(), 2u);
    EXPECT_EQ(r[1].columns.size(), 2u);
    EXPECT_TRUE(r[1].rows.empty());
    EXPECT_EQ(rows("SELECT COUNT(*) FROM f"), (Rows{{"1"}}));
}

} // namespace sandbox::test

namespace sandbox::test {

// A conversion error ends the batch and rolls back its transaction; under XACT_ABORT ON any
// error does, where without it a duplicate key ends only its statement.
TEST_F(EngineTest, ConversionErrorsAndXactAbortEndTheBatchAndTheTransaction) {
    ok("CREATE TABLE x (a int PRIMARY KEY)");
    auto r = run("BEGIN TRAN; INSERT INTO x VALUES (1); SELECT CAST('a' AS int); "
                 "INSERT INTO x VALUES (2); COMMIT");
    ASSERT_EQ(r.size(), 3u) << "nothing runs after the conversion error";
    EXPECT_EQ(r[2].error->number, 245);
    EXPECT_EQ(rows("SELECT COUNT(*), @@TRANCOUNT FROM x"), (Rows{{"0", "0"}}));
    r = run("BEGIN TRAN; INSERT INTO x VALUES (1); INSERT INTO x VALUES (1); "
            "INSERT INTO x VALUES (2); COMMIT");
    ASSERT_EQ(r.size(), 5u) << "a duplicate key ends its statement only";
    EXPECT_EQ(rows("SELECT COUNT(*) FROM x"), (Rows{{"2"}}));
    r = run("SET XACT_ABORT ON; BEGIN TRAN; INSERT INTO x VALUES (3); INSERT INTO x VALUES (1); "
            "INSERT INTO x VALUES (4); COMMIT");
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[3].error->number, 2627);
    EXPECT_EQ(rows("SELECT COUNT(*), @@TRANCOUNT FROM x"), (Rows{{"2", "0"}}))
        << "the transaction's first insert is rolled back too";
}

} // namespace sandbox::test

namespace sandbox::test {

// A call (sp_executesql, a prepared statement) is a scope: its #temp tables end with it; the
// session's own stay.
TEST_F(EngineTest, TemporaryTablesOfACallEndWithIt) {
    ok("CREATE TABLE #session (a int)");
    RecordingSink sink;
    engine_->executeBatch("CREATE TABLE #inner (a int); INSERT INTO #inner VALUES (1); "
                          "SELECT a FROM #inner",
                          sink, {}, true);
    ASSERT_EQ(sink.results.size(), 3u);
    EXPECT_FALSE(sink.results[2].error);
    EXPECT_EQ(fails("SELECT a FROM #inner").number, 208);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM #session"), (Rows{{"0"}}));
}

} // namespace sandbox::test

namespace sandbox::test {

// A transaction that has only read blocks no writer, and reads what others committed; its first
// write takes the lock, and its rollback undoes it.
TEST_F(EngineTest, ATransactionThatHasOnlyReadBlocksNoWriter) {
    ok("CREATE TABLE r (a int); CREATE TABLE w (a int)");
    ok("BEGIN TRAN; SELECT COUNT(*) FROM r");
    Engine other(*store_, "t");
    RecordingSink sink;
    other.executeBatch("INSERT INTO w VALUES (1); INSERT INTO r VALUES (1)", sink);
    ASSERT_EQ(sink.results.size(), 2u);
    EXPECT_FALSE(sink.results[0].error);
    EXPECT_FALSE(sink.results[1].error);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM r"), (Rows{{"1"}})) << "what the other committed";
    ok("INSERT INTO r VALUES (2); ROLLBACK");
    EXPECT_EQ(rows("SELECT COUNT(*), @@TRANCOUNT FROM r"), (Rows{{"1", "0"}}));
}

} // namespace sandbox::test

namespace sandbox::test {

// A write that waits for another session's transaction ends after LOCK_TIMEOUT with 1222.
TEST_F(EngineTest, AWaitForALockEndsAtTheLockTimeout) {
    ok("CREATE TABLE lt (a int); BEGIN TRAN; INSERT INTO lt VALUES (1)");
    Engine other(*store_, "t");
    RecordingSink sink;
    other.executeBatch("SET LOCK_TIMEOUT 100; INSERT INTO lt VALUES (2)", sink);
    ASSERT_EQ(sink.results.size(), 2u);
    ASSERT_TRUE(sink.results[1].error);
    EXPECT_EQ(sink.results[1].error->number, 1222);
    ok("COMMIT");
}

} // namespace sandbox::test

namespace sandbox::test {

// CREATE, DROP, ALTER, TRUNCATE, SET, SAVE and SANDBOX read through the parser; their syntax
// errors name what they named before: the keyword where the statement names one, "end of
// statement" past its end, nothing where a part of its own (a type, a query) is missing.
TEST_F(EngineTest, StatementSyntaxErrorsNameTheSameWords) {
    ok("CREATE TABLE s (id int IDENTITY, v nvarchar(5))");
    const std::pair<const char*, const char*> cases[] = {
        {"CREATE", "CREATE"},
        {"CREATE TABLE x (a int", "end of statement"},
        {"CREATE TABLE x (a int) junk", "junk"},
        {"CREATE TABLE x (a int, CONSTRAINT", "CONSTRAINT"},
        {"CREATE TABLE x (a int IDENTITY(1,", "end of statement"},
        {"ALTER TABLE s ADD a", ""},
        {"CREATE VIEW v (x AS SELECT 1", "end of statement"},
        {"CREATE VIEW v AS", ""},
        {"CREATE VIEW v x AS SELECT 1", "x"},
        {"CREATE DATABASE d x", "DATABASE"},
        {"CREATE INDEX 'i' ON s (v)", "INDEX"},
        {"CREATE INDEX i s (v)", "i"},
        {"CREATE INDEX i ON s v", "s"},
        {"CREATE INDEX i ON s (v", "end of statement"},
        {"CREATE INDEX i ON s (v) WHERE", ""},
        {"DROP", "DROP"},
        {"DROP INDEX s.", "s"},
        {"DROP TABLE s t", "t"},
        {"TRUNCATE s", "TRUNCATE"},
        {"SET IDENTITY_INSERT s ON x", "ON"},
        {"SET IDENTITY_INSERT s", "s"},
        {"SAVE TRAN", "TRAN"},
        {"SANDBOX FAULT DELAY", "SANDBOX"},
        {"SANDBOX FAULT DROP ON x", "x"},
        // a key's columns are names: an expression there made an expression index before
        {"CREATE TABLE x (a int, PRIMARY KEY (a, 5))", "5"},
        {"CREATE INDEX i ON s ((v))", "("},
    };
    for (const auto& [sql, near] : cases) {
        const SqlError e = fails(sql);
        EXPECT_EQ(e.number, 102) << sql;
        EXPECT_EQ(e.message, std::string("Incorrect syntax near '") + near + "'.") << sql;
    }
    EXPECT_EQ(rows("SELECT COUNT(*) FROM sys.objects WHERE name = N'x'"), (Rows{{"0"}}));
}

} // namespace sandbox::test
