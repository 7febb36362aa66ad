// T-SQL's string and date functions that the store's SQL lacks, as store functions:
// rowlark_concat, rowlark_replicate, rowlark_left, rowlark_right, rowlark_year, rowlark_month,
// rowlark_day.
#pragma once

#include "tds/older_versions.h"

struct sqlite3;

namespace sandbox {

void registerTsqlFunctions(sqlite3* db);

using tds::civil;
using tds::daysOf;

} // namespace sandbox
