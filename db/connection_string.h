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

} // namespace rowlark::db
