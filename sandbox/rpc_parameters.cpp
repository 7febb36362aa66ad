#include "rpc_parameters.h"

#include "sql/ast.h"
#include "sql/lexer.h"
#include "sql/text.h"

namespace sandbox {

std::vector<Declaration> parseDeclarations(std::u16string_view text) {
    std::vector<Declaration> out;
    const Tokens tokens = tokenize(tds::utf8(text));
    TokenIt p = tokens.begin();
    while (p != tokens.end()) {
        if (p->kind != Token::Variable) throw syntaxNear(p->text);
        Declaration d{p->text, {}, false};
        ++p;
        if (p != tokens.end() && p->is("as")) ++p;
        Parser type(p, tokens.end());
        d.type = type.type(false);
        p = type.position();
        d.output = p != tokens.end() && (p->is("output") || p->is("out"));
        if (d.output) ++p;
        if (p != tokens.end() && !p->isSymbol(",")) throw syntaxNear(p->text);
        if (p != tokens.end()) ++p; // the comma before the next
        out.push_back(std::move(d));
    }
    return out;
}

std::vector<tds::RpcParam> namedByDeclaration(const std::vector<Declaration>& declarations,
                                              std::vector<tds::RpcParam> values) {
    for (std::size_t k = 0; k < values.size() && k < declarations.size(); ++k)
        if (values[k].name.empty()) values[k].name = tds::utf16(declarations[k].name);
    return values;
}

Variables parameterVariables(const std::vector<Declaration>& declarations,
                             const std::vector<tds::RpcParam>& values) {
    Variables vars;
    for (const auto& v : values)
        if (!v.name.empty()) vars[toLower(tds::utf8(v.name))] = {fromWire(v.type), v.value};
    for (const auto& d : declarations) {
        const auto it = vars.find(toLower(d.name));
        if (it == vars.end())
            throw SqlError{8178, 16, 1,
                           "The parameterized query expects the parameter '" + d.name +
                               "', which was not supplied."};
        it->second.type = d.type;
    }
    return vars;
}

} // namespace sandbox
