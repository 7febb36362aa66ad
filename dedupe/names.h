// The rules for the names of the tables the job makes.
#pragma once

#include <optional>
#include <string>

namespace rowlark::dedupe {

// Why a name cannot be the new table's, or nullopt when it can: empty, the source table itself
// (letter case ignored and Unicode forms equal, as the server compares names), a temporary name,
// or the work tables' name.
std::optional<std::string> RefuseNewName(const std::string& newName,
                                         const std::string& sourceTable);

// Why a name cannot be the table of the removed rows, or nullopt when it can: what the new
// table's name may not be, and the new table's own name (compared as the server compares names).
std::optional<std::string> RefuseRemovedName(const std::string& removedName,
                                             const std::string& newName,
                                             const std::string& sourceTable);

// Whether two names are one to the server: letter case ignored, trailing blanks ignored, one
// Unicode form.
bool SameServerName(const std::string& a, const std::string& b);

} // namespace rowlark::dedupe
