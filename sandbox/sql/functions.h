// T-SQL's string and date functions that the store's SQL lacks, as store functions:
// rowlark_concat, rowlark_replicate, rowlark_left, rowlark_right, rowlark_year, rowlark_month,
// rowlark_day.
#pragma once

struct sqlite3;

namespace sandbox {

void registerTsqlFunctions(sqlite3* db);

} // namespace sandbox
