// The store functions behind the typed tree's operators (see operators.cpp).
#pragma once

struct sqlite3;

namespace sandbox {

void registerOperators(sqlite3* db);

} // namespace sandbox
