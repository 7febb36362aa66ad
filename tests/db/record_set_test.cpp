// Record sets, their fields and the grid's model, against the sandbox.
#include "sandbox/odbc_support.h"

#include "db/record_set.h"
#include "db/record_set_model.h"

using namespace rowlark;
using namespace rowlark::test;

namespace {

class RecordSetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        auto c = connect(sharedDatabase("recordset"));
        c->execute("CREATE TABLE People (Id int IDENTITY(1,1) NOT NULL, Name nvarchar(30) NULL, "
                   "Age int NULL, Code int NOT NULL, Notes nvarchar(max) NULL)");
    }
    void SetUp() override {
        c = connect(sharedDatabase("recordset"));
        c->setCursorLocation(db::CursorLocation::Client);
    }
    std::unique_ptr<db::Connection> c;
};

} // namespace

TEST_F(RecordSetTest, FieldTypesAndAttributesAsTheJobReadsThem) {
    c->execute("CREATE TABLE Typed (Id int IDENTITY(1,1) NOT NULL, Name nvarchar(30) NULL, Code "
               "int NOT NULL, "
               "Notes nvarchar(max) NULL)");
    c->execute("CREATE TABLE TypedBig (B bigint IDENTITY(5,1), x int)");
    db::RecordSet rs;
    rs.open("SELECT * FROM [Typed];", *c);
    const auto& f = rs.fields();
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0].name, "Id");
    EXPECT_EQ(f[0].type, db::kAdInteger);
    EXPECT_EQ(f[0].attributes, db::kAdFldFixed) << "identity: fixed, not updatable, not nullable";
    EXPECT_TRUE(f[0].identity);
    EXPECT_EQ(f[1].type, db::kAdVarWChar);
    EXPECT_EQ(f[1].attributes, db::kAdFldUpdatable | db::kAdFldIsNullable | db::kAdFldMayBeNull);
    EXPECT_EQ(f[2].attributes, db::kAdFldFixed | db::kAdFldUpdatable);
    EXPECT_FALSE(f[2].identity);
    EXPECT_EQ(f[3].type, db::kAdLongVarWChar);
    EXPECT_NE(f[3].attributes & db::kAdFldLong, 0);
    db::RecordSet big;
    big.open("SELECT * FROM [TypedBig];", *c);
    EXPECT_EQ(big.fields()[0].type, db::kAdBigInt);
    EXPECT_EQ(big.fields()[0].attributes, db::kAdFldFixed);
    EXPECT_TRUE(big.fields()[0].identity) << "the identity flag itself, whatever the integer type";
}

TEST_F(RecordSetTest, RowsNullsAndNames) {
    c->execute("CREATE TABLE Vals (k int, v nvarchar(10), w nvarchar(max))");
    c->execute(
        "INSERT INTO Vals VALUES (1, N'', N''), (2, NULL, NULL), (3, N'\xe4\xb8\xad', N'0')");
    db::RecordSet rs;
    rs.open("SELECT * FROM [Vals];", *c);
    EXPECT_EQ(rs.state(), db::RecordSet::kOpen);
    EXPECT_EQ(rs.recordCount(), 3);
    std::vector<std::string> seen;
    while (!rs.eof()) {
        const auto& v = rs.value(1);
        const auto& w = rs.value("w");
        seen.push_back(*rs.value("k") + ":" + (v ? "'" + *v + "'" : "NULL") + "/" +
                       (w ? "'" + *w + "'" : "NULL"));
        rs.moveNext();
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"1:''/''", "2:NULL/NULL", "3:'\xe4\xb8\xad'/'0'"}));
    EXPECT_THROW(rs.moveNext(), db::OdbcError);
    EXPECT_THROW(rs.value(0), db::OdbcError);
    rs.close();
    EXPECT_EQ(rs.state(), db::RecordSet::kClosed);
    EXPECT_THROW(rs.eof(), db::OdbcError);
}

TEST_F(RecordSetTest, RecordCountNeedsAClientSideCursor) {
    c->setCursorLocation(db::CursorLocation::Server);
    db::RecordSet rs;
    rs.open("SELECT 1 AS one UNION ALL SELECT 2", *c);
    EXPECT_EQ(rs.recordCount(), -1);
    c->setCursorLocation(db::CursorLocation::Client);
    rs.open("SELECT 1 AS one UNION ALL SELECT 2", *c);
    EXPECT_EQ(rs.recordCount(), 2);
    EXPECT_EQ(*rs.value(0), "1") << "counting does not move the current row";
}

TEST_F(RecordSetTest, UnknownFieldAndBadStatementFail) {
    db::RecordSet rs;
    rs.open("SELECT 1 AS one", *c);
    EXPECT_THROW(rs.value("two"), db::OdbcError);
    EXPECT_THROW(rs.value(5), db::OdbcError);
    try {
        rs.open("SELECT * FROM [nothing];", *c);
        FAIL();
    } catch (const db::OdbcError& e) {
        EXPECT_EQ(e.description(), "[FreeTDS][SQL Server]Invalid object name 'nothing'.");
    }
    EXPECT_EQ(rs.state(), db::RecordSet::kClosed);
}

TEST_F(RecordSetTest, TablesCatalogueHasTypeAndName) {
    db::RecordSet rs;
    rs.openTables(*c);
    bool found = false;
    while (!rs.eof()) {
        if (*rs.value("TABLE_NAME") == "People") found = *rs.value("TABLE_TYPE") == "TABLE";
        rs.moveNext();
    }
    EXPECT_TRUE(found);
}

TEST_F(RecordSetTest, ModelShowsRowsAsTheViewAsksForThem) {
    c->execute("CREATE TABLE Many (n int, s nvarchar(5))");
    c->execute("INSERT INTO Many VALUES (1, N'a'), (2, NULL)");
    for (int i = 0; i < 9; ++i)
        c->execute("INSERT INTO Many SELECT n, s FROM Many");
    auto rs = std::make_shared<db::RecordSet>();
    rs->open("SELECT * FROM Many", *c);
    db::RecordSetModel model(rs);
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "s");
    EXPECT_LT(model.rowCount(), 1024) << "not everything at once";
    EXPECT_TRUE(model.canFetchMore({}));
    while (model.canFetchMore({}))
        model.fetchMore({});
    EXPECT_EQ(model.rowCount(), 1024);
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "a");
    EXPECT_TRUE(model.data(model.index(1, 1), db::RecordSetModel::kIsNullRole).toBool());
    EXPECT_FALSE(model.data(model.index(0, 1), db::RecordSetModel::kIsNullRole).toBool());
}
