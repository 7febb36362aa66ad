#include "rpc_parameters.h"

#include "sql/ast.h"
#include "sql/lexer.h"
#include "sql/text.h"

namespace sandbox {

std::vector<Declaration> parseDeclarations(std::u16string_view text) {
    std::vector<Declaration> out;
    const Tokens tokens = tokenize(tds::utf8(text));
    for (Parser p(tokens.begin(), tokens.end()); !p.atEnd();) {
        if (p.position()->kind != Token::Variable) throw syntaxNear(p.position()->text);
        Declaration d{p.takeAny(), {}, false};
        p.take("as");
        // the type reads as a parser of its own: a type missing at the end names nothing
        d.type = p.apart(p.end(), [](Parser& t) { return t.type(false); });
        d.output = p.take("output") || p.take("out");
        if (!p.atEnd() && !p.takeSymbol(",")) throw syntaxNear(p.position()->text);
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
