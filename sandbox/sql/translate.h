// Rewrites T-SQL tokens into the store's SQL dialect.
#pragma once

#include "error.h"
#include "lexer.h"
#include "types.h"

#include <map>
#include <set>

namespace sandbox {

// Reads an object name such as t, [t], dbo.t or Demo.dbo.t at p and returns the object's own
// name; p moves past it. Throws SqlError for a schema other than dbo or a name that is missing.
std::string readObjectName(TokenIt& p, TokenIt end, const std::string& database);

// A variable of the batch (DECLARE, or a parameter of sp_executesql or a prepared statement):
// its declared type and its value, held as a value of that type is sent.
struct Variable {
    SqlType type;
    tds::Value value;
};
using Variables = std::map<std::string, Variable>; // by lower-case name with its @

// What the tables a statement names tell of its column names (lower case, without their table).
struct ColumnKinds {
    std::set<std::string> text;       // character data in every table that has the name: + joins
    std::set<std::string> narrowText; // of those, char, varchar and text (a byte a character)
    std::map<std::string, SqlType> integer; // whole numbers in every table that has the name
    std::set<std::string> caseSensitive;    // columns declared _CS or _BIN
    // Literals compare without regard to letter case, as the server's default collation does;
    // not beside a column that keeps case apart, whose collation would lose to the literal's.
    bool literalsIgnoreCase = false;
    const Variables* variables = nullptr; // the batch's variables, by which @name reads its value

    bool isText(std::string_view column) const;
    bool isNarrowText(std::string_view column) const;
    const SqlType* integerType(std::string_view column) const;
    const Variable* variable(std::string_view name) const;
    bool isCaseSensitive(std::string_view column) const;
};

// The store's SQL for the tokens [b, e). Throws SqlError for what the sandbox does not support.
std::string translate(TokenIt b, TokenIt e, const std::string& database,
                      const ColumnKinds& columns = {});

// The T-SQL type named at p (nvarchar(50), decimal(10, 2), varchar(max)); p moves past it.
SqlType readType(TokenIt& p, TokenIt end);

// A signed whole number at p; p moves past it. Throws SqlError 8115 when it passes 64 bits.
std::int64_t readInteger(TokenIt& p, TokenIt end);

// Finds the first token at parenthesis depth 0 in [b, e) that is the keyword; e when none.
TokenIt findTopLevel(TokenIt b, TokenIt e, std::string_view keyword);

} // namespace sandbox
