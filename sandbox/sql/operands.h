// What the translation asks of the tokens around an operand: keywords, comparisons, where an
// operand ends, what a literal is compared with; and the store's SQL of a CAST and a variable.
#pragma once

#include "lexer.h"
#include "translate.h"

#include <string>

namespace sandbox {

// A T-SQL keyword (lower case), not a name.
bool isKeyword(const std::string& word);
bool isComparison(const Token& t);

// CAST, CONVERT and their TRY_ forms of the store's SQL value to the type.
std::string castSql(const std::string& value, const SqlType& t, bool tryCast);

// A variable's value as the store's literal, in its declared type.
std::string variableSql(const Variable& var, const ColumnKinds& columns);

// The whole-number column that the string literal at p is compared with (column = 'x' or
// 'x' = column) in [b, e), or null.
const SqlType* comparedInteger(TokenIt b, TokenIt p, TokenIt e, const ColumnKinds& columns);

// Whether the literal at p meets a column that keeps case apart: column = 'x', 'x' = column,
// column [NOT] IN (..., 'x', ...).
bool besideCaseSensitiveColumn(TokenIt b, TokenIt p, TokenIt e, const ColumnKinds& columns);

// The token that closes the one at q, which opens: ')' for '(', END for CASE; e when none does.
TokenIt closingToken(TokenIt q, TokenIt e);

// Where the operand that starts at q ends: a sign, then a parenthesis, a CASE, a call (with its
// OVER clause), a dotted name or one token.
TokenIt operandEnd(TokenIt q, TokenIt e);

} // namespace sandbox
