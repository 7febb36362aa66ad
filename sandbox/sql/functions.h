// The store functions of T-SQL's that the store's SQL lacks (functions.cpp), and those behind the
// typed tree's operators (operators.cpp).
#pragma once

#include "tds/older_versions.h"

struct sqlite3;

namespace sandbox {

void registerTsqlFunctions(sqlite3* db);
void registerOperators(sqlite3* db);

using tds::civil;
using tds::daysOf;

} // namespace sandbox
