// Rewrites T-SQL tokens into the store's SQL dialect.
#pragma once

#include "error.h"
#include "lexer.h"

#include <functional>

namespace sandbox {

// Reads an object name such as t, [t], dbo.t or Demo.dbo.t at p and returns the object's own
// name; p moves past it. Throws SqlError for a schema other than dbo or a name that is missing.
std::string readObjectName(TokenIt& p, TokenIt end, const std::string& database);

// Whether a column of that name (without its table) holds character data in the statement's
// tables: a + beside it joins strings.
using IsTextColumn = std::function<bool(std::string_view column)>;

// The store's SQL for the tokens [b, e). Throws SqlError for what the sandbox does not support.
std::string translate(TokenIt b, TokenIt e, const std::string& database,
                      const IsTextColumn& isTextColumn = {});

// The T-SQL type named at p (nvarchar(50), decimal(10, 2), varchar(max)); p moves past it.
struct SqlType;
SqlType readType(TokenIt& p, TokenIt end);

// A signed whole number at p; p moves past it. Throws SqlError 8115 when it passes 64 bits.
std::int64_t readInteger(TokenIt& p, TokenIt end);

// Finds the first token at parenthesis depth 0 in [b, e) that is the keyword; e when none.
TokenIt findTopLevel(TokenIt b, TokenIt e, std::string_view keyword);

} // namespace sandbox
