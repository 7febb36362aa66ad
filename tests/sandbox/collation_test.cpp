// Character data compares as on a server with the default collation: letter case ignored, accents
// not, trailing blanks ignored; a column declared case-sensitive keeps case apart.
#include "engine_support.h"

#include "sql/collation.h"

namespace sandbox::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

TEST(Collation, ComparesAsTheServerDefault) {
    EXPECT_EQ(compareIn(kCiAs, "Abc", "aBC"), 0);
    EXPECT_EQ(compareIn(kCiAs, "abc", "abc   "), 0) << "trailing blanks";
    EXPECT_NE(compareIn(kCiAs, "abc", " abc"), 0) << "leading blanks count";
    EXPECT_NE(compareIn(kCiAs, "e", "\u00e9"), 0) << "accents count";
    EXPECT_EQ(compareIn(kCiAs, "\u00c9T\u00c9", "\u00e9t\u00e9"), 0);
    EXPECT_EQ(compareIn(kCiAs, "\u0429\u0401", "\u0449\u0451"), 0) << "Cyrillic";
    EXPECT_EQ(compareIn(kCiAs, "\u03a3", "\u03c3"), 0) << "Greek";
    EXPECT_EQ(compareIn(kCiAs, "\u0141\u00f3d\u017a", "\u0142\u00d3D\u0179"), 0);
    EXPECT_LT(compareIn(kCiAs, "a", "B"), 0);
    EXPECT_LT(compareIn(kCiAs, "B", "c"), 0);
    EXPECT_LT(compareIn(kCiAs, "ab", "abc"), 0);
    EXPECT_NE(compareIn(kCsAs, "a", "A"), 0);
    EXPECT_EQ(compareIn(kCsAs, "a", "a  "), 0);
    EXPECT_NE(compareIn(kCiAs, "\xff\xfe", "\xff"), 0) << "bytes that are no UTF-8 still compare";
}

TEST(Collation, DecimalTextComparesAsNumbers) {
    EXPECT_EQ(compareDecimalText("1.50", "1.5"), 0);
    EXPECT_EQ(compareDecimalText("-0.000", "0"), 0);
    EXPECT_EQ(compareDecimalText("007", "7.0"), 0);
    EXPECT_LT(compareDecimalText("9", "10"), 0);
    EXPECT_LT(compareDecimalText("-10", "-9"), 0);
    EXPECT_LT(compareDecimalText("-1", "0.5"), 0);
    EXPECT_LT(compareDecimalText("12345678901234.5678", "12345678901234.5679"), 0);
    EXPECT_LT(compareDecimalText("99999999999999999999999999999999999999", "1e40"), 0)
        << "text that is no plain number sorts after the numbers";
    EXPECT_GT(compareDecimalText("abc", "abb"), 0);
    EXPECT_LT(compareDecimalText("-1.5", "-1.25"), 0) << "a negative's larger magnitude is less";
    EXPECT_GT(compareDecimalText("0.2", "0.15"), 0);
    EXPECT_EQ(compareDecimalText(" 12 ", "+12.000"), 0) << "blanks around and the sign";
}

class CollatedData : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ok("CREATE TABLE c (id int, s nvarchar(10), v varchar(10), k nvarchar(10) COLLATE "
           "Latin1_General_CS_AS)");
        ok("INSERT INTO c VALUES (1, N'Abc', 'Abc', N'Abc'), (2, N'abc', 'abc', N'abc'), "
           "(3, N'abc  ', 'abc  ', N'abc  '), (4, N'\u00e1bc', 'x', N'\u00e1bc'), "
           "(5, N'ABC', 'ABC', N'ABC')");
    }
};

TEST_F(CollatedData, EqualityLessThanAndInIgnoreCaseAndTrailingBlanks) {
    EXPECT_EQ(rows("SELECT count(*) FROM c WHERE s = N'aBc'"), Rows{{"4"}});
    EXPECT_EQ(rows("SELECT count(*) FROM c WHERE v = 'ABC '"), Rows{{"4"}});
    EXPECT_EQ(rows("SELECT count(*) FROM c WHERE s IN (N'ABC', N'zzz')"), Rows{{"4"}});
    EXPECT_EQ(rows("SELECT count(*) FROM c WHERE s < N'B'"), Rows{{"4"}});
    EXPECT_EQ(rows("SELECT count(*) FROM c WHERE k = N'abc'"), Rows{{"2"}})
        << "the case-sensitive column: abc and 'abc  '";
    EXPECT_EQ(rows("SELECT count(*) FROM c WHERE s = N'abc' COLLATE Latin1_General_CS_AS"),
              Rows{{"2"}});
}

TEST_F(CollatedData, GroupsDistinctPartitionsAndOrder) {
    EXPECT_EQ(rows("SELECT count(DISTINCT s) FROM c"), Rows{{"2"}});
    EXPECT_EQ(rows("SELECT count(*) FROM (SELECT s FROM c GROUP BY s) g"), Rows{{"2"}});
    EXPECT_EQ(rows("SELECT count(DISTINCT k) FROM c"), Rows{{"4"}});
    EXPECT_EQ(rows("SELECT id FROM (SELECT id, ROW_NUMBER() OVER (PARTITION BY s ORDER BY id) "
                   "AS rn FROM c) w WHERE rn > 1 ORDER BY id"),
              (Rows{{"2"}, {"3"}, {"5"}}));
    ok("CREATE TABLE o (s nvarchar(5))");
    ok("INSERT INTO o VALUES (N'c'), (N'B'), (N'a')");
    EXPECT_EQ(rows("SELECT s FROM o ORDER BY s"), (Rows{{"a"}, {"B"}, {"c"}}));
}

TEST_F(CollatedData, UniqueKeysAndSelectIntoKeepTheCollation) {
    ok("CREATE TABLE u (k nvarchar(5) PRIMARY KEY)");
    ok("INSERT INTO u VALUES (N'a')");
    EXPECT_EQ(fails("INSERT INTO u VALUES (N'A ')").number, 2627);
    ok("INSERT INTO u VALUES (N'\u00e1')");
    ok("SELECT s INTO copied FROM c");
    EXPECT_EQ(rows("SELECT count(DISTINCT s) FROM copied"), Rows{{"2"}});
    ok("SELECT s INTO #work FROM c");
    EXPECT_EQ(rows("SELECT count(*) FROM #work WHERE s = N'ABC'"), Rows{{"4"}});
}

} // namespace
} // namespace sandbox::test
