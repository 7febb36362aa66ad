// The store functions behind T-SQL's functions and operators that the store's SQL lacks.
#pragma once

#include "tds/older_versions.h"

struct sqlite3;

namespace sandbox {

void registerTsqlFunctions(sqlite3* db);

using tds::civil;
using tds::daysOf;

} // namespace sandbox
