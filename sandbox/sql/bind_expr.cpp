// Expressions: names, literals, variables, operators, CASE and CAST, with the server's types and
// the conversions and collations they ask for.
#include "binder.h"

#include "collation.h"
#include "error.h"
#include "text.h"

#include <algorithm>

namespace sandbox {
namespace {

// The version the login acknowledgement gives (15.0.2000), in the words clients parse.
constexpr const char* kVersionText =
    "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tRowlark sandbox: SQL Server's "
    "protocol with SQLite underneath";

// Whether the store would read the numeric literal as a double that loses some of its digits.
bool roundsAsDouble(const std::string& literal) {
    if (literal.find_first_of("eE") != std::string::npos) return false;
    if (literal.find('.') == std::string::npos) return !parseWholeNumber(literal);
    const std::size_t first = literal.find_first_not_of("-0.");
    if (first == std::string::npos) return false;
    return std::count_if(literal.begin() + static_cast<std::ptrdiff_t>(first), literal.end(),
                         [](char c) { return c != '.'; }) > 15;
}

std::string literalSql(const Token& t) {
    switch (t.kind) {
    case Token::String:
        return quoteString(t.text);
    case Token::Binary:
        return "X'" + std::string(t.text.size() % 2 ? "0" : "") + t.text + "'";
    case Token::Number:
        return roundsAsDouble(t.text) ? quoteString(t.text) : t.text;
    default:
        return "NULL";
    }
}

// The SQL of two operands converted to the one type both take, where the store needs it.
void unify(Expr& a, std::string& sa, Expr& b, std::string& sb) {
    const ExprType &ta = a.type, &tb = b.type;
    if (!typed(ta) || !typed(tb)) return; // NULL or a value of unknown type stays as it is
    const SqlType t = common(ta.type, tb.type);
    if ((ta.type.isText() && tb.type.isText()) || (isBinary(ta.type) && isBinary(tb.type)) ||
        (isNumber(ta.type) && isNumber(tb.type) && !isFloat(ta.type) && !isFloat(tb.type)))
        return; // of one kind: compared as they stand, without a conversion
    if (ta.type.base != t.base) sa = Binder::convert(sa, ta.type, t);
    if (tb.type.base != t.base) sb = Binder::convert(sb, tb.type, t);
}

} // namespace

std::string Binder::convert(const std::string& sql, const ExprType& from, const SqlType& to,
                            const std::string& style, Mode mode) {
    const bool plain = from.known && style == "NULL" && mode != Try;
    if (plain && !needsConversion(from.type, to)) return sql;
    if (plain && isFloat(to) && (from.type.isInteger() || from.type.isExactNumber()))
        return "CAST(" + sql + " AS REAL)";
    return "rowlark_convert(" + sql + ", " + quoteString(from.known ? from.type.declared() : "") +
           ", " + quoteString(to.declared()) + ", " + style + ", " + std::to_string(int(mode)) +
           ")";
}

std::string Binder::value(Expr& e) {
    Scope none;
    return expr(e, none);
}

std::string Binder::expr(Expr& e, Scope& scope) {
    switch (e.kind) {
    case Expr::Literal:
        e.type = literalType(e.token);
        return literalSql(e.token);
    case Expr::Name:
        return name(e, scope);
    case Expr::Variable:
        return variable(e);
    case Expr::Unary: {
        std::string a = expr(*e.args[0], scope);
        e.type = e.args[0]->type;
        if (typed(e.type) && !isNumber(e.type.type))
            throw invalidOperand(e.type.type, e.token.text == "~" ? "~" : "minus");
        return e.token.text == "+" ? a : "(" + e.token.text + " " + a + ")";
    }
    case Expr::Binary:
        return binary(e, scope);
    case Expr::Compare:
        return compare(e, scope);
    case Expr::And:
    case Expr::Or:
    case Expr::Not:
    case Expr::IsNull: {
        e.type = known(SqlType{BaseType::Bit});
        const std::string a = expr(*e.args[0], scope);
        if (e.kind == Expr::Not) return "(NOT " + a + ")";
        if (e.kind == Expr::IsNull) return "(" + a + (e.negated ? " IS NOT NULL)" : " IS NULL)");
        return "(" + a + (e.kind == Expr::And ? " AND " : " OR ") + expr(*e.args[1], scope) + ")";
    }
    case Expr::In:
    case Expr::Between:
    case Expr::Like:
        return predicate(e, scope);
    case Expr::Case:
        return caseExpr(e, scope);
    case Expr::Call:
        return call(e, scope);
    case Expr::Cast:
        return cast(e, scope);
    case Expr::Collate: {
        std::string a = expr(*e.args[0], scope);
        e.type = e.args[0]->type;
        if (e.type.known && !e.type.type.isText())
            throw SqlError{447, 16, 1,
                           "Expression type " + e.type.type.tsqlName() +
                               " is invalid for COLLATE clause.",
                           true};
        e.type.collation = {collationId(e.token.text), Collation::Explicit};
        return a;
    }
    case Expr::Subquery:
    case Expr::Exists: {
        ++subqueries_;
        std::string sql = queryExpr(*e.query, &scope);
        --subqueries_;
        if (e.kind == Expr::Exists) {
            e.type = known(SqlType{BaseType::Bit});
            return "(EXISTS (" + sql + "))";
        }
        if (e.query->columns.size() != 1)
            throw SqlError{116, 16, 1,
                           "Only one expression can be specified in the select list when the "
                           "subquery is not introduced with EXISTS.",
                           true};
        e.type = e.query->columns[0].type;
        return "(" + sql + ")";
    }
    }
    throw unsupported("this expression");
}

std::string Binder::name(Expr& e, Scope& scope) {
    const std::string& column = e.parts.back();
    const std::string qualifier = e.parts.size() > 1 ? e.parts[e.parts.size() - 2] : "";
    for (Scope* s = &scope; s; s = s->outer) {
        const Column* found = nullptr;
        bool sourceFound = false;
        for (const auto& src : s->sources) {
            if (!qualifier.empty() && !iequals(qualifier, src.exposed)) continue;
            sourceFound = true;
            for (const auto& c : src.columns) {
                if (!iequals(c.name, column)) continue;
                if (found)
                    throw SqlError{209, 16, 1, "Ambiguous column name '" + column + "'.", true};
                found = &c;
            }
        }
        if (found) {
            e.type = found->type;
            return e.sql = found->sql;
        }
        if (sourceFound && !qualifier.empty()) throw invalidColumn(column);
    }
    if (!qualifier.empty()) {
        std::string written;
        for (const auto& p : e.parts)
            written += (written.empty() ? "" : ".") + p;
        throw unboundName(written);
    }
    throw invalidColumn(column);
}

std::string Binder::variable(Expr& e) {
    using B = BaseType;
    static const std::tuple<std::string, SqlType, std::string> kServer[] = {
        {"@@spid", {B::SmallInt}, "51"},
        {"@@version", {B::NVarChar, 300}, quoteString(kVersionText)},
        {"@@rowcount", {B::Int}, "rowlark_session('rowcount')"},
        {"@@error", {B::Int}, "rowlark_session('error')"},
        {"@@trancount", {B::Int}, "rowlark_session('trancount')"},
        {"@@identity", {B::Numeric, 0, 38, 0}, "rowlark_session('identity')"}};
    const std::string v = toLower(e.token.text);
    for (const auto& [name, type, sql] : kServer)
        if (v == name) return e.type = known(type), sql;
    if (v.rfind("@@", 0) == 0) throw unsupported("the variable " + e.token.text);
    const auto it = variables_.find(v);
    if (it == variables_.end()) throw undeclaredVariable(e.token.text);
    const Variable& var = it->second;
    e.type = known(var.type);
    const tds::Value& value = var.value;
    if (auto d = std::get_if<double>(&value)) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", *d);
        const std::string s = buf;
        return s.find_first_of(".en") == std::string::npos ? s + ".0" : s;
    }
    if (auto s = std::get_if<std::u16string>(&value)) {
        // A value held as text for a typed variable (a date, a number sent as text) converts.
        const std::string text = quoteString(tds::utf8(*s));
        if (var.type.isText()) return text;
        return convert(text, SqlType{BaseType::NVarChar, SqlType::kMax}, var.type);
    }
    if (auto b = std::get_if<tds::Bytes>(&value); b && var.type.base != BaseType::UniqueIdentifier)
        return "X'" + hexText(*b) + "'";
    // The rest is written as the server's literal of the type is; an exact number stays the
    // store's text of its digits.
    tds::TypeInfo shape = var.type.wire();
    if (std::holds_alternative<tds::DateTime>(value) && !var.type.isDateTime())
        shape = {tds::kDateTime2N, 0, 0, 7};
    const std::string sql = literal(shape, value);
    return std::holds_alternative<tds::Decimal>(value) ? quoteString(sql) : sql;
}

