// The statements the program sends, answered by the sandbox through the real driver.
#include "odbc_support.h"

#include "db/record_set.h"

using namespace rowlark;
using namespace rowlark::test;

namespace {

class SandboxStatements : public ::testing::Test {
protected:
    void SetUp() override { c = connect(sharedDatabase("statements")); }
    std::unique_ptr<db::Connection> c;
};

} // namespace

TEST_F(SandboxStatements, IdentityAndNullableMetadataBeforeAndAfterSelectInto) {
    c->execute("CREATE TABLE Meta (Id int IDENTITY(1,1) NOT NULL, Big bigint NOT NULL, Name "
               "nvarchar(20) NULL)");
    c->execute("INSERT INTO Meta (Big, Name) VALUES (1, N'a')");
    for (const char* table : {"Meta", "MetaCopy"}) {
        if (std::string(table) == "MetaCopy") c->execute("SELECT * INTO [MetaCopy] From [Meta]");
        db::Statement st(*c);
        st.execute(std::string("SELECT * FROM [") + table + "];");
        const auto& cols = st.columns();
        ASSERT_EQ(cols.size(), 3u);
        EXPECT_EQ(cols[0].sqlType, SQL_INTEGER) << table;
        EXPECT_TRUE(cols[0].autoUnique) << table;
        EXPECT_FALSE(cols[0].nullable) << table;
        EXPECT_FALSE(cols[0].updatable) << table;
        EXPECT_EQ(cols[1].sqlType, SQL_BIGINT);
        EXPECT_FALSE(cols[1].autoUnique);
        EXPECT_FALSE(cols[1].nullable);
        EXPECT_TRUE(cols[1].updatable);
        EXPECT_EQ(cols[2].sqlType, SQL_WVARCHAR);
        EXPECT_TRUE(cols[2].nullable);
    }
}

TEST_F(SandboxStatements, WorkCopyAndWorkColumnNumberRowsInOrder) {
    c->execute("CREATE TABLE Src (City nvarchar(20), Zip varchar(5))");
    c->execute("INSERT INTO Src VALUES (N'B', '2'), (N'A', '1'), (N'B', '2'), (NULL, NULL)");
    c->execute("if (object_id ('TEMP_TABLE_CREATED_BY_ORVANDEL') is not null) drop table "
               "[TEMP_TABLE_CREATED_BY_ORVANDEL]");
    c->execute("SELECT * INTO [TEMP_TABLE_CREATED_BY_ORVANDEL] From [Src]");
    c->execute("ALTER TABLE [TEMP_TABLE_CREATED_BY_ORVANDEL] ADD [TEMP_COLUMN_CREATED_BY_ORVANDEL] "
               "INT IDENTITY(1,1)");
    EXPECT_EQ(query(*c, "SELECT * FROM [TEMP_TABLE_CREATED_BY_ORVANDEL];"),
              (Rows{{"B", "2", "1"}, {"A", "1", "2"}, {"B", "2", "3"}, {"NULL", "NULL", "4"}}));
    c->execute(
        "DELETE FROM [TEMP_TABLE_CREATED_BY_ORVANDEL] WHERE [TEMP_COLUMN_CREATED_BY_ORVANDEL] = 3");
    c->execute("SELECT [City], [Zip] INTO [Src2] FROM [TEMP_TABLE_CREATED_BY_ORVANDEL]");
    c->execute("DROP TABLE [TEMP_TABLE_CREATED_BY_ORVANDEL]");
    EXPECT_EQ(query(*c, "SELECT * FROM [Src2];"), (Rows{{"B", "2"}, {"A", "1"}, {"NULL", "NULL"}}));
    try {
        c->execute("ALTER TABLE [Meta2744] ADD [x] INT IDENTITY(1,1)");
        FAIL();
    } catch (const db::OdbcError& e) {
        EXPECT_NE(e.description().find("Invalid object name 'Meta2744'."), std::string::npos);
    }
}

TEST_F(SandboxStatements, BatchWithAFailingStatementReportsItAndGoesOn) {
    c->execute("CREATE TABLE Dup (a int PRIMARY KEY)");
    db::Statement st(*c);
    EXPECT_FALSE(st.execute(
        "INSERT INTO Dup VALUES (1); INSERT INTO Dup VALUES (1); INSERT INTO Dup VALUES (2)"));
    EXPECT_EQ(st.rowCount(), 1);
    try {
        st.nextResult();
        FAIL() << "the duplicate key must surface";
    } catch (const db::OdbcError& e) {
        EXPECT_EQ(e.nativeError(), 2627);
        EXPECT_EQ(
            e.description().rfind("[FreeTDS][SQL Server]Violation of PRIMARY KEY constraint", 0),
            0u);
    }
    EXPECT_TRUE(st.nextResult());
    EXPECT_EQ(st.rowCount(), 1);
    EXPECT_FALSE(st.nextResult());
    EXPECT_EQ(query(*c, "SELECT a FROM Dup"), (Rows{{"1"}, {"2"}}));
}

