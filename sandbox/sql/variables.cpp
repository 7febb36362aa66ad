// The batch's variables: DECLARE, SET @a = ..., SELECT @a = ... [FROM ...].
#include "engine.h"

#include "statement.h"
#include "text.h"

namespace sandbox {
namespace {

// The end of the expression that starts at p: the next comma at depth 0, or e.
TokenIt expressionEnd(TokenIt p, TokenIt e, std::initializer_list<const char*> stops = {}) {
    int depth = 0;
    for (; p != e; ++p) {
        if (p->isSymbol("(")) ++depth;
        if (p->isSymbol(")")) --depth;
        if (depth == 0 && p->isSymbol(",")) return p;
        for (const char* word : stops)
            if (depth == 0 && p->is(word)) return p;
    }
    return e;
}

bool isUserVariable(const Token& t) {
    return t.kind == Token::Variable && t.text.rfind("@@", 0) != 0;
}

} // namespace

void Engine::declare(const Tokens& t, ResultSink& sink) {
    TokenIt p = t.begin() + 1;
    while (p != t.end()) {
        if (!isUserVariable(*p)) throw syntaxNear(p->text);
        const std::string name = toLower(p->text);
        const std::string written = p->text;
        ++p;
        if (p != t.end() && p->is("as")) ++p;
        if (p != t.end() && p->is("table")) throw unsupported("table variables");
        const SqlType type = readType(p, t.end());
        if (variables_.count(name))
            throw SqlError{134, 15, 1,
                           "The variable name '" + written +
                               "' has already been declared. Variable names must be unique "
                               "within a query batch or stored procedure."};
        variables_[name] = Variable{type, std::monostate{}};
        if (p != t.end() && p->isSymbol("=")) {
            const TokenIt end = expressionEnd(p + 1, t.end());
            assign({{name, p + 1, end}}, end, end);
            p = end;
        }
        if (p != t.end()) {
            if (!p->isSymbol(",")) throw syntaxNear(p->text);
            ++p;
        }
    }
    sink.done(false, 0);
}

void Engine::setVariable(const Tokens& t, ResultSink& sink) {
    if (t.size() < 4 || !t[2].isSymbol("=")) throw syntaxNear(t.size() > 2 ? t[2].text : "SET");
    assign({{toLower(t[1].text), t.begin() + 3, t.end()}}, t.end(), t.end());
    sink.done(false, 0);
}

bool Engine::selectAssign(const Tokens& t, ResultSink& sink) {
    if (t.size() < 4 || !isUserVariable(t[1]) || !t[2].isSymbol("=")) return false;
    static const std::initializer_list<const char*> kEnds = {"from",   "where", "group",
                                                             "having", "order", "union"};
    std::vector<Assignment> list;
    TokenIt p = t.begin() + 1;
    for (;;) {
        if (p == t.end() || !isUserVariable(*p) || p + 1 == t.end() || !(p + 1)->isSymbol("="))
            throw SqlError{141, 15, 1,
                           "A SELECT statement that assigns a value to a variable must not be "
                           "combined with data-retrieval operations.",
                           true};
        const TokenIt end = expressionEnd(p + 2, t.end(), kEnds);
        list.push_back({toLower(p->text), p + 2, end});
        p = end;
        if (p == t.end() || !p->isSymbol(",")) break;
        ++p;
    }
    sink.done(true, assign(list, p, t.end()));
    return true;
}

// Runs SELECT expr, expr ... rest and gives each variable its value in the last row, converted
// to its type; the variables keep their values when there is no row. Returns the rows.
std::uint64_t Engine::assign(const std::vector<Assignment>& to, TokenIt restBegin,
                             TokenIt restEnd) {
    Tokens select;
    select.push_back(Token{Token::Word, "SELECT"});
    for (std::size_t i = 0; i < to.size(); ++i) {
        if (!variables_.count(to[i].variable)) throw undeclaredVariable(to[i].variable);
        if (i) select.push_back(Token{Token::Symbol, ","});
        if (to[i].begin == to[i].end) throw syntaxNear("=");
        select.insert(select.end(), to[i].begin, to[i].end);
    }
    select.insert(select.end(), restBegin, restEnd);
    Prepared st(db_->handle(), translated(select.begin(), select.end()));
    std::uint64_t rows = 0;
    ConversionError err;
    while (st.step()) {
        ++rows;
        for (std::size_t i = 0; i < to.size(); ++i) {
            Variable& v = variables_[to[i].variable];
            // Text longer than the variable's type is cut, as an assignment cuts it (and a
            // char(n) is padded to its length).
            SqlType read = v.type;
            if (read.isText()) read = SqlType{BaseType::NVarChar, SqlType::kMax};
            if (!readValue(st.get(), static_cast<int>(i), read, v.value, err))
                throw SqlError{err.number, 16, 1, err.message};
            auto* s = std::get_if<std::u16string>(&v.value);
            const bool fixed = v.type.base == BaseType::Char || v.type.base == BaseType::NChar;
            if (s && v.type.length != SqlType::kMax &&
                (s->size() > std::size_t(v.type.length) || fixed))
                s->resize(static_cast<std::size_t>(v.type.length), u' ');
        }
    }
    return rows;
}

} // namespace sandbox
