// The store functions that keep T-SQL's rules where the store's own operators and functions
// differ: division by zero (rowlark_divisor), AVG of whole
// numbers (rowlark_avg), letter case beyond ASCII (rowlark_upper, rowlark_lower) and
// case-insensitive search (rowlark_replace, rowlark_charindex), DATALENGTH by code page.
#pragma once

struct sqlite3;

namespace sandbox {

void registerConversions(sqlite3* db);

} // namespace sandbox
