// The store functions that keep T-SQL's rules where the store's own operators and functions
// differ: division by zero (rowlark_divisor), AVG of whole numbers (rowlark_avg), letter case
// beyond ASCII (rowlark_upper, rowlark_lower), case-insensitive search (rowlark_replace,
// rowlark_charindex), DATALENGTH by code page; and, in convert.cpp, rowlark_convert for CAST,
// CONVERT and the implicit conversions of typed expressions.
#pragma once

struct sqlite3;

namespace sandbox {

void registerConversions(sqlite3* db);
void registerConvert(sqlite3* db);

} // namespace sandbox
