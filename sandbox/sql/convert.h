// The store function of conversions: rowlark_convert(value, 'from', 'to', style, try), which
// keeps the server's rules for CAST, CONVERT and the implicit conversions of typed expressions.
#pragma once

struct sqlite3;

namespace sandbox {

void registerConvert(sqlite3* db);

} // namespace sandbox