std::string Binder::collate(const ExprType& a, const ExprType& b, const char* operation) {
    const bool ta = a.known && a.type.isText(), tb = b.known && b.type.isText();
    if (!ta && !tb) return "";
    Collation c = ta ? a.collation : b.collation;
    if (ta && tb && b.collation.strength > c.strength) c = b.collation;
    if (ta && tb && a.collation.strength == b.collation.strength &&
        a.collation.id != b.collation.id && a.collation.strength != Collation::Default)
        throw SqlError{468, 16, 9,
                       std::string("Cannot resolve the collation conflict between \"") +
                           collationName(a.collation.id) + "\" and \"" +
                           collationName(b.collation.id) + "\" in the " + operation + " operation.",
                       true};
    return std::string(" COLLATE ") + collationName(c.id);
}

std::string Binder::compare(Expr& e, Scope& scope) {
    std::string a = expr(*e.args[0], scope), b = expr(*e.args[1], scope);
    unify(*e.args[0], a, *e.args[1], b);
    std::string op = e.token.text; // the store reads != as it stands
    if (op == "!<") op = ">=";
    if (op == "!>") op = "<=";
    e.type = known(SqlType{BaseType::Bit});
    return "(" + a + " " + op + " " + b +
           collate(e.args[0]->type, e.args[1]->type, op == "=" ? "equal to" : "comparison") + ")";
}

