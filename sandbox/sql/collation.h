// The collations of character data: the server default, case-insensitive and accent-sensitive,
// and the others a T-SQL collation name may ask for. All ignore trailing blanks, as SQL Server's
// comparisons of character data do, in =, <, GROUP BY, DISTINCT, ORDER BY and unique indexes.
#pragma once

#include <sqlite3.h>

#include <string_view>

namespace sandbox {

inline constexpr const char* kCollationCi = "rowlark_ci";
// Decimal and numeric columns keep their values as text, exactly; this compares them as numbers
// (1.50 equals 1.5, 9 sorts before 10). Text that is no number sorts after every number.
inline constexpr const char* kCollationDecimal = "rowlark_decimal";

// Lower and upper case for the scripts a default server folds: Latin (to Latin Extended-A),
// Greek, Cyrillic. Accents stay; other characters are their own case.
char32_t lowerCase(char32_t c);
char32_t upperCase(char32_t c);

// The collations a T-SQL collation name can ask for, by number: 0 is the server default.
enum CollationId { kCiAs, kCsAs, kCiAi, kCsAi, kBin };

// <0, 0 or >0 as a sorts before, with or after b (UTF-8) in the collation given.
int compareIn(int collation, std::string_view a, std::string_view b);
int compareDecimalText(std::string_view a, std::string_view b);

// The number of the collation a T-SQL name asks for (_CI/_CS, _AI/_AS, _BIN/_BIN2); throws
// SqlError 448 for a name that is none, 40000 for a family whose code page is not Latin-1's.
int collationId(std::string_view tsqlName);
// The store's name of that collation.
const char* collationName(int id);
// The letter without its accent, for accent-insensitive comparison (Latin to Latin Extended-A).
char32_t withoutAccent(char32_t c);
// The character as the collation given compares it: without its accent, in lower case, or both.
inline char32_t folded(char32_t c, int collation) {
    if (collation == kCiAi || collation == kCsAi) c = withoutAccent(c);
    if (collation == kCiAs || collation == kCiAi) c = lowerCase(c);
    return c;
}

// Registers them all, and the decimal one, on a connection of the store.
void registerCollations(sqlite3* db);

} // namespace sandbox
