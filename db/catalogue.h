// The user tables of the database, as the table page lists them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rowlark::db {

// A catalogue row is listed when its type is exactly "TABLE" and its name, upper-cased, holds
// no "SYS" anywhere (sysdiagrams, Systems, MySysLog and EasySync stay out; Physics stays in).
bool IsListedTable(std::string_view type, std::string_view name);

// Appends the names of the listed tables, in the catalogue's order, from the tables catalogue of
// the connection string's database. Throws OdbcError; the names read before a failure stay.
void CatalogueTables(const std::string& connectionString, std::vector<std::string>& names,
                     int loginTimeout = 0);

} // namespace rowlark::db
