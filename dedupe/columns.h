// The column names of a table, as the catalogue gives them and in its order.
#pragma once

#include "db/connection.h"

#include <string>
#include <vector>

namespace rowlark::dedupe {

// By table name only, in every schema; a NULL name reads as the empty text.
std::vector<std::string> ReadColumnNames(db::Connection& connection, const std::string& table);

} // namespace rowlark::dedupe
