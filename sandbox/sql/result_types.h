// The types the server gives the result columns of a query that are expressions, not columns:
// SELECT 1 is an int, COUNT(*) an int, CAST(x AS bit) a bit, GETDATE() a datetime. The store
// keeps no such type, and without one a column is typed from its first value.
#pragma once

#include "lexer.h"
#include "translate.h"
#include "types.h"

#include <optional>
#include <vector>

namespace sandbox {

// One entry for each item of the outermost select list of [b, e) up to the first star; nullopt
// where the type is the column's own or not known from the tokens.
std::vector<std::optional<SqlType>> selectListTypes(TokenIt b, TokenIt e, const ColumnKinds& kinds);

} // namespace sandbox
