// Statements clients send to load and page data: SET IDENTITY_INSERT with its rules, TOP PERCENT.
#include "engine_support.h"

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
}

} // namespace sandbox::test
