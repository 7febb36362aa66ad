#include "reading.h"

#include "ast.h"
#include "text.h"

namespace sandbox {

std::string readObjectName(TokenIt& p, TokenIt end, const std::string& database) {
    std::vector<std::string> parts;
    while (p != end) {
        if (p->isSymbol(".")) { // db..t
            parts.push_back("dbo");
            ++p;
            continue;
        }
        if (!p->isName()) break;
        parts.push_back(p->text);
        ++p;
        if (p == end || !p->isSymbol(".")) break;
        ++p;
    }
    if (parts.empty()) throw syntaxNear(p == end ? "end of statement" : p->text);
    if (parts.size() > 3) throw unsupported("a four-part name");
    // tempdb..#t and tempdb.dbo.#t: the session's own temporary table.
    if (isTempName(parts.back()) && (parts.size() == 1 || iequals(parts[0], "tempdb")))
        return parts.back();
    if (parts.size() >= 2 && !iequals(parts[parts.size() - 2], "dbo") &&
        !parts[parts.size() - 2].empty())
        throw unsupported("the schema '" + parts[parts.size() - 2] + "' (only dbo)");
    if (parts.size() == 3 && !iequals(parts[0], database))
        throw unsupported("a name in another database ('" + parts[0] + "')");
    return parts.back();
}

std::int64_t readInteger(TokenIt& p, TokenIt end) {
    bool neg = false;
    if (p != end && (p->isSymbol("-") || p->isSymbol("+"))) neg = (p++)->text == "-";
    if (p == end || p->kind != Token::Number)
        throw syntaxNear(p == end ? "end of statement" : p->text);
    auto v = parseWholeNumber(p->text);
    if (!v)
        throw SqlError{8115, 16, 2,
                       "Arithmetic overflow error converting expression to data type bigint."};
    ++p;
    return neg ? -*v : *v;
}

SqlType readType(TokenIt& p, TokenIt end) {
    Parser parser(p, end);
    const SqlType t = parser.type(false);
    p = parser.position();
    return t;
}

TokenIt findTopLevel(TokenIt b, TokenIt e, std::string_view keyword) {
    int depth = 0;
    for (TokenIt p = b; p != e; ++p) {
        if (p->isSymbol("("))
            ++depth;
        else if (p->isSymbol(")"))
            --depth;
        else if (depth == 0 && p->is(keyword))
            return p;
    }
    return e;
}

} // namespace sandbox
