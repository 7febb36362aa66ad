#include "reading.h"

#include "text.h"

#include <algorithm>

namespace sandbox {

std::string objectName(std::vector<std::string> parts, const std::string& database) {
    if (parts.empty()) throw syntaxNear("end of statement");
    if (parts.size() > 3) throw unsupported("a four-part name");
    std::replace(parts.begin(), parts.end() - 1, std::string(), std::string("dbo")); // db..t
    // tempdb..#t and tempdb.dbo.#t: the session's own temporary table.
    if (isTempName(parts.back()) && (parts.size() == 1 || iequals(parts[0], "tempdb")))
        return parts.back();
    if (parts.size() >= 2 && !iequals(parts[parts.size() - 2], "dbo"))
        throw unsupported("the schema '" + parts[parts.size() - 2] + "' (only dbo)");
    if (parts.size() == 3 && !iequals(parts[0], database))
        throw unsupported("a name in another database ('" + parts[0] + "')");
    return parts.back();
}

} // namespace sandbox
