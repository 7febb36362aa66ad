// The collations of character data: the server default, case-insensitive and accent-sensitive,
// and a case-sensitive one for columns declared _CS. Both ignore trailing blanks, as SQL Server's
// comparisons of character data do, in =, <, GROUP BY, DISTINCT, ORDER BY and unique indexes.
#pragma once

#include <sqlite3.h>

#include <string_view>

namespace sandbox {

inline constexpr const char* kCollationCi = "rowlark_ci";
inline constexpr const char* kCollationCs = "rowlark_cs";
// Decimal and numeric columns keep their values as text, exactly; this compares them as numbers
// (1.50 equals 1.5, 9 sorts before 10). Text that is no number sorts after every number.
inline constexpr const char* kCollationDecimal = "rowlark_decimal";

// Lower and upper case for the scripts a default server folds: Latin (to Latin Extended-A),
// Greek, Cyrillic. Accents stay; other characters are their own case.
char32_t lowerCase(char32_t c);
char32_t upperCase(char32_t c);

// <0, 0 or >0 as a sorts before, with or after b (UTF-8).
int compareIgnoringCase(std::string_view a, std::string_view b);
int compareWithCase(std::string_view a, std::string_view b);

int compareDecimalText(std::string_view a, std::string_view b);

// The store's name of the collation a T-SQL collation name asks for.
const char* collationFor(std::string_view tsqlName);

// Registers the three on a connection of the store.
void registerCollations(sqlite3* db);

} // namespace sandbox
