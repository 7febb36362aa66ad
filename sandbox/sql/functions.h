// The store functions behind T-SQL's functions and operators that the store's SQL lacks.
#pragma once

struct sqlite3;

namespace sandbox {

void registerTsqlFunctions(sqlite3* db);

} // namespace sandbox
