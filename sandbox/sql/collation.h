// The collations of character data: the server default, case-insensitive and accent-sensitive,
// and a case-sensitive one for columns declared _CS. Both ignore trailing blanks, as SQL Server's
// comparisons of character data do, in =, <, GROUP BY, DISTINCT, ORDER BY and unique indexes.
#pragma once

#include <sqlite3.h>

#include <string_view>

namespace sandbox {

inline constexpr const char* kCollationCi = "rowlark_ci";
inline constexpr const char* kCollationCs = "rowlark_cs";

// <0, 0 or >0 as a sorts before, with or after b (UTF-8).
int compareIgnoringCase(std::string_view a, std::string_view b);
int compareWithCase(std::string_view a, std::string_view b);

// The store's name of the collation a T-SQL collation name asks for.
const char* collationFor(std::string_view tsqlName);

// Registers both on a connection of the store.
void registerCollations(sqlite3* db);

} // namespace sandbox