TEST_F(SandboxStatements, MissingObjectTextReachesTheClientUnchanged) {
    try {
        query(*c, "SELECT * FROM [x];");
        FAIL();
    } catch (const db::OdbcError& e) {
        EXPECT_EQ(e.description(), "[FreeTDS][SQL Server]Invalid object name 'x'.");
        EXPECT_EQ(e.nativeError(), 208);
    }
}

TEST_F(SandboxStatements, UnicodeAndNullRoundTrip) {
    c->execute("CREATE TABLE Uni (k int, v nvarchar(40), w nvarchar(max), x varchar(10))");
    c->execute(
        "INSERT INTO Uni VALUES (1, N'中文 😀 é', N'長い 🙂', 'café'), (2, N'', N'', "
        "''), "
        "(3, NULL, NULL, NULL)");
    EXPECT_EQ(query(*c, "SELECT v, w, x FROM Uni ORDER BY k"),
              (Rows{{"中文 😀 é", "長い 🙂", "café"}, {"", "", ""}, {"NULL", "NULL", "NULL"}}));
    EXPECT_EQ(query(*c, "SELECT k FROM Uni WHERE v = N'中文 😀 é'"), (Rows{{"1"}}));
}

// Decimals keep every digit up to 38, and compare, group and sort as numbers.
TEST_F(SandboxStatements, DecimalsAreExactToThirtyEightDigits) {
    c->execute("CREATE TABLE Dec38 (k int, v decimal(38, 4), w numeric(38, 0))");
    c->execute("INSERT INTO Dec38 VALUES (1, 12345678901234.5678, "
               "12345678901234567890123456789012345678), (2, 12345678901234.5679, 1), "
               "(3, 1.50, 10), (4, 1.5, 9), (5, -0.0001, -99999999999999999999999999999999999999)");
    EXPECT_EQ(query(*c, "SELECT v, w FROM Dec38 WHERE k IN (1, 5) ORDER BY k"),
              (Rows{{"12345678901234.5678", "12345678901234567890123456789012345678"},
                    {"-0.0001", "-99999999999999999999999999999999999999"}}));
    EXPECT_EQ(query(*c, "SELECT k FROM Dec38 WHERE v = 12345678901234.5679"), Rows{{"2"}})
        << "values that differ past the 15th digit stay apart";
    EXPECT_EQ(query(*c, "SELECT count(DISTINCT v) FROM Dec38"), Rows{{"4"}}) << "1.50 is 1.5";
    EXPECT_EQ(query(*c, "SELECT k FROM Dec38 ORDER BY w"),
              (Rows{{"5"}, {"2"}, {"4"}, {"3"}, {"1"}}))
        << "ordered as numbers";
    c->execute("SELECT * INTO Dec38Copy FROM Dec38");
    EXPECT_EQ(query(*c, "SELECT w FROM Dec38Copy WHERE k = 1"),
              Rows{{"12345678901234567890123456789012345678"}});
}

// A driver that logs in with TDS 7.1 gets the types of that version: (max) text as ntext, dates
// as text; the values are the same.
TEST_F(SandboxStatements, AnOlderProtocolVersionGetsItsOwnTypes) {
    c->execute("CREATE TABLE Old71 (n nvarchar(max), d date, t datetime2(3))");
    c->execute("INSERT INTO Old71 VALUES (N'" + std::string(5000, 'x') +
               " \u00e9', '2024-02-29', '2024-02-29 13:05:07.123')");
    db::Connection old;
    old.setLoginTimeout(10);
    old.open(connectionString(sharedDatabase("statements")) + "TDS_Version=7.1;");
    const Rows rows = query(old, "SELECT n, d, t FROM Old71");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], std::string(5000, 'x') + " \u00e9");
    EXPECT_EQ(rows[0][1], "2024-02-29");
    EXPECT_EQ(rows[0][2], "2024-02-29 13:05:07.123");
    db::RecordSet typed71, typed74;
    typed71.open("SELECT d FROM Old71", old);
    typed74.open("SELECT d FROM Old71", *c);
    EXPECT_EQ(typed71.fields().at(0).type, db::kAdVarWChar) << "text before 7.3";
    EXPECT_EQ(typed74.fields().at(0).type, db::kAdDbDate);
}

