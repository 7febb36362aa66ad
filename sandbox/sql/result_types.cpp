#include "result_types.h"

#include "operands.h"
#include "text.h"

namespace sandbox {
namespace {

using Type = std::optional<SqlType>;

bool isWholeNumber(std::string_view literal) {
    return literal.find_first_not_of("0123456789") == std::string_view::npos;
}

// A numeric literal: int where it fits, as the server types 1 or 2147483647; numeric(p, s) with
// a point (1.5 is numeric(2,1)); bigint past an int.
Type literalType(std::string_view literal) {
    if (isWholeNumber(literal)) {
        const auto v = parseWholeNumber(literal);
        if (!v) return std::nullopt;
        return SqlType{*v <= INT32_MAX ? BaseType::Int : BaseType::BigInt};
    }
    const auto point = literal.find('.');
    if (point == std::string_view::npos || !isWholeNumber(literal.substr(0, point)) ||
        !isWholeNumber(literal.substr(point + 1)))
        return std::nullopt; // an exponent: float, as the store's first value will say
    std::string_view whole = literal.substr(0, point);
    while (!whole.empty() && whole.front() == '0')
        whole.remove_prefix(1);
    const int scale = static_cast<int>(literal.size() - point - 1);
    const int precision = std::max(1, static_cast<int>(whole.size()) + scale);
    if (precision > 38) return std::nullopt;
    return SqlType{BaseType::Numeric, 0, precision, scale};
}

bool isIntegerType(const Type& t) {
    return t && t->isInteger();
}

// Arithmetic on whole numbers: int, or bigint where one side is (tinyint and smallint are
// widened to int, as the server's precedence of types gives for most operations).
SqlType widened(const SqlType& a, const SqlType& b) {
    return SqlType{a.base == BaseType::BigInt || b.base == BaseType::BigInt ? BaseType::BigInt
                                                                            : BaseType::Int};
}

class Typer {
public:
    explicit Typer(const ColumnKinds& kinds) : kinds_(kinds) {}

    Type expression(TokenIt b, TokenIt e) const {
        if (b == e) return std::nullopt;
        // Binary arithmetic at depth 0: every operand a whole number makes one.
        std::vector<std::pair<TokenIt, TokenIt>> operands;
        int depth = 0;
        TokenIt start = b;
        for (TokenIt p = b; p != e; ++p) {
            if (p->isSymbol("(")) ++depth;
            if (p->isSymbol(")")) --depth;
            if (p->is("case")) return std::nullopt;
            const bool op =
                p->kind == Token::Symbol && (p->text == "+" || p->text == "-" || p->text == "*" ||
                                             p->text == "/" || p->text == "%");
            if (depth == 0 && op && p != start) {
                operands.emplace_back(start, p);
                start = p + 1;
            }
        }
        if (!operands.empty()) {
            operands.emplace_back(start, e);
            Type result;
            for (const auto& [from, to] : operands) {
                const Type t = operand(from, to);
                if (!isIntegerType(t)) return std::nullopt;
                result = result ? widened(*result, *t) : widened(*t, *t);
            }
            return result;
        }
        return operand(b, e);
    }

private:
    Type operand(TokenIt b, TokenIt e) const {
        while (b != e && (b->isSymbol("-") || b->isSymbol("+")))
            ++b;
        if (b == e) return std::nullopt;
        if (e - b == 1) return single(*b);
        if (b->isSymbol("(") && closingToken(b, e) == e - 1) return expression(b + 1, e - 1);
        if (b->kind == Token::Word && (b + 1)->isSymbol("(")) {
            TokenIt close = closingToken(b + 1, e);
            if (close == e) return std::nullopt;
            if (close + 1 != e && !(close + 1)->is("over")) return std::nullopt;
            return call(toLower(b->text), b + 2, close);
        }
        // A dotted column name: what the statement's tables say of its last part.
        TokenIt last = b;
        while (last + 2 < e && (last + 1)->isSymbol(".") && (last + 2)->isName())
            last += 2;
        if (last + 1 == e && last->isName()) return column(last->text);
        return std::nullopt;
    }

    Type single(const Token& t) const {
        if (t.kind == Token::Number) return literalType(t.text);
        if (t.kind == Token::Variable) {
            const std::string v = toLower(t.text);
            if (v == "@@rowcount" || v == "@@error" || v == "@@trancount")
                return SqlType{BaseType::Int};
            if (v == "@@spid") return SqlType{BaseType::SmallInt};
            if (v == "@@identity") return SqlType{BaseType::Numeric, 0, 38, 0};
            if (const Variable* var = kinds_.variable(v)) return var->type;
            return std::nullopt;
        }
        if (t.is("current_timestamp")) return SqlType{BaseType::DateTime};
        if (t.isName()) return column(t.text);
        return std::nullopt;
    }

