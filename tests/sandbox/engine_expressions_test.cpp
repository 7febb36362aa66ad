// Expressions answer as the server does or fail with its error: never a quiet wrong value.
#include "engine_support.h"

#include "tds/wire.h"

namespace sandbox::test {

using Rows = std::vector<std::vector<std::string>>;

// Each statement and the error number the server gives it.
TEST_F(EngineTest, ConversionsAndArithmeticFailAsTheServerDoes) {
    ok("CREATE TABLE n (i int, s nvarchar(10)); INSERT INTO n VALUES (1, N'x'), (2, N'12');"
       "CREATE TABLE big (b bigint); INSERT INTO big VALUES (9223372036854775807), (1)");
    const std::pair<const char*, int> cases[] = {
        {"SELECT 1/0", 8134},
        {"SELECT i / 0 FROM n", 8134},
        {"SELECT 7 % (i - 1) FROM n", 8134},
        {"SELECT 1.5 / (0.0)", 8134},
        {"SELECT CAST('abc' AS int)", 245},
        {"SELECT CONVERT(int, 'abc')", 245},
        {"SELECT CAST('1.5' AS int)", 245},
        {"SELECT i FROM n WHERE i = 'abc'", 245},
        {"SELECT i FROM n WHERE N'abc' <> n.i", 245},
        {"SELECT CAST(2147483647 AS int) + 1", 8115},
        {"SELECT CAST(300 AS tinyint)", 8115},
        {"SELECT CAST(123456.7 AS decimal(5,1))", 8115},
        {"SELECT CAST('x1' AS decimal(10,2))", 8114},
        {"SELECT CAST('yesterday' AS datetime)", 241},
        {"SELECT SUM(i) + 2147483647 FROM n", 8115},
        {"SELECT AVG(b) FROM big", 8115},
    };
    for (const auto& [sql, number] : cases)
        EXPECT_EQ(fails(sql).number, number) << sql;
}

TEST_F(EngineTest, ConversionsKeepTheServersRules) {
    EXPECT_EQ(rows("SELECT CAST(1.23456 AS decimal(10,2)), CAST(-2.345 AS numeric(5,2)), "
                   "CAST(' 42 ' AS int), CAST(3.99 AS int), CAST(-3.99 AS int), CAST(5 AS bit), "
                   "CAST('true' AS bit), CAST(N'abcdef' AS nvarchar(3)), 7 / 2, -7 % 3"),
              (Rows{{"123", "-235", "42", "3", "-3", "1", "1", "abc", "3", "-1"}}));
    EXPECT_EQ(rows("SELECT TRY_CAST('abc' AS int), TRY_CAST('12' AS int), TRY_CONVERT(int, 'x'), "
                   "TRY_CAST(300 AS tinyint), TRY_CAST('2024-02-30' AS date), "
                   "TRY_CAST('2024-02-29' AS date)"),
              (Rows{{"NULL", "12", "NULL", "NULL", "NULL", "738944+0"}}));
    ok("CREATE TABLE a (i int, b bigint, d decimal(9,2)); "
       "INSERT INTO a VALUES (4, 4, 1.25), (5, 5, 2.5), (NULL, NULL, NULL)");
    EXPECT_EQ(rows("SELECT AVG(i), AVG(b), AVG(CAST(i AS float)), SUM(i), MIN(i), AVG(d) FROM a"),
              (Rows{{"4", "4", std::to_string(4.5), "9", "4", "1875000"}}))
        << "AVG of decimal(9,2) is decimal(38,6)";
    EXPECT_EQ(rows("SELECT i FROM a WHERE i = '5' OR '4' = a.i ORDER BY i"), (Rows{{"4"}, {"5"}}));
}

// Literals and functions compare and search as the server's default collation does.
TEST_F(EngineTest, LiteralsAndFunctionsFollowTheDefaultCollation) {
    EXPECT_EQ(rows("SELECT CASE WHEN N'abc' = N'ABC' THEN 1 ELSE 0 END, "
                   "CASE WHEN 'a' = 'a   ' THEN 1 ELSE 0 END, "
                   "CASE WHEN N'é' = N'e' THEN 1 ELSE 0 END, "
                   "CHARINDEX('L', 'hello'), CHARINDEX('x', 'hello'), CHARINDEX('L', 'hello', 4), "
                   "REPLACE('hello', 'L', 'x'), UPPER(N'éaßω'), LOWER(N'ÉÀΩЖ'), "
                   "DATALENGTH('ab  '), DATALENGTH(N'ab  '), DATALENGTH(CAST('e' AS varchar(5)))"),
              (Rows{{"1", "1", "0", "3", "0", "4", "hexxo", "ÉAßΩ", "éàωж", "4", "8", "1"}}));
    ok("CREATE TABLE c (v varchar(10), w nvarchar(10)); INSERT INTO c VALUES ('e', N'e');"
       "CREATE TABLE k (k varchar(10) COLLATE Latin1_General_CS_AS, w varchar(10));"
       "INSERT INTO k VALUES ('Abc', 'Abc')");
    EXPECT_EQ(rows("SELECT DATALENGTH(v), DATALENGTH(w), DATALENGTH(c.v) FROM c"),
              (Rows{{"1", "2", "1"}}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM c WHERE UPPER(v) = 'e' AND LOWER(w) = N'E'"),
              (Rows{{"1"}}));
    // A column that keeps case apart keeps it against a literal too.
    EXPECT_EQ(rows("SELECT COUNT(*) FROM k WHERE k = 'abc'"), (Rows{{"0"}}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM k WHERE k = 'Abc'"), (Rows{{"1"}}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM k WHERE 'abc' = k.k OR k NOT IN ('x', 'Abc')"),
              (Rows{{"0"}}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM k WHERE k IN ('abc') OR w = 'abc'"), (Rows{{"1"}}))
        << "the other column of that table still ignores case";
    EXPECT_EQ(rows("SELECT CASE WHEN N'x' = N'X' THEN 1 ELSE 0 END FROM k"), (Rows{{"1"}}));
}

// Expressions go out with the server's types, not the store's.
TEST_F(EngineTest, ExpressionsGoOutWithTheServersTypes) {
    ok("CREATE TABLE t (i int, s smallint, b bigint); INSERT INTO t VALUES (1, 2, 3)");
    const auto r = run("SELECT 1, COUNT(*), CAST(1 AS bit), GETDATE(), NEWID(), "
                       "CAST('2024-01-02' AS datetime), i + 1, s * 2, b + i, COUNT_BIG(*), "
                       "CAST(1.5 AS decimal(5,2)), 2.50, @@ROWCOUNT, SYSDATETIME(), MAX(s) AS m, "
                       "LEN(N'ab') n, 1 + 2.5 FROM t");
    ASSERT_EQ(r.size(), 1u);
    ASSERT_FALSE(r[0].error) << r[0].error->message;
    const auto& c = r[0].columns;
    ASSERT_EQ(c.size(), 17u);
    const tds::TypeInfo expected[] = {{tds::kIntN, 4},           {tds::kIntN, 4},
                                      {tds::kBitN, 1},           {tds::kDateTimN, 8},
                                      {tds::kGuid, 16},          {tds::kDateTimN, 8},
                                      {tds::kIntN, 4},           {tds::kIntN, 4},
                                      {tds::kIntN, 8},           {tds::kIntN, 8},
                                      {tds::kDecimalN, 5, 5, 2}, {tds::kNumericN, 5, 3, 2},
                                      {tds::kIntN, 4},           {tds::kDateTime2N, 0, 0, 7},
                                      {tds::kIntN, 2},           {tds::kIntN, 4},
                                      {tds::kNumericN, 5, 3, 1}};
    for (std::size_t i = 0; i < c.size(); ++i)
        EXPECT_EQ(c[i].type, expected[i]) << "column " << i;
    EXPECT_EQ(text(r[0].rows.at(0).at(10)), "150");
    ok("SELECT COUNT(*) AS n, 7 AS seven INTO counted FROM t");
    EXPECT_EQ(run("SELECT * FROM counted").at(0).columns.at(0).type,
              (tds::TypeInfo{tds::kIntN, 4}));
}

// A view's computed column has no declared type, so its values decide: COALESCE, IIF and CASE
// pass them on alike, and a CAST converts them.
TEST_F(EngineTest, ValuesOfAViewsComputedColumnPassThroughConditionals) {
    ok("CREATE TABLE u (a int); INSERT INTO u VALUES (41); "
       "CREATE VIEW uv AS SELECT a + 1 AS x FROM u");
    EXPECT_EQ(rows("SELECT CAST(COALESCE(NULL, x) AS int), IIF(1 = 1, 7, x), "
                   "CASE WHEN 1 = 0 THEN 7 ELSE x END, COALESCE(x, 1) FROM uv"),
              (Rows{{"42", "7", "42", "42"}}));
}

} // namespace sandbox::test

namespace sandbox::test {

// Nesting past the parser's limit is the server's error 191 for the statement, never a crash.
TEST_F(EngineTest, DeepNestingIsAnErrorNotACrash) {
    for (const int depth : {400, 100'000}) {
        const std::string deep = std::string(depth, '(') + "1" + std::string(depth, ')');
        EXPECT_EQ(fails("SELECT " + deep).number, 191) << depth;
        EXPECT_EQ(fails("SELECT 1 WHERE 1 = " + deep).number, 191) << depth;
    }
    EXPECT_EQ(rows("SELECT " + std::string(100, '(') + "1" + std::string(100, ')')), (Rows{{"1"}}));
    // A chain is as deep as it is long: each operator, join or UNION nests the one before.
    const auto chain = [](const std::string& first, const std::string& link, int n) {
        std::string s = first;
        for (int i = 0; i < n; ++i)
            s += link;
        return s;
    };
    for (const char* link :
         {" + 1", " * 1", " OR 1 = 1", " AND 1 = 1", " COLLATE Latin1_General_CS_AS"}) {
        const std::string first =
            std::string(link).find('=') != std::string::npos         ? "SELECT 1 WHERE 1 = 1"
            : std::string(link).find("COLLATE") != std::string::npos ? "SELECT 'a'"
                                                                     : "SELECT 1";
        EXPECT_EQ(fails(chain(first, link, 100'000)).number, 191) << link;
        EXPECT_FALSE(run(chain(first, link, 20)).front().error) << link;
    }
    EXPECT_EQ(fails(chain("SELECT 1", " UNION SELECT 1", 100'000)).number, 191);
    EXPECT_EQ(
        fails(chain("SELECT 1 FROM sys.tables t0", " JOIN sys.tables t ON 1 = 1", 100'000)).number,
        191);
}

} // namespace sandbox::test
