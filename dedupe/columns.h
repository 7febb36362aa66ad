// The column names of a table, as the catalogue gives them and in its order.
#pragma once

#include "db/connection.h"

#include <string>
#include <vector>

namespace rowlark::dedupe {

// By table name only, in every schema; a NULL name reads as the empty text.
std::vector<std::string> ReadColumnNames(db::Connection& connection, const std::string& table);

// The names of the database's tables and views.
std::vector<std::string> ReadTableNames(db::Connection& connection);

// The one name among those given that a typed name means: the name spelt exactly as typed; else
// the only one that differs from it in letter case alone (as the server compares names). None
// when nothing matches; several when the typed name could mean more than one.
struct Resolved {
    std::vector<std::string> matches;
    bool unique() const { return matches.size() == 1; }
};
Resolved ResolveName(const std::vector<std::string>& names, const std::string& typed);

} // namespace rowlark::dedupe
