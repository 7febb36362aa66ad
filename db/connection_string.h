// Reading ODBC connection strings, for the one driver that reads braces its own way.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rowlark::db {

// The same string as FreeTDS before 1.4 reads it: a braced value runs to the first "};" and a
// doubled "}}" is not undone, so braced values are written with single braces. Nullopt when the
// string has no doubled brace to undo, or a value that this reading cannot hold (one with "};").
std::optional<std::string> withUndoubledBraces(std::string_view connectionString);

// The value of a key (letter case ignored), read the standard way: a braced value may hold ';',
// and "}}" in it is one brace. Nullopt when the key is not there.
std::optional<std::string> connectionStringValue(std::string_view connectionString,
                                                 std::string_view key);

} // namespace rowlark::db
