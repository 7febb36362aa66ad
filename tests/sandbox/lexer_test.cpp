// Tokens and statement boundaries of T-SQL batches.
#include "sql/lexer.h"

#include <gtest/gtest.h>

using namespace sandbox;

namespace {

std::vector<std::string> firstWords(const std::string& sql) {
    std::vector<std::string> out;
    for (const auto& s : splitStatements(tokenize(sql)))
        out.push_back(s.kind == Statement::If      ? "IF"
                      : s.kind == Statement::Block ? "BLOCK"
                                                   : s.tokens.front().text);
    return out;
}

} // namespace

TEST(Lexer, QuotedNamesAndStrings) {
    auto t = tokenize(
        "SELECT [a]]b], N'it''s', 'x', \"q\"\"\" FROM [t] -- comment\n/* c /* nested */ */");
    ASSERT_EQ(t.size(), 10u);
    EXPECT_EQ(t[1].kind, Token::QuotedName);
    EXPECT_EQ(t[1].text, "a]b");
    EXPECT_EQ(t[3].kind, Token::String);
    EXPECT_TRUE(t[3].unicode);
    EXPECT_EQ(t[3].text, "it's");
    EXPECT_FALSE(t[5].unicode);
    EXPECT_EQ(t[7].text, "q\"");
    EXPECT_EQ(t[9].text, "t");
}

TEST(Lexer, NumbersBinaryAndOperators) {
    auto t = tokenize("1.5e3 0x0AFF <> >= @@SPID");
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[0].kind, Token::Number);
    EXPECT_EQ(t[0].text, "1.5e3");
    EXPECT_EQ(t[1].kind, Token::Binary);
    EXPECT_EQ(t[1].text, "0AFF");
    EXPECT_TRUE(t[2].isSymbol("<>"));
    EXPECT_TRUE(t[3].isSymbol(">="));
    EXPECT_EQ(t[4].kind, Token::Variable);
}

TEST(Lexer, UnclosedQuoteIsError105) {
    try {
        tokenize("SELECT 'abc");
        FAIL();
    } catch (const LexError& e) {
        EXPECT_EQ(e.number, 105);
        EXPECT_EQ(e.message, "Unclosed quotation mark after the character string 'abc'.");
    }
    EXPECT_THROW(tokenize("SELECT [abc"), LexError);
    EXPECT_THROW(tokenize("/* never closed"), LexError);
}

TEST(Splitter, StatementsWithAndWithoutSemicolons) {
    EXPECT_EQ(firstWords("SELECT 1; SELECT 2"), (std::vector<std::string>{"SELECT", "SELECT"}));
    EXPECT_EQ(firstWords("SELECT 1 SELECT 2 insert into t values (1)"),
              (std::vector<std::string>{"SELECT", "SELECT", "insert"}));
    EXPECT_EQ(firstWords("INSERT INTO t SELECT * FROM u; UPDATE t SET a = 1 WHERE b = 2"),
              (std::vector<std::string>{"INSERT", "UPDATE"}));
    EXPECT_EQ(firstWords("SELECT a FROM t UNION ALL SELECT a FROM u"),
              (std::vector<std::string>{"SELECT"}));
    EXPECT_EQ(firstWords("CREATE VIEW v AS SELECT 1 AS x DROP TABLE IF EXISTS t"),
              (std::vector<std::string>{"CREATE", "DROP"}));
    EXPECT_EQ(firstWords("SELECT * FROM t WHERE a IN (SELECT a FROM u)"),
              (std::vector<std::string>{"SELECT"}));
}

TEST(Splitter, IfWithBodyElseAndBlocks) {
    auto s = splitStatements(tokenize("if (object_id ('X') is not null) drop table [X] SELECT 1; "
                                      "IF OBJECT_ID(N'Y') IS NULL BEGIN CREATE TABLE Y (a int) "
                                      "INSERT INTO Y VALUES (1) END ELSE SELECT 2"));
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].kind, Statement::If);
    ASSERT_EQ(s[0].children.size(), 1u);
    EXPECT_EQ(s[0].children[0].tokens.front().text, "drop");
    EXPECT_EQ(s[1].tokens.front().text, "SELECT");
    EXPECT_EQ(s[2].kind, Statement::If);
    ASSERT_EQ(s[2].children.size(), 2u);
    EXPECT_EQ(s[2].children[0].kind, Statement::Block);
    EXPECT_EQ(s[2].children[0].children.size(), 2u);
}

TEST(Splitter, UnbalancedParenthesisOrOpenBlockIsSyntaxError) {
    EXPECT_THROW(splitStatements(tokenize("SELECT 1)")), LexError);
    EXPECT_THROW(splitStatements(tokenize("BEGIN SELECT 1")), LexError);
    // A stray ELSE or END is an error, not a statement the splitter never leaves.
    EXPECT_THROW(splitStatements(tokenize("SELECT 1 ELSE SELECT 2")), LexError);
    EXPECT_THROW(splitStatements(tokenize("ELSE")), LexError);
    EXPECT_THROW(splitStatements(tokenize("IF 1 = 1 SELECT 1 ELSE ELSE SELECT 2")), LexError);
    EXPECT_THROW(splitStatements(tokenize("IF 1 = 1")), LexError);
}

TEST(Splitter, AQueryEndsWhereItsGrammarEnds) {
    EXPECT_EQ(firstWords("CREATE TABLE #t (i int) INSERT INTO #t SELECT 1 SELECT 2"),
              (std::vector<std::string>{"CREATE", "INSERT", "SELECT"}));
    EXPECT_EQ(firstWords("SELECT 1 SELECT 2 UNION SELECT 3 UPDATE t SET a = 1 DELETE t"),
              (std::vector<std::string>{"SELECT", "SELECT", "UPDATE", "DELETE"}));
    EXPECT_EQ(firstWords("WITH c AS (SELECT 1 AS x) SELECT x FROM c SELECT 2"),
              (std::vector<std::string>{"WITH", "SELECT"}));
}