std::string Binder::predicate(Expr& e, Scope& scope) {
    e.type = known(SqlType{BaseType::Bit});
    std::string a = expr(*e.args[0], scope);
    const std::string negated = e.negated ? "NOT " : "";
    if (e.kind == Expr::Like) {
        std::string pattern = expr(*e.args[1], scope);
        std::string escape = e.args.size() > 2 ? expr(*e.args[2], scope) : "NULL";
        const ExprType& t = e.args[0]->type;
        const int id = t.known && t.type.isText() ? t.collation.id : kCiAs;
        return "(" + negated + "rowlark_like(" + a + ", " + pattern + ", " + escape + ", " +
               std::to_string(id) + "))";
    }
    if (e.kind == Expr::Between) {
        std::string lo = expr(*e.args[1], scope), hi = expr(*e.args[2], scope);
        std::string a2 = a;
        unify(*e.args[0], a, *e.args[1], lo);
        unify(*e.args[0], a2, *e.args[2], hi);
        // two comparisons, as the server makes of it: each converts the first value its own way
        return "(" + negated + "(" + a + collate(e.args[0]->type, e.args[1]->type, "between") +
               " >= " + lo + " AND " + a2 + collate(e.args[0]->type, e.args[2]->type, "between") +
               " <= " + hi + "))";
    }
    std::string list, first = a, c;
    if (e.query) {
        ++subqueries_;
        list = queryExpr(*e.query, &scope);
        --subqueries_;
        if (e.query->columns.size() == 1)
            c = collate(e.args[0]->type, e.query->columns[0].type, "in");
    }
    for (std::size_t i = 1; i < e.args.size(); ++i) {
        std::string item = expr(*e.args[i], scope);
        a = first;
        unify(*e.args[0], a, *e.args[i], item);
        if (c.empty()) c = collate(e.args[0]->type, e.args[i]->type, "in");
        list += (list.empty() ? "" : ", ") + item;
    }
    return "(" + a + c + " " + negated + "IN (" + list + "))";
}