    Type column(const std::string& name) const {
        if (const SqlType* t = kinds_.integerType(name)) return *t;
        return std::nullopt;
    }

    // The type of a call's result from its name and arguments [b, e).
    Type call(const std::string& name, TokenIt b, TokenIt e) const {
        if (name == "cast" || name == "try_cast") {
            TokenIt as = findTopLevel(b, e, "as");
            if (as == e) return std::nullopt;
            return readTypeAt(as + 1, e);
        }
        if (name == "convert" || name == "try_convert") return readTypeAt(b, e);
        static const char* const kInt[] = {"count",      "len",   "charindex", "datalength", "year",
                                           "month",      "day",   "datediff",  "datepart",   "rank",
                                           "dense_rank", "ntile", "object_id", "sign"};
        for (const char* n : kInt)
            if (name == n) return SqlType{BaseType::Int};
        if (name == "count_big" || name == "row_number") return SqlType{BaseType::BigInt};
        if (name == "getdate" || name == "getutcdate") return SqlType{BaseType::DateTime};
        if (name == "sysdatetime") return SqlType{BaseType::DateTime2, 0, 0, 7};
        if (name == "newid") return SqlType{BaseType::UniqueIdentifier};
        if (name == "scope_identity") return SqlType{BaseType::Numeric, 0, 38, 0};
        // Of one whole-number argument: SUM and AVG of tinyint, smallint and int are int, of
        // bigint bigint; MIN, MAX and ABS keep the argument's type.
        if (name == "sum" || name == "avg" || name == "min" || name == "max" || name == "abs") {
            TokenIt arg = b;
            if (arg != e && (arg->is("distinct") || arg->is("all"))) ++arg;
            const Type t = expression(arg, e);
            if (!isIntegerType(t)) return std::nullopt;
            if (name == "sum" || name == "avg") return widened(*t, *t);
            return t;
        }
        return std::nullopt;
    }

    static Type readTypeAt(TokenIt p, TokenIt e) {
        try {
            return readType(p, e);
        } catch (const SqlError&) {
            return std::nullopt;
        }
    }

    const ColumnKinds& kinds_;
};

// Whether the item's last token is an alias: a name after a value, not part of the value.
bool endsWithAlias(TokenIt b, TokenIt e) {
    if (e - b < 2) return false;
    const Token& last = *(e - 1);
    const Token& before = *(e - 2);
    if (before.is("as")) return true;
    if (last.kind == Token::Word &&
        (last.is("end") || last.is("null") || last.is("current_timestamp")))
        return false;
    if (!last.isName()) return false;
    return before.isSymbol(")") || before.kind == Token::Number || before.kind == Token::String ||
           before.kind == Token::Variable || before.isName();
}

} // namespace

std::vector<std::optional<SqlType>> selectListTypes(TokenIt b, TokenIt e,
                                                    const ColumnKinds& kinds) {
    std::vector<std::optional<SqlType>> types;
    TokenIt p = findTopLevel(b, e, "select");
    if (p == e) return types;
    ++p;
    while (p != e && (p->is("distinct") || p->is("all")))
        ++p;
    if (p != e && p->is("top")) {
        ++p;
        if (p != e && p->isSymbol("(")) p = closingToken(p, e);
        if (p != e) ++p;
        while (p != e && (p->is("percent") || p->is("with") || p->is("ties")))
            ++p;
    }
    static const char* const kEnds[] = {"from",  "into",  "where",  "group",     "having",
                                        "order", "union", "except", "intersect", "option"};
    TokenIt end = e;
    for (const char* word : kEnds)
        end = std::min(end, findTopLevel(p, e, word));
    const Typer typer(kinds);
    int depth = 0;
    TokenIt start = p;
    for (TokenIt q = p;; ++q) {
        if (q != end && q->isSymbol("(")) ++depth;
        if (q != end && q->isSymbol(")")) --depth;
        if (q != end && !(depth == 0 && q->isSymbol(","))) continue;
        TokenIt itemBegin = start, itemEnd = q;
        // A star stands for columns of its own: the places after it are unknown.
        if (itemEnd != itemBegin && (itemEnd - 1)->isSymbol("*")) break;
        if (itemEnd - itemBegin >= 3 && itemBegin->isName() && (itemBegin + 1)->isSymbol("="))
            itemBegin += 2; // alias = value
        else if (endsWithAlias(itemBegin, itemEnd))
            itemEnd -= (itemEnd - 2)->is("as") ? 2 : 1;
        types.push_back(typer.expression(itemBegin, itemEnd));
        if (q == end) break;
        start = q + 1;
    }
    return types;
}

} // namespace sandbox