TEST_F(SandboxStatements, TablesCatalogueThroughSqlTables) {
    auto demo = connect("Demo");
    db::Statement st(*demo);
    st.tables();
    ASSERT_GE(st.columns().size(), 5u);
    EXPECT_EQ(st.columns()[2].name, "TABLE_NAME");
    EXPECT_EQ(st.columns()[3].name, "TABLE_TYPE");
    std::vector<std::string> tables, views;
    std::vector<db::Value> row;
    while (st.fetch(row))
        (*row[3] == "TABLE" ? tables : views).push_back(*row[2]);
    EXPECT_EQ(tables,
              (std::vector<std::string>{"Customers", "Orders", "Physics", "SensorReadings"}));
    EXPECT_NE(std::find(views.begin(), views.end(), "CustomerCities"), views.end());
}

TEST_F(SandboxStatements, PreviewAndColumnQueriesOfTheWizard) {
    auto demo = connect("Demo");
    auto preview = query(*demo, "SELECT TOP 100 * FROM [Customers];");
    EXPECT_EQ(preview.size(), 10u);
    EXPECT_EQ(preview[0][0], "Ann Berger");
    EXPECT_EQ(preview[0][4], "2019-03-04");
    EXPECT_EQ(
        query(*demo,
              "SELECT column_name FROM information_schema.Columns WHERE table_name='Customers'"),
        (Rows{{"Name"}, {"City"}, {"Zip"}, {"Email"}, {"Since"}}));
}

TEST_F(SandboxStatements, LargeResultArrivesWhole) {
    c->execute("CREATE TABLE Big (n int, s nvarchar(20)); INSERT INTO Big VALUES (1, N'one'), (2, "
               "N'two')");
    for (int i = 0; i < 17; ++i)
        c->execute("INSERT INTO Big SELECT n + 2 * (SELECT count(*) FROM Big) / 2, s FROM Big");
    db::Statement st(*c);
    st.execute("SELECT n, s FROM Big");
    std::vector<db::Value> row;
    std::size_t count = 0;
    long long sum = 0;
    while (st.fetch(row))
        ++count, sum += std::stoll(*row[0]);
    EXPECT_EQ(count, 262144u);
    EXPECT_GT(sum, 0);
}

// An array of parameters (SQL_ATTR_PARAMSET_SIZE above 1): the driver sends one call for each
// set, in one message, and every set is answered.
TEST_F(SandboxStatements, AnArrayOfParametersRunsEverySet) {
    c->execute("CREATE TABLE Arr (n int, s nvarchar(10))");
    SQLHSTMT st = SQL_NULL_HSTMT;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, c->handle(), &st)));
    SQLINTEGER numbers[3] = {1, 2, 3};
    SQLWCHAR texts[3][4] = {{'a', 0}, {'b', 0}, {'c', 0}};
    SQLLEN numberLengths[3] = {0, 0, 0}, textLengths[3] = {SQL_NTS, SQL_NTS, SQL_NTS};
    SQLULEN processed = 0;
    SQLSetStmtAttr(st, SQL_ATTR_PARAM_BIND_TYPE, SQL_PARAM_BIND_BY_COLUMN, 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, numbers, 0,
                     numberLengths);
    SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 10, 0, texts,
                     sizeof texts[0], textLengths);
    SQLWCHAR sql[] = {'I', 'N', 'S', 'E', 'R', 'T', ' ', 'I', 'N', 'T', 'O', ' ', 'A', 'r', 'r',
                      ' ', 'V', 'A', 'L', 'U', 'E', 'S', ' ', '(', '?', ',', ' ', '?', ')', 0};
    const SQLRETURN rc = SQLExecDirectW(st, sql, SQL_NTS);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << rc;
    while (SQL_SUCCEEDED(SQLMoreResults(st))) {
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    EXPECT_EQ(processed, 3u);
    EXPECT_EQ(query(*c, "SELECT n, s FROM Arr ORDER BY n"),
              (Rows{{"1", "a"}, {"2", "b"}, {"3", "c"}}));
    EXPECT_EQ(query(*c, "SELECT 7"), (Rows{{"7"}})) << "the connection goes on";
}
