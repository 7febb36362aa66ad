// The T-SQL engine on its own: statements, types, identity, errors and batches, without a network.
#include "engine_support.h"

#include "tds/wire.h"

namespace sandbox::test {

using Rows = std::vector<std::vector<std::string>>;

TEST_F(EngineTest, TypesKeepTheirDeclarationOnTheWire) {
    ok("CREATE TABLE [All] (a tinyint, b smallint, c int, d bigint, e bit, f decimal(12,3), g "
       "numeric(5,0), "
       "h float, i real, j money, k char(4), l varchar(10), m nchar(3), n nvarchar(20), o "
       "varchar(max), "
       "p nvarchar(max), q text, r ntext, s date, t datetime, u datetime2(3), v time(0), w "
       "varbinary(8), "
       "x varbinary(max), y uniqueidentifier)");
    ok("INSERT INTO [All] VALUES (255, -3, 7, 9000000000, 1, 123.4565, 42, 0.5, 1.25, 12.3456, "
       "'ab', 'c', "
       "N'\u00e9', N'\u4e2d', 'long', N'\U0001F600', 'old', N'old', '2024-02-29', '2024-01-02 "
       "03:04:05.333', "
       "'2024-01-02 03:04:05.123', '23:59:59', 0x01FF, 0x, "
       "'6F9619FF-8B86-D011-B42D-00C04FC964FF')");
    auto r = run("SELECT * FROM [All]");
    ASSERT_EQ(r.size(), 1u);
    ASSERT_FALSE(r[0].error) << r[0].error->message;
    const auto& c = r[0].columns;
    ASSERT_EQ(c.size(), 25u);
    EXPECT_EQ(c[0].type, (tds::TypeInfo{tds::kIntN, 1}));
    EXPECT_EQ(c[3].type, (tds::TypeInfo{tds::kIntN, 8}));
    EXPECT_EQ(c[5].type, (tds::TypeInfo{tds::kDecimalN, 9, 12, 3}));
    EXPECT_EQ(c[6].type, (tds::TypeInfo{tds::kNumericN, 5, 5, 0}));
    EXPECT_EQ(c[8].type, (tds::TypeInfo{tds::kFltN, 4}));
    EXPECT_EQ(c[10].type, (tds::TypeInfo{tds::kBigChar, 4}));
    EXPECT_EQ(c[13].type, (tds::TypeInfo{tds::kNVarChar, 40}));
    EXPECT_EQ(c[15].type, (tds::TypeInfo{tds::kNVarChar, tds::kPlpMaxLen}));
    EXPECT_EQ(c[20].type, (tds::TypeInfo{tds::kDateTime2N, 0, 0, 3}));
    EXPECT_EQ(c[24].type, (tds::TypeInfo{tds::kGuid, 16}));
    const auto& v = r[0].rows.at(0);
    EXPECT_EQ(text(v[5]), "123457") << "rounded to the scale";
    EXPECT_EQ(text(v[9]), "123456");
    EXPECT_EQ(text(v[10]), "ab  ") << "char(n) is padded";
    EXPECT_EQ(text(v[13]), "\u4e2d");
    EXPECT_EQ(text(v[15]), "\U0001F600");
    EXPECT_EQ(std::get<tds::Bytes>(v[24])[0], 0xFF) << "first group little-endian";
    EXPECT_EQ(std::get<tds::Bytes>(v[22]), (tds::Bytes{0x01, 0xFF}));
}

TEST_F(EngineTest, IdentityValuesAndColumnFlags) {
    ok("CREATE TABLE T (Id int IDENTITY(10,5) NOT NULL, Name nvarchar(10) NULL, Code int NOT "
       "NULL)");
    ok("INSERT INTO T VALUES (N'a', 1), (N'b', 2); INSERT INTO T (Name, Code) SELECT Name, Code "
       "FROM T");
    EXPECT_EQ(rows("SELECT Id, Name FROM T"),
              (Rows{{"10", "a"}, {"15", "b"}, {"20", "a"}, {"25", "b"}}));
    auto r = run("SELECT * FROM T");
    EXPECT_EQ(r[0].columns[0].flags, tds::kFlagIdentity) << "identity: not nullable, not updatable";
    EXPECT_EQ(r[0].columns[1].flags, tds::kFlagNullable | tds::kFlagUpdatable);
    EXPECT_EQ(r[0].columns[2].flags, tds::kFlagUpdatable);
    EXPECT_EQ(fails("INSERT INTO T (Id, Name, Code) VALUES (1, N'x', 1)").number, 544);
    EXPECT_EQ(fails("UPDATE T SET Id = 3").number, 8102);
    ok("DELETE FROM T WHERE Id = 25; INSERT INTO T (Name, Code) VALUES (N'c', 3)");
    EXPECT_EQ(rows("SELECT max(Id) FROM T"), (Rows{{"30"}})) << "deleted values are not reused";
}

TEST_F(EngineTest, SelectIntoCopiesTypesNullabilityAndIdentity) {
    ok("CREATE TABLE Src (Id bigint IDENTITY(1,1), Name varchar(5) NOT NULL, Note nvarchar(9) "
       "NULL)");
    ok("INSERT INTO Src (Name, Note) VALUES ('a', NULL), ('b', N'x'), ('a', NULL)");
    auto r = run("SELECT * INTO [Copy] From [Src]");
    ASSERT_FALSE(r[0].error) << r[0].error->message;
    EXPECT_TRUE(r[0].hasCount);
    EXPECT_EQ(r[0].count, 3u);
    auto c = run("SELECT * FROM [Copy];")[0].columns;
    EXPECT_EQ(c[0].type, (tds::TypeInfo{tds::kIntN, 8}));
    EXPECT_EQ(c[0].flags, tds::kFlagIdentity);
    EXPECT_EQ(c[1].type, (tds::TypeInfo{tds::kBigVarChar, 5}));
    EXPECT_EQ(c[1].flags, tds::kFlagUpdatable);
    EXPECT_EQ(c[2].flags, tds::kFlagNullable | tds::kFlagUpdatable);
    ok("INSERT INTO [Copy] (Name) VALUES ('z')");
    EXPECT_EQ(rows("SELECT Id FROM [Copy] WHERE Name = 'z'"), (Rows{{"4"}}))
        << "identity continues";
    EXPECT_EQ(fails("SELECT * INTO [Copy] FROM [Src]").number, 2714);
    // A grouped copy loses the identity property.
    ok("SELECT Name, count(*) AS n INTO Grouped FROM Src GROUP BY Name");
    EXPECT_EQ(run("SELECT * FROM Grouped")[0].columns[0].flags & tds::kFlagIdentity, 0);
}

TEST_F(EngineTest, IdentityFunctionNumbersTheRowsOfSelectInto) {
    ok("CREATE TABLE Src (Name nvarchar(5)); INSERT INTO Src VALUES (N'c'), (N'a'), (N'b')");
    auto r = run("SELECT IDENTITY(bigint, 1, 1) AS [n], * INTO [Numbered] From [Src]");
    ASSERT_FALSE(r[0].error) << r[0].error->message;
    EXPECT_EQ(r[0].count, 3u);
    EXPECT_EQ(rows("SELECT n, Name FROM Numbered"), (Rows{{"1", "c"}, {"2", "a"}, {"3", "b"}}));
    auto c = run("SELECT * FROM [Numbered];")[0].columns;
    EXPECT_EQ(c[0].type, (tds::TypeInfo{tds::kIntN, 8}));
    EXPECT_EQ(c[0].flags, tds::kFlagIdentity);
    ok("SELECT IDENTITY(int, 10, 5) n, Name INTO Stepped FROM Src WHERE Name <> N'a'");
    EXPECT_EQ(rows("SELECT n FROM Stepped"), (Rows{{"10"}, {"15"}}));
    EXPECT_EQ(run("SELECT n FROM Stepped")[0].columns[0].type, (tds::TypeInfo{tds::kIntN, 4}));

    ok("CREATE TABLE WithId (Id int IDENTITY(1,1), v int)");
    auto e = fails("SELECT IDENTITY(int, 1, 1) AS n, * INTO Twice FROM WithId");
    EXPECT_EQ(e.number, 8108) << "the source's identity column would be a second one";
    EXPECT_EQ(fails("SELECT IDENTITY(int, 99999999999999999999, 1) AS n INTO Big FROM Src").number,
              8115)
        << "a seed past 64 bits is an error, not a crash";
}

// Input that once ended the whole server now fails as a statement does.
TEST_F(EngineTest, HugeNumbersAndTokensAreStatementErrors) {
    EXPECT_EQ(fails("CREATE TABLE t (id int IDENTITY(99999999999999999999,1))").number, 8115);
    EXPECT_EQ(fails("CREATE TABLE t (id int IDENTITY(1,99999999999999999999))").number, 8115);
    EXPECT_EQ(fails("SANDBOX FAULT DELAY 99999999999999999999").number, 102);
    EXPECT_EQ(fails("SANDBOX FAULT DROP ON 'x' SKIP 99999999999").number, 102);
    const std::string token(100'000, 'x');
    EXPECT_EQ(fails("SELECT 1 + ) " + token).number, 102);
    EXPECT_EQ(fails("SELECT * FROM t WHERE " + token + " = = 1").number, 102);
    ok("CREATE TABLE t (a int)");
    EXPECT_EQ(fails("CREATE TABLE t (a int)").number, 2714) << "still names the table";
}

TEST_F(EngineTest, TemporaryTablesBelongToTheirSession) {
    ok("CREATE TABLE Src (a int); INSERT INTO Src VALUES (1), (2)");
    ok("SELECT IDENTITY(bigint, 1, 1) AS n, * INTO [#w] FROM Src");
    EXPECT_EQ(rows("SELECT n, a FROM [#w]"), (Rows{{"1", "1"}, {"2", "2"}}));
    EXPECT_EQ(rows("SELECT CASE WHEN object_id('tempdb..#w') IS NULL THEN 0 ELSE 1 END"),
              (Rows{{"1"}}));
    EXPECT_EQ(rows("SELECT count(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME LIKE '#%'"),
              (Rows{{"0"}}))
        << "not in the catalogue";
    ok("CREATE INDEX ix ON [#w] (n); DELETE FROM [#w] WHERE n IN (1)");
    EXPECT_EQ(rows("SELECT a FROM #w"), (Rows{{"2"}}));

    Engine other(*store_, "t"); // a second session does not see the first one's table
    RecordingSink sink;
    other.executeBatch("SELECT * FROM [#w]", sink);
    ASSERT_TRUE(sink.results.at(0).error);
    EXPECT_EQ(sink.results[0].error->number, 208);
    RecordingSink make;
    other.executeBatch("CREATE TABLE #w (x int IDENTITY(1,1), y int); INSERT INTO #w (y) VALUES "
                       "(5); SELECT x FROM #w",
                       make);
    ASSERT_EQ(make.results.size(), 3u);
    EXPECT_FALSE(make.results[2].error);
    EXPECT_EQ(std::get<std::int64_t>(make.results[2].rows.at(0).at(0)), 1);

    engine_ = std::make_unique<Engine>(*store_, "t"); // the session ends; a new one starts
    EXPECT_EQ(rows("SELECT CASE WHEN object_id('tempdb..#w') IS NULL THEN 0 ELSE 1 END"),
              (Rows{{"0"}}))
        << "gone with its session";
}

TEST_F(EngineTest, ObjectIdOfAKind) {
    ok("CREATE TABLE T1 (a int); CREATE VIEW V1 AS SELECT a FROM T1");
    EXPECT_EQ(rows("SELECT CASE WHEN object_id(N'T1', N'U') IS NULL THEN 0 ELSE 1 END, "
                   "CASE WHEN object_id(N'V1', N'U') IS NULL THEN 0 ELSE 1 END, "
                   "CASE WHEN object_id(N'V1') IS NULL THEN 0 ELSE 1 END"),
              (Rows{{"1", "0", "1"}}));
    ok("if (object_id (N'V1', N'U') is not null) drop table [V1]");
    EXPECT_EQ(rows("SELECT count(*) FROM V1"), (Rows{{"0"}})) << "a view is not dropped";
}

TEST_F(EngineTest, SetBasedDeduplicationOverDerivedTable) {
    ok("CREATE TABLE t (a int, b nvarchar(5))");
    ok("INSERT INTO t VALUES (1, N'x'), (2, N'y'), (1, N'x'), (3, NULL), (3, NULL)");
    ok("SELECT a, b INTO [new] FROM (SELECT *, ROW_NUMBER() OVER (PARTITION BY [a], [b] ORDER BY "
       "(SELECT 0)) "
       "AS rn FROM [t]) AS x WHERE rn = 1");
    EXPECT_EQ(rows("SELECT a, b FROM [new] ORDER BY a"),
              (Rows{{"1", "x"}, {"2", "y"}, {"3", "NULL"}}));
}

TEST_F(EngineTest, AddedIdentityColumnNumbersRowsInStorageOrder) {
    ok("CREATE TABLE w (v nvarchar(5)); CREATE INDEX ix ON w (v)");
    ok("INSERT INTO w VALUES (N'c'), (N'a'), (N'b'), (N'a'); DELETE FROM w WHERE v = N'c'");
    ok("ALTER TABLE [w] ADD [n] INT IDENTITY(1,1)");
    EXPECT_EQ(rows("SELECT v, n FROM w"), (Rows{{"a", "1"}, {"b", "2"}, {"a", "3"}}));
    EXPECT_EQ(run("SELECT n FROM w")[0].columns[0].flags, tds::kFlagIdentity);
    auto e = fails("ALTER TABLE [w] ADD [m] INT IDENTITY(1,1)");
    EXPECT_EQ(e.number, 2744);
    EXPECT_EQ(e.message, "Multiple identity columns specified for table 'w'. Only one identity "
                         "column per table is allowed.");
    EXPECT_EQ(rows("SELECT v FROM w WHERE v = N'a'").size(), 2u)
        << "the index survives the rebuild";
    ok("CREATE TABLE w2 (v int)");
    EXPECT_EQ(fails("ALTER TABLE w2 ADD a int IDENTITY(1,1), b int IDENTITY(10,1)").number, 2744)
        << "two identity columns added at once";
    EXPECT_EQ(rows("SELECT name FROM sys.columns WHERE object_id = OBJECT_ID('w2')").size(), 1u);
}

TEST_F(EngineTest, ObjectIdGuardsInBothSpellings) {
    ok("CREATE TABLE [Orders2] (a int); CREATE TABLE [Tab\u00e9] (a int)");
    ok("if (object_id ('Orders2') is not null) drop table [Orders2]");
    ok("if (object_id ('Orders2') is not null) drop table [Orders2]");
    ok("IF OBJECT_ID(N'dbo.tab\u00c9') IS NOT NULL DROP TABLE [Tab\u00e9]");
    EXPECT_TRUE(rows("SELECT name FROM sys.tables WHERE name LIKE 'Tab%'").size() <= 1);
    EXPECT_EQ(fails("DROP TABLE [Orders2]").number, 3701);
    EXPECT_EQ(rows("SELECT CASE WHEN OBJECT_ID('nothing') IS NULL THEN 1 ELSE 0 END"),
              (Rows{{"1"}}));
}

TEST_F(EngineTest, MissingObjectEndsTheBatchDuplicateKeyOnlyItsStatement) {
    ok("CREATE TABLE k (a int PRIMARY KEY)");
    auto r = run("INSERT INTO k VALUES (1); INSERT INTO k VALUES (1); INSERT INTO k VALUES (2); "
                 "SELECT * FROM nope; INSERT INTO k VALUES (3)");
    ASSERT_EQ(r.size(), 4u) << "the statement after the missing object never runs";
    EXPECT_FALSE(r[0].error);
    ASSERT_TRUE(r[1].error);
    EXPECT_EQ(r[1].error->number, 2627);
    EXPECT_FALSE(r[2].error);
    ASSERT_TRUE(r[3].error);
    EXPECT_EQ(r[3].error->number, 208);
    EXPECT_EQ(r[3].error->message, "Invalid object name 'nope'.");
    EXPECT_EQ(rows("SELECT a FROM k"), (Rows{{"1"}, {"2"}}));
}

TEST_F(EngineTest, ServerErrorNumbersAndTexts) {
    ok("CREATE TABLE e (a int NOT NULL)");
    EXPECT_EQ(fails("SELECT nocol FROM e").message, "Invalid column name 'nocol'.");
    EXPECT_EQ(fails("CREATE TABLE e (b int)").message,
              "There is already an object named 'e' in the database.");
    EXPECT_EQ(
        fails("DROP TABLE gone").message,
        "Cannot drop the table 'gone', because it does not exist or you do not have permission.");
    EXPECT_EQ(fails("SELECT FROM WHERE").number, 102);
    EXPECT_EQ(fails("INSERT INTO e VALUES (NULL)").number, 515);
    EXPECT_EQ(fails("SELECT 'unterminated").number, 105);
    EXPECT_EQ(fails("MERGE e USING e ON 1 = 1").message,
              "The sandbox does not support the statement MERGE.");
    EXPECT_EQ(fails("SELECT * FROM sales.Orders").message,
              "The sandbox does not support the schema 'sales' (only dbo).");
}

// A value is converted to its column's type as it is written, as the server converts it: text
// that is no number or no date is refused then, and the table keeps nothing of the statement.
TEST_F(EngineTest, AValueThatDoesNotConvertIsRefusedAsItIsWritten) {
    ok("CREATE TABLE c (a int, d date, s varchar(3), b binary(4))");
    EXPECT_EQ(fails("INSERT INTO c VALUES (1, NULL, 'x', NULL), ('abc', NULL, 'x', NULL)").number,
              245);
    EXPECT_EQ(fails("INSERT INTO c VALUES (1, 'soon', 'x', NULL)").number, 241);
    EXPECT_EQ(fails("INSERT INTO c (s) VALUES ('abcd')").number, 8152);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM c"), (Rows{{"0"}}));
    ok("INSERT INTO c (a, s, b) VALUES ('12', 'ab ', 0x0102)");
    EXPECT_EQ(rows("SELECT a, DATALENGTH(b) FROM c WHERE b = 0x01020000"), (Rows{{"12", "4"}}))
        << "binary(n) is padded with zeros as it is stored";
}

// Money is a 64-bit count of ten-thousandths (smallmoney 32): every digit survives to the limits,
// and a value past them is an overflow, not a wrapped number.
TEST_F(EngineTest, MoneyKeepsEveryDigitToItsLimits) {
    ok("CREATE TABLE m (m money, s smallmoney); INSERT INTO m VALUES (922337203685477.5807, "
       "214748.3647), (-922337203685477.5808, -214748.3648), (0.0001, 1)");
    EXPECT_EQ(rows("SELECT m, s FROM m ORDER BY m"),
              (std::vector<std::vector<std::string>>{{"-9223372036854775808", "-2147483648"},
                                                     {"1", "10000"},
                                                     {"9223372036854775807", "2147483647"}}));
    ok("CREATE TABLE o (m money, s smallmoney)");
    EXPECT_EQ(fails("INSERT INTO o VALUES (922337203685477.5808, 0)").number, 8115);
    EXPECT_EQ(fails("INSERT INTO o VALUES (0, 214748.3648)").number, 8115);
}

// The session's variables read what the statement before left: its count, its error, the
// transactions open, the identity value it drew; SET NOCOUNT ON leaves the counts out.
TEST_F(EngineTest, SessionVariablesFollowTheStatementBefore) {
    ok("CREATE TABLE s (id int IDENTITY(5, 5), v int); INSERT INTO s (v) VALUES (1), (2), (3)");
    EXPECT_EQ(rows("SELECT @@ROWCOUNT"), (std::vector<std::vector<std::string>>{{"3"}}));
    EXPECT_EQ(rows("SELECT @@IDENTITY, SCOPE_IDENTITY()"),
              (std::vector<std::vector<std::string>>{{"15", "15"}}));
    auto r = run("CREATE TABLE u (a int PRIMARY KEY); INSERT INTO u VALUES (1); INSERT INTO u "
                 "VALUES (1); SELECT @@ERROR; SELECT @@ERROR");
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(text(r[3].rows.at(0).at(0)), "2627");
    EXPECT_EQ(text(r[4].rows.at(0).at(0)), "0") << "a statement that succeeds clears it";
    EXPECT_EQ(rows("BEGIN TRAN; BEGIN TRAN; SELECT @@TRANCOUNT"),
              (std::vector<std::vector<std::string>>{{"2"}}));
    ok("ROLLBACK");
    EXPECT_EQ(rows("SELECT @@TRANCOUNT, DB_NAME()"),
              (std::vector<std::vector<std::string>>{{"0", "t"}}));
    r = run("SET NOCOUNT ON; UPDATE s SET v = 0; SELECT @@ROWCOUNT; SET NOCOUNT OFF; UPDATE s SET "
            "v = 1");
    ASSERT_EQ(r.size(), 5u);
    EXPECT_FALSE(r[1].hasCount) << "no count under NOCOUNT";
    EXPECT_EQ(text(r[2].rows.at(0).at(0)), "3") << "@@ROWCOUNT counts all the same";
    EXPECT_TRUE(r[4].hasCount);
    EXPECT_EQ(r[4].count, 3u);
}

TEST_F(EngineTest, StringDateAndServerFunctions) {
    EXPECT_EQ(rows("SELECT CONCAT(N'a', NULL, 1, N'\u00e9'), REPLICATE(N'ab', 3), "
                   "LEFT(N'h\u00e9llo', 2), RIGHT(N'hello', 3), RIGHT(N'hi', 5), LEFT(N'x', 0)"),
              (std::vector<std::vector<std::string>>{
                  {"a1\u00e9", "ababab", "h\u00e9", "llo", "hi", ""}}));
    EXPECT_EQ(rows("SELECT REPLICATE(N'a', -1), LEFT(NULL, 1), YEAR('2024-02-29'), "
                   "MONTH('2024-02-29 13:05'), DAY('2024-02-29')"),
              (std::vector<std::vector<std::string>>{{"NULL", "NULL", "2024", "2", "29"}}));
    EXPECT_EQ(fails("SELECT LEFT(N'abc', -1)").number, 536);
    // Past nvarchar(4000): a literal is nvarchar(max); REPLICATE of a shorter type is cut at
    // 8,000 bytes, as the server cuts it.
    const auto longText = run("SELECT N'" + std::string(4001, 'x') + "', REPLICATE(N'y', 5000)");
    ASSERT_EQ(longText.size(), 1u);
    ASSERT_FALSE(longText[0].error) << longText[0].error->message;
    EXPECT_EQ(std::get<std::u16string>(longText[0].rows.at(0).at(0)).size(), 4001u);
    EXPECT_EQ(std::get<std::u16string>(longText[0].rows.at(0).at(1)).size(), 4000u);
    EXPECT_EQ(fails("SELECT YEAR('soon')").number, 241);
    ok("CREATE TABLE j (a int); INSERT INTO j VALUES (1)");
    EXPECT_EQ(rows("SELECT x.a FROM j x LEFT JOIN j y ON x.a = y.a LEFT OUTER JOIN j z ON 1 = 1"),
              (std::vector<std::vector<std::string>>{{"1"}}))
        << "LEFT before JOIN stays a join";
    EXPECT_EQ(rows("SELECT SERVERPROPERTY('ProductVersion'), SERVERPROPERTY('Nonsense')"),
              (std::vector<std::vector<std::string>>{{"15.0.2000.5", "NULL"}}));
    const auto version = rows("SELECT @@VERSION");
    EXPECT_NE(version.at(0).at(0).find("15.0.2000.5"), std::string::npos);
}

// The sys catalogue views clients and tools read, and INFORMATION_SCHEMA's DATETIME_PRECISION.
TEST_F(EngineTest, SysViewsAndDatetimePrecision) {
    ok("CREATE TABLE [Städte] (id int IDENTITY(1,1), name nvarchar(20) NOT NULL, at datetime2(4), "
       "d date, v varbinary(max)); CREATE VIEW sv AS SELECT name FROM [Städte]");
    EXPECT_EQ(
        rows("SELECT t.name, c.name, c.column_id, c.system_type_id, c.max_length, "
             "c.is_nullable, c.is_identity FROM sys.tables t JOIN sys.columns c ON "
             "c.object_id = t.object_id ORDER BY c.column_id"),
        (std::vector<std::vector<std::string>>{{"St\u00e4dte", "id", "1", "56", "4", "0", "1"},
                                               {"St\u00e4dte", "name", "2", "231", "40", "0", "0"},
                                               {"St\u00e4dte", "at", "3", "42", "7", "1", "0"},
                                               {"St\u00e4dte", "d", "4", "40", "3", "1", "0"},
                                               {"St\u00e4dte", "v", "5", "165", "-1", "1", "0"}}));
    EXPECT_EQ(rows("SELECT name, type, type_desc FROM sys.objects ORDER BY type"),
              (std::vector<std::vector<std::string>>{{"St\u00e4dte", "U", "USER_TABLE"},
                                                     {"sv", "V", "VIEW"}}));
    EXPECT_EQ(rows("SELECT o.object_id - OBJECT_ID('sv') FROM sys.views o"),
              (std::vector<std::vector<std::string>>{{"0"}}));
    EXPECT_EQ(rows("SELECT COLUMN_NAME, DATETIME_PRECISION FROM INFORMATION_SCHEMA.COLUMNS WHERE "
                   "TABLE_NAME = N'Städte' ORDER BY ORDINAL_POSITION"),
              (std::vector<std::vector<std::string>>{
                  {"id", "NULL"}, {"name", "NULL"}, {"at", "4"}, {"d", "0"}, {"v", "NULL"}}));
    EXPECT_EQ(fails("SELECT * FROM sys.indexes").number, 40000);
}

TEST_F(EngineTest, NamesWithBracketsQuotesAndUnicode) {
    const std::string table = "[we]]ird 'name\u00e9]";
    ok("CREATE TABLE " + table + " ([co]]l] int, [select] nvarchar(5))");
    ok("INSERT INTO " + table + " VALUES (1, N'it''s')");
    EXPECT_EQ(rows("SELECT [co]]l], [select] FROM " + table + ";"), (Rows{{"1", "it's"}}));
    EXPECT_EQ(rows("SELECT column_name FROM information_schema.Columns WHERE table_name=N'we]ird "
                   "''NAME\u00e9'"),
              (Rows{{"co]l"}, {"select"}}));
    ok("if (object_id ('we]ird ''name\u00e9') is not null) drop table " + table);
    EXPECT_TRUE(rows("SELECT * FROM INFORMATION_SCHEMA.TABLES").empty());
}

TEST_F(EngineTest, CatalogueViewsFollowTheServer) {
    ok("CREATE TABLE Orders (Id int IDENTITY, City nvarchar(20) NOT NULL, Price decimal(9,2)); "
       "CREATE VIEW V AS SELECT City FROM Orders");
    EXPECT_EQ(rows("SELECT column_name FROM information_schema.Columns WHERE table_name='ORDERS'"),
              (Rows{{"Id"}, {"City"}, {"Price"}}));
    EXPECT_EQ(
        rows("SELECT DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, IS_NULLABLE, NUMERIC_PRECISION FROM "
             "INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = 'Orders'"),
        (Rows{{"int", "NULL", "NO", "10"},
              {"nvarchar", "20", "NO", "NULL"},
              {"decimal", "NULL", "YES", "9"}}));
    EXPECT_EQ(
        rows("SELECT TABLE_NAME, TABLE_TYPE FROM INFORMATION_SCHEMA.TABLES ORDER BY TABLE_NAME"),
        (Rows{{"Orders", "BASE TABLE"}, {"V", "VIEW"}}));
}

TEST_F(EngineTest, ScanInInsertionOrderButCoveringIndexInIndexOrder) {
    ok("CREATE TABLE o (k nvarchar(5), v int); INSERT INTO o VALUES (N'b', 1), (N'a', 2), (N'c', "
       "3), (N'a', 4)");
    EXPECT_EQ(rows("SELECT k FROM o"), (Rows{{"b"}, {"a"}, {"c"}, {"a"}}));
    ok("CREATE INDEX ik ON o (k)");
    EXPECT_EQ(rows("SELECT * FROM o"), (Rows{{"b", "1"}, {"a", "2"}, {"c", "3"}, {"a", "4"}}));
    EXPECT_EQ(rows("SELECT k FROM o"), (Rows{{"a"}, {"a"}, {"b"}, {"c"}}))
        << "served from the index";
}

// + joins character data and adds numbers, as the operands' types say.
TEST_F(EngineTest, PlusJoinsTextAndAddsNumbers) {
    EXPECT_EQ(rows("SELECT NCHAR(65)+NCHAR(66)"), Rows{{"AB"}});
    EXPECT_EQ(rows("SELECT CAST(1 AS nvarchar(5)) + CAST(2 AS varchar(5))"), Rows{{"12"}});
    EXPECT_EQ(rows("SELECT CONVERT(nvarchar(5), 7) + 'x', SUBSTRING(N'abc', 1, 1) + REPLACE(N'y', "
                   "N'y', N'z')"),
              (Rows{{"7x", "az"}}));
    EXPECT_EQ(rows("SELECT UPPER(N'a') + LOWER(N'B') + N'c'"), Rows{{"Abc"}});
    EXPECT_EQ(rows("SELECT 1 + 2, CAST(1 AS int) + 2, LEN(N'ab') + 1"), (Rows{{"3", "3", "3"}}));
    ok("CREATE TABLE names (first nvarchar(20), last nvarchar(20), n int)");
    ok("INSERT INTO names VALUES (N'Ada', N'Lovelace', 1)");
    EXPECT_EQ(rows("SELECT first + N' ' + last, n + 1 FROM names"), (Rows{{"Ada Lovelace", "2"}}));
    EXPECT_EQ(rows("SELECT a.first + a.last, a.n + b.n, a.first + b.[last] FROM names a JOIN names "
                   "b ON a.n = b.n"),
              (Rows{{"AdaLovelace", "2", "AdaLovelace"}}))
        << "the columns' types say";
    ok("UPDATE names SET last = first + last");
    EXPECT_EQ(rows("SELECT last FROM names"), Rows{{"AdaLovelace"}});
    ok("CREATE TABLE numbers (first int)");
    ok("INSERT INTO numbers VALUES (5)");
    EXPECT_EQ(rows("SELECT first + 1 FROM numbers"), Rows{{"6"}});
}

TEST_F(EngineTest, QueriesTopOrderGroupWindow) {
    ok("CREATE TABLE q (g int, v int); INSERT INTO q VALUES (1, 5), (2, 3), (1, 7), (3, 1)");
    EXPECT_EQ(rows("SELECT TOP 2 v FROM q ORDER BY v DESC"), (Rows{{"7"}, {"5"}}));
    EXPECT_EQ(rows("SELECT TOP (1) * FROM (SELECT TOP 3 v FROM q ORDER BY v) AS x ORDER BY v DESC"),
              (Rows{{"5"}}));
    EXPECT_EQ(rows("SELECT g, count(*) FROM q GROUP BY g HAVING count(*) > 1"), (Rows{{"1", "2"}}));
    EXPECT_EQ(rows("SELECT v, ROW_NUMBER() OVER (PARTITION BY g ORDER BY (SELECT 0)) AS rn FROM q "
                   "WHERE g = 2"),
              (Rows{{"3", "1"}}));
    EXPECT_EQ(rows("select ISNULL(NULL, 'x') + 'y', LEN('ab  '), CONVERT(int, '12')"),
              (Rows{{"xy", "2", "12"}}));
}

TEST_F(EngineTest, TransactionsCommitAndRollBack) {
    ok("CREATE TABLE tx (a int)");
    RecordingSink sink;
    engine_->executeBatch("BEGIN TRAN; INSERT INTO tx VALUES (1); ROLLBACK", sink);
    ASSERT_EQ(sink.envChanges.size(), 2u);
    EXPECT_EQ(sink.envChanges[0].type, tds::kEnvBeginTran);
    EXPECT_EQ(sink.envChanges[1].type, tds::kEnvRollbackTran);
    EXPECT_TRUE(rows("SELECT * FROM tx").empty());
    ok("BEGIN TRANSACTION INSERT INTO tx VALUES (2) COMMIT");
    EXPECT_EQ(rows("SELECT * FROM tx"), (Rows{{"2"}}));
    EXPECT_EQ(fails("COMMIT").number, 3902);
}

// A savepoint undoes the work after it and leaves the transaction open; the outer name rolls all
// of it back; a name that is neither is the server's error 6401.
TEST_F(EngineTest, SavepointsRollBackPartOfATransaction) {
    ok("CREATE TABLE sp (a int)");
    EXPECT_EQ(fails("SAVE TRAN nothing").number, 628);
    ok("BEGIN TRAN outer_one; INSERT INTO sp VALUES (1); SAVE TRANSACTION p1; INSERT INTO sp "
       "VALUES "
       "(2); SAVE TRAN p2; INSERT INTO sp VALUES (3); ROLLBACK TRAN p1");
    EXPECT_EQ(rows("SELECT a, @@TRANCOUNT FROM sp"), (Rows{{"1", "1"}}));
    EXPECT_EQ(fails("ROLLBACK TRAN p2").number, 6401) << "a later point is gone";
    ok("INSERT INTO sp VALUES (4); ROLLBACK TRAN p1; INSERT INTO sp VALUES (5); COMMIT");
    EXPECT_EQ(rows("SELECT a FROM sp ORDER BY a"), (Rows{{"1"}, {"5"}}));
    ok("BEGIN TRAN outer_two; INSERT INTO sp VALUES (6); SAVE TRAN p; ROLLBACK TRAN outer_two");
    EXPECT_EQ(rows("SELECT count(*), @@TRANCOUNT FROM sp"), (Rows{{"2", "0"}}));
}

TEST_F(EngineTest, OffsetAndFetchPageAnOrderedResult) {
    ok("CREATE TABLE pg (n int, [offset] int); INSERT INTO pg VALUES (1, 10), (2, 20), (3, 30), "
       "(4, 40), (5, 50)");
    EXPECT_EQ(rows("SELECT n FROM pg ORDER BY n OFFSET 1 ROWS FETCH NEXT 2 ROWS ONLY"),
              (Rows{{"2"}, {"3"}}));
    EXPECT_EQ(rows("SELECT n FROM pg ORDER BY n DESC OFFSET 3 ROWS"), (Rows{{"2"}, {"1"}}));
    EXPECT_EQ(rows("SELECT n FROM pg ORDER BY n OFFSET (1 + 1) ROW FETCH FIRST 1 ROW ONLY"),
              (Rows{{"3"}}));
    EXPECT_EQ(rows("SELECT offset FROM pg WHERE n = 1"), (Rows{{"10"}})) << "a column so named";
    EXPECT_EQ(fails("SELECT TOP 1 n FROM pg ORDER BY n OFFSET 1 ROWS").number, 10741);
}

// A column with no name of its own goes out with an empty name, as the server sends it.
TEST_F(EngineTest, ExpressionsWithoutANameHaveAnEmptyName) {
    ok("CREATE TABLE nm (a int, [my col] int)");
    const auto r = run("SELECT 1, a, a + 1, COUNT(*) AS n, MAX(a) m, [my col], 2 AS [two words], "
                       "NULL, N'x', (SELECT 1), @@ROWCOUNT FROM nm GROUP BY a, [my col]");
    ASSERT_EQ(r.size(), 1u);
    std::vector<std::string> names;
    for (const auto& c : r[0].columns)
        names.push_back(tds::utf8(c.name));
    EXPECT_EQ(names, (std::vector<std::string>{"", "a", "", "n", "m", "my col", "two words", "", "",
                                               "", ""}));
}

// DATEADD, DATEDIFF and DATEPART with their date-part words, as the server counts: months end at
// the month's last day, DATEDIFF counts boundaries crossed, weeks start on Sunday.
TEST_F(EngineTest, DateArithmeticWithDatePartWords) {
    EXPECT_EQ(rows("SELECT DATEADD(month, 1, '2024-01-31'), DATEADD(yy, -1, '2024-02-29'), "
                   "DATEADD(day, 1, '2024-12-31 23:59:59.997'), DATEADD(mi, 90, "
                   "'2024-02-29 23:00:00.000'), DATEADD(hour, 1, '2024-02-29')"),
              (Rows{{"738944+0", "738578+0", "739251+86399997000000", "738945+1800000000000",
                     "738944+3600000000000"}}))
        << "text stands for a datetime, and the result is one";
    EXPECT_EQ(rows("SELECT DATEDIFF(year, '2023-12-31', '2024-01-01'), DATEDIFF(month, "
                   "'2024-01-31', '2024-02-01'), DATEDIFF(day, '2024-03-01', '2024-02-28'), "
                   "DATEDIFF(week, '2024-03-02', '2024-03-03'), DATEDIFF(second, "
                   "'2024-01-01 00:00:00', '2024-01-01 01:00:01'), DATEDIFF(qq, '2024-03-31', "
                   "'2024-04-01')"),
              (Rows{{"1", "1", "-2", "1", "3601", "1"}}));
    EXPECT_EQ(rows("SELECT DATEPART(weekday, '2024-03-03'), DATEPART(dw, '2024-03-04'), "
                   "DATEPART(dayofyear, '2024-12-31'), DATEPART(hh, '2024-01-01 13:05'), "
                   "DATEPART(quarter, '2024-08-01'), DATEADD(day, 1, NULL)"),
              (Rows{{"1", "2", "366", "13", "3", "NULL"}}));
    ok("CREATE TABLE ev (at datetime); INSERT INTO ev VALUES ('2024-02-29 10:00:00')");
    EXPECT_EQ(rows("SELECT DATEDIFF(minute, at, DATEADD(hour, 2, at)) FROM ev"), (Rows{{"120"}}));
    EXPECT_EQ(fails("SELECT DATEADD(fortnight, 1, '2024-01-01')").number, 155);
    EXPECT_EQ(fails("SELECT DATEDIFF(day, 'soon', '2024-01-01')").number, 241);
    EXPECT_EQ(fails("SELECT DATEDIFF(nanosecond, '2000-01-01', '2024-01-01')").number, 535);
    EXPECT_EQ(fails("SELECT DATEADD(hour, 2147483647, '2024-01-01')").number, 517);
    EXPECT_EQ(fails("SELECT DATEADD(day, 3000000000, '2024-01-01')").number, 8115);
}

TEST_F(EngineTest, UseSwitchesDatabaseAndCreateDatabaseMakesOne) {
    ok("CREATE DATABASE [Other]");
    EXPECT_EQ(fails("CREATE DATABASE [other]").number, 1801);
    RecordingSink sink;
    engine_->executeBatch("USE [Other]", sink);
    ASSERT_EQ(sink.envChanges.size(), 1u);
    EXPECT_EQ(sink.envChanges[0].newText, u"Other");
    EXPECT_EQ(engine_->database(), "Other");
}

TEST_F(EngineTest, CatalogueForSqlTables) {
    ok("CREATE TABLE zeta (a int); CREATE TABLE Alpha (a int); CREATE VIEW Mid AS SELECT a FROM "
       "zeta");
    RecordingSink sink;
    engine_->listTables({}, sink);
    std::vector<std::string> listed;
    for (const auto& r : sink.results.at(0).rows)
        listed.push_back(text(r[2]) + "/" + text(r[3]));
    // by type, then owner (dbo before INFORMATION_SCHEMA), then name
    EXPECT_EQ(listed, (std::vector<std::string>{"Alpha/TABLE", "zeta/TABLE", "Mid/VIEW",
                                                "COLUMNS/VIEW", "TABLES/VIEW"}));
    RecordingSink tablesOnly;
    engine_->listTables({std::string("%a"), {}, {}, std::string("'TABLE'")}, tablesOnly);
    ASSERT_EQ(tablesOnly.results.at(0).rows.size(), 2u);
}

} // namespace sandbox::test

namespace sandbox::test {

// What scripts written for a server read besides the sys views: the compatibility views, tempdb.
TEST_F(EngineTest, CompatibilityViewsAndTempdb) {
    ok("CREATE TABLE Old (a int, b nvarchar(5) NULL)");
    EXPECT_EQ(rows("IF EXISTS (SELECT * FROM sysobjects WHERE name = 'Old' AND xtype = 'U') "
                   "SELECT 1 ELSE SELECT 0"),
              (Rows{{"1"}}));
    EXPECT_EQ(rows("SELECT c.name, c.isnullable FROM dbo.syscolumns c JOIN sysobjects o ON "
                   "o.id = c.id WHERE o.name = 'Old' ORDER BY c.colid"),
              (Rows{{"a", "1"}, {"b", "1"}}));
    EXPECT_EQ(rows("SELECT name FROM sysusers WHERE uid = 1"), (Rows{{"dbo"}}));
    ok("USE tempdb");
    EXPECT_EQ(rows("SELECT DB_NAME()"), (Rows{{"tempdb"}}));
}

} // namespace sandbox::test

namespace sandbox::test {

// A duplicate in a key constraint is 2627 with the constraint's name; in a unique index of
// CREATE UNIQUE INDEX, 2601.
TEST_F(EngineTest, DuplicateKeysNameTheirConstraintOrIndex) {
    ok("CREATE TABLE d (a int PRIMARY KEY, b int, c int, CONSTRAINT uq_b UNIQUE (b)); "
       "CREATE UNIQUE INDEX ix_c ON d (c); INSERT INTO d VALUES (1, 1, 1)");
    auto e = fails("INSERT INTO d VALUES (1, 2, 2)");
    EXPECT_EQ(e.number, 2627);
    EXPECT_EQ(e.message, "Violation of PRIMARY KEY constraint 'PK_d_a'. Cannot insert duplicate "
                         "key in object 'dbo.d'.");
    EXPECT_EQ(fails("INSERT INTO d VALUES (2, 1, 2)").message,
              "Violation of UNIQUE KEY constraint 'uq_b'. Cannot insert duplicate key in object "
              "'dbo.d'.");
    e = fails("INSERT INTO d VALUES (3, 3, 1)");
    EXPECT_EQ(e.number, 2601);
    EXPECT_EQ(e.message, "Cannot insert duplicate key row in object 'dbo.d' with unique index "
                         "'ix_c'.");
}

} // namespace sandbox::test
