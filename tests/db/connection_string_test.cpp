// Rewriting braced values for the FreeTDS that reads braces its own way.
#include "db/connection_string.h"

#include <gtest/gtest.h>

using rowlark::db::withUndoubledBraces;

TEST(UndoubledBraces, OnlyDoubledBracesAreUndone) {
    EXPECT_EQ(
        withUndoubledBraces("Driver={SQL Server};Server=db1,1433;Database=d;Uid=sa;Pwd={a}}b;c};"),
        "Driver={SQL Server};Server=db1,1433;Database=d;Uid=sa;Pwd={a}b;c};");
    EXPECT_EQ(withUndoubledBraces("Driver={SQL Server};Database={x}}}}};Pwd=p;"),
              "Driver={SQL Server};Database={x}}};Pwd=p;");
    EXPECT_FALSE(withUndoubledBraces("Driver={SQL Server};Server=db1,1433;Pwd={a;b};"))
        << "nothing to undo: no second try";
    EXPECT_FALSE(withUndoubledBraces("Driver={SQL Server};Pwd={a}};b};"))
        << "a value with }; cannot be written so";
    EXPECT_FALSE(withUndoubledBraces("Driver={SQL Server};Pwd={a}}")) << "unterminated";
}

TEST(ConnectionString, ValuesByKey) {
    using rowlark::db::connectionStringValue;
    const std::string s = "Driver={SQL Server};Server=db1,1433;Database=d;Uid=sa;Pwd={a;b}}c};";
    EXPECT_EQ(connectionStringValue(s, "server"), "db1,1433") << "keys ignore letter case";
    EXPECT_EQ(connectionStringValue(s, "Driver"), "SQL Server");
    EXPECT_EQ(connectionStringValue(s, "PWD"), "a;b}c") << "a braced value holds ';' and '}}'";
    EXPECT_EQ(connectionStringValue(s, "Port"), std::nullopt);
    EXPECT_EQ(connectionStringValue("Pwd={open;Server=x", "Server"), std::nullopt)
        << "an unclosed brace runs to the end";
}
