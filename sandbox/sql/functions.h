// T-SQL's string and date functions that the store's SQL lacks, as store functions:
// rowlark_concat, rowlark_replicate, rowlark_left, rowlark_right, rowlark_year, rowlark_month,
// rowlark_day.
#pragma once

#include <cstdint>

struct sqlite3;

namespace sandbox {

void registerTsqlFunctions(sqlite3* db);

// Days since 0001-01-01 of a date of the proleptic Gregorian calendar, and back.
std::int64_t daysOf(std::int64_t y, std::int64_t m, std::int64_t d);
void civil(std::int64_t days, std::int64_t& y, std::int64_t& m, std::int64_t& d);

} // namespace sandbox
