// The store functions of conversions: rowlark_convert(value, 'from', 'to', style, try), which
// keeps the server's rules for CAST, CONVERT and the implicit conversions of typed expressions.
#pragma once

#include "types.h"

#include <optional>
#include <string>

struct sqlite3;
struct sqlite3_context;
struct sqlite3_value;

namespace sandbox {

// Converts the value, of the type from (nullopt: as the store holds it), to the type to; a style
// below 0 is none. mode: 0 CAST, 1 TRY_CAST (a failure is NULL), 2 an assignment to a column
// (cutting text or bytes is error 8152).
void convertValue(sqlite3_context* ctx, sqlite3_value* v, const std::optional<SqlType>& from,
                  const SqlType& to, long style, int mode);
void registerConvert(sqlite3* db);

} // namespace sandbox
