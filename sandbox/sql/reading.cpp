#include "reading.h"

#include "ast.h"
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

std::string readObjectName(TokenIt& p, TokenIt end, const std::string& database) {
    Parser parser(p, end);
    std::vector<std::string> parts = parser.objectName();
    p = parser.position();
    return objectName(std::move(parts), database);
}

SqlType readType(TokenIt& p, TokenIt end) {
    Parser parser(p, end);
    const SqlType t = parser.type(false);
    p = parser.position();
    return t;
}

} // namespace sandbox
