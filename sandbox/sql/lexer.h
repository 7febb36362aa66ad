// T-SQL tokens and the split of a batch into statements.
#pragma once

#include "text.h"

#include <string>
#include <vector>

namespace sandbox {

struct Token {
    enum Kind { Word, QuotedName, String, Number, Binary, Variable, Symbol };
    Kind kind = Word;
    std::string text; // a name without its brackets, a string without its quotes, the symbol itself
    bool unicode = false; // N'...'
    std::size_t line = 1;

    // A bare word, compared without regard to case.
    bool is(std::string_view keyword) const { return kind == Word && iequals(text, keyword); }
    bool isSymbol(std::string_view s) const { return kind == Symbol && text == s; }
    bool isName() const { return kind == Word || kind == QuotedName; }
};

using Tokens = std::vector<Token>;
using TokenIt = Tokens::const_iterator;

// A lexical fault of the batch: the server's number and message.
struct LexError {
    int number;
    std::string message;
    std::size_t line;
};

// Words such as SELECT, IF or DECLARE that begin a statement.
bool startsStatement(const Token& t);

// Throws LexError for an unclosed quote, bracket or comment.
Tokens tokenize(std::string_view sql);

// One statement, or an IF with its branches, or a BEGIN ... END block.
struct Statement {
    enum Kind { Simple, If, Block };
    Kind kind = Simple;
    Tokens tokens;                   // Simple: the statement; If: the condition
    std::vector<Statement> children; // If: then [, else]; Block: the statements
};

// Throws LexError (102) where a statement cannot be delimited.
std::vector<Statement> splitStatements(const Tokens& tokens);

} // namespace sandbox