std::string Binder::binary(Expr& e, Scope& scope) {
    std::string a = expr(*e.args[0], scope), b = expr(*e.args[1], scope);
    const std::string& op = e.token.text;
    const ExprType &ta = e.args[0]->type, &tb = e.args[1]->type;
    if (!ta.known || !tb.known) { // typed by its first value
        const bool text =
            op == "+" && ((ta.known && ta.type.isText()) || (tb.known && tb.type.isText()));
        e.type = ta.known ? ta : tb;
        return "(" + a + (text ? " || " : " " + op + " ") + b + ")";
    }
    if (ta.nullLiteral || tb.nullLiteral) {
        e.type = ta.nullLiteral ? tb : ta;
        return "NULL";
    }
    // A whole-number constant beside a decimal counts as a decimal of its own digits (1.0 / 3
    // is numeric(7,6)), where a column or an expression of type int counts as decimal(10,0).
    const auto constant = [](const Expr& x, const ExprType& other) {
        ExprType t = x.type;
        if (x.kind == Expr::Literal && t.type.base == BaseType::Int && other.type.isExactNumber() &&
            !other.type.isInteger()) {
            const std::string& d = x.token.text;
            t.type = SqlType{BaseType::Numeric, 0,
                             static_cast<int>(d.size() - (d.front() == '-' ? 1 : 0)), 0};
        }
        return t;
    };
    const ExprType ca = constant(*e.args[0], tb), cb = constant(*e.args[1], ta);
    const SqlType result = arithmetic(op, ca.type, cb.type);
    e.type = known(result);
    if (op == "+" && result.isText()) {
        e.type.collation =
            tb.collation.strength > ta.collation.strength ? tb.collation : ta.collation;
        if (!ta.type.isText()) a = convert(a, ta.type, result);
        if (!tb.type.isText()) b = convert(b, tb.type, result);
        return "(" + a + " || " + b + ")";
    }
    // the store's || joins the bytes as they stand, as text it makes a blob again
    if (op == "+" && isBinary(result)) return "CAST(" + a + " || " + b + " AS BLOB)";
    const SqlType operand = common(ca.type, cb.type);
    a = convert(a, ta.type, operand);
    b = convert(b, tb.type, operand);
    if (result.isExactNumber())
        return "rowlark_decimal('" + op + "', " + a + ", " + b + ", " +
               std::to_string(scaleOf(result)) + ")";
    if (op == "/" || op == "%") b = "rowlark_divisor(" + b + ")";
    if (op == "^") return "((" + a + " | " + b + ") - (" + a + " & " + b + "))";
    if (result.isInteger())
        return "rowlark_integer((" + a + " " + op + " " + b + "), " +
               std::to_string(static_cast<int>(result.base)) + ")";
    return "(" + a + " " + op + " " + b + ")";
}

CallContext Binder::operands(Expr& e, Scope& scope) {
    CallContext c;
    for (auto& a : e.args) {
        c.sql.push_back(expr(*a, scope));
        c.types.push_back(a->type);
    }
    return c;
}

std::string Binder::caseExpr(Expr& e, Scope& scope) {
    CallContext c = operands(e, scope);
    // The results, every THEN and the ELSE, take the highest of their types.
    const std::size_t stop = e.hasElse ? e.args.size() - 1 : e.args.size();
    std::vector<std::size_t> results;
    for (std::size_t i = e.hasOperand ? 2 : 1; i < stop; i += 2)
        results.push_back(i);
    if (e.hasElse) results.push_back(stop);
    e.type = c.highest(results);
    std::string out = "CASE";
    for (std::size_t i = e.hasOperand ? 1 : 0; i < stop; i += 2) {
        std::string when = c.sql[i];
        if (e.hasOperand) {
            std::string operand = c.sql[0];
            unify(*e.args[0], operand, *e.args[i], when);
            when = "(" + operand + " = " + when +
                   collate(e.args[0]->type, e.args[i]->type, "equal to") + ")";
        }
        out += " WHEN " + when + " THEN " + c.sql[i + 1];
    }
    return out + (e.hasElse ? " ELSE " + c.sql[stop] : "") + " END";
}

std::string Binder::cast(Expr& e, Scope& scope) {
    std::string a = expr(*e.args[0], scope);
    const ExprType& from = e.args[0]->type;
    const std::string style = e.style ? value(*e.style) : "NULL";
    e.type = known(e.target, from.known && from.type.isText() ? from.collation : Collation{});
    if (from.nullLiteral) return "NULL";
    return convert(a, from, e.target, style, e.tryCast ? Try : Cast);
}

std::string Binder::sortKey(Expr& e, Scope& scope) {
    std::string sql = expr(e, scope);
    if (e.type.known && e.type.type.isText())
        sql += std::string(" COLLATE ") + collationName(e.type.collation.id);
    return sql;
}

} // namespace sandbox
