// Function calls: the built-in functions the sandbox knows, their result types by the server's
// rules, aggregates and window functions.
#include "binder.h"

#include "error.h"
#include "text.h"

#include <numeric>

namespace sandbox {
namespace {

// A date part's full name, from any of its T-SQL spellings (yy, yyyy, mm, dd, hh, mi ...).
std::string datePart(const Token& word, const std::string& function) {
    static const char* const kParts[] = {
        "year yy yyyy",   "quarter qq q",    "month mm m",   "dayofyear dy y", "day dd d",
        "week wk ww",     "weekday dw w",    "hour hh",      "minute mi n",    "second ss s",
        "millisecond ms", "microsecond mcs", "nanosecond ns"};
    const std::string key = " " + toLower(word.text) + " ";
    for (const std::string parts : kParts)
        if ((" " + parts + " ").find(key) != std::string::npos)
            return parts.substr(0, parts.find(' '));
    throw SqlError{155, 15, 1, "'" + word.text + "' is not a recognized " + function + " option.",
                   true};
}

// The functions whose arguments pass as they are to the store function named (or, without
// arguments, whose SQL is that text), with a result of one type.
struct Simple {
    const char* name;
    std::size_t lo, hi;
    SqlType type;
    const char* sql;
};

using B = BaseType;
constexpr const char* kNow = "strftime('%Y-%m-%d %H:%M:%f', 'now')";
constexpr const char* kNewId =
    "upper(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), "
    "2) || '-A' || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))";
const Simple kSimple[] = {
    {"len", 1, 1, {B::Int}, "rowlark_len"},
    {"charindex", 2, 3, {B::Int}, "rowlark_charindex"},
    {"ascii", 1, 1, {B::Int}, "unicode"},
    {"unicode", 1, 1, {B::Int}, "unicode"},
    {"char", 1, 1, {B::Char, 1}, "char"},
    {"nchar", 1, 1, {B::NChar, 1}, "char"},
    {"power", 2, 2, {B::Float}, "power"},
    {"sqrt", 1, 1, {B::Float}, "sqrt"},
    {"exp", 1, 1, {B::Float}, "exp"},
    {"log", 1, 1, {B::Float}, "ln"},
    {"log10", 1, 1, {B::Float}, "log10"},
    {"object_id", 1, 2, {B::Int}, "rowlark_object_id"},
    {"year", 1, 1, {B::Int}, "rowlark_datepart"},
    {"month", 1, 1, {B::Int}, "rowlark_datepart"},
    {"day", 1, 1, {B::Int}, "rowlark_datepart"},
    {"getdate", 0, 0, {B::DateTime}, kNow},
    {"getutcdate", 0, 0, {B::DateTime}, kNow},
    {"sysdatetime", 0, 0, {B::DateTime2, 0, 0, 7}, "strftime('%Y-%m-%d %H:%M:%f0000', 'now')"},
    {"newid", 0, 0, {B::UniqueIdentifier}, kNewId},
    {"scope_identity", 0, 0, {B::Numeric, 0, 38, 0}, "rowlark_session('identity')"},
    {"db_name", 0, 0, {B::NVarChar, 128}, "rowlark_session('db_name')"},
};

// The varchar or nvarchar of t's family and length.
SqlType textLike(const SqlType& t) {
    return SqlType{isUnicode(t) ? BaseType::NVarChar : BaseType::VarChar, t.length};
}

// The varchar a text function reads a value of another type as: a uniqueidentifier keeps all of
// its 36 characters.
SqlType asText(const SqlType& t) {
    return {BaseType::VarChar, t.base == BaseType::UniqueIdentifier ? 36 : 30};
}

// The server's 174 for a function of one count of arguments, its 189 for one of a range.
SqlError argumentCount(const std::string& fn, std::size_t lo, std::size_t hi) {
    const std::string n = std::to_string(lo) + (lo == hi ? "" : " to " + std::to_string(hi));
    return {lo == hi ? 174 : 189, 15, 1,
            "The " + fn + " function requires " + n + (lo == hi ? " argument(s)." : " arguments."),
            true};
}

} // namespace

void CallContext::args(std::size_t lo, std::size_t hi) const {
    if (sql.size() < lo || sql.size() > hi) throw argumentCount(fn, lo, hi);
}

ExprType CallContext::highest(const std::vector<std::size_t>& results) {
    ExprType type{SqlType{}, true, true, {}};
    for (std::size_t i : results) {
        if (!types[i].known) return types[i];
        if (!types[i].nullLiteral)
            type = type.nullLiteral ? types[i] : known(common(type.type, arg(i)), type.collation);
    }
    for (std::size_t i : results)
        if (typed(type) && typed(types[i])) sql[i] = Binder::convert(sql[i], arg(i), type.type);
    return type;
}

std::string CallContext::list() const {
    std::string s;
    for (const std::string& a : sql)
        s += (s.empty() ? "" : ", ") + a;
    return s;
}

std::string Binder::call(Expr& e, Scope& scope) {
    const std::string fn = toLower(e.token.text);
    const bool ranking = fn == "row_number" || fn == "rank" || fn == "dense_rank" || fn == "ntile";
    if (e.window || ranking) return window(e, scope, fn, ranking);
    if (fn == "count" || fn == "count_big" || fn == "sum" || fn == "avg" || fn == "min" ||
        fn == "max")
        return aggregate(e, scope, fn);
    if (fn == "dateadd" || fn == "datediff" || fn == "datepart") {
        const std::size_t wanted = fn == "datepart" ? 2 : 3;
        if (e.args.size() != wanted || e.args[0]->kind != Expr::Name)
            throw argumentCount(fn, wanted, wanted);
        std::string out = "rowlark_" + fn + "('" + datePart(e.args[0]->token, fn) + "'";
        for (std::size_t i = 1; i < e.args.size(); ++i) {
            std::string a = expr(*e.args[i], scope);
            const ExprType& t = e.args[i]->type;
            // text stands for a datetime, as the server reads it
            const bool date = fn != "dateadd" || i == 2;
            if (date && t.known && t.type.isText())
                a = convert(a, t.type, SqlType{BaseType::DateTime});
            out += ", " + a;
        }
        const ExprType& d = e.args.back()->type;
        e.type = fn == "dateadd"
                     ? (d.known && d.type.isDateTime() ? d : known(SqlType{BaseType::DateTime}))
                     : known(SqlType{BaseType::Int});
        return out + ")";
    }
    if (fn == "identity") { // IDENTITY(type [, seed, increment]) of SELECT ... INTO
        if (!numbering_)
            throw SqlError{177, 15, 1,
                           "The IDENTITY function can only be used when the SELECT statement has "
                           "an INTO clause.",
                           true};
        const auto type = e.args.empty() || e.args[0]->kind != Expr::Name
                              ? std::nullopt
                              : SqlType::fromTsql(e.args[0]->parts.back(), {});
        if (!type || !(type->isInteger() || (type->isExactNumber() && type->scale == 0)))
            throw SqlError{8136, 16, 1,
                           "The IDENTITY function requires an integer or decimal type with scale "
                           "0."};
        if (e.args.size() != 1 && e.args.size() != 3) throw syntaxNear("IDENTITY");
        for (std::size_t i = 1; i < e.args.size(); ++i)
            if (e.args[i]->kind != Expr::Literal || !parseWholeNumber(e.args[i]->token.text))
                throw SqlError{8115, 16, 2,
                               "Arithmetic overflow error converting expression to data type "
                               "bigint."};
        e.type = known(*type);
        return "rowlark_next_number(" + (e.args.size() > 1 ? e.args[1]->token.text : "1") + ", " +
               (e.args.size() > 1 ? e.args[2]->token.text : "1") + ")";
    }
    CallContext c = operands(e, scope);
    c.fn = fn;
    for (const Simple& f : kSimple) {
        if (fn != f.name) continue;
        c.args(f.lo, f.hi);
        e.type = known(f.type);
        if (f.hi == 0) return f.sql;
        if (fn == "year" || fn == "month" || fn == "day") { // DATEPART of that part
            // text stands for a datetime, as the server reads it
            if (c.isText(0)) c.sql[0] = convert(c.sql[0], c.arg(0), SqlType{BaseType::DateTime});
            c.sql.insert(c.sql.begin(), "'" + fn + "'");
        }
        return f.sql + ("(" + c.list() + ")");
    }
    for (auto group : {&Binder::conditional, &Binder::textCall, &Binder::otherCall}) {
        std::string sql = (this->*group)(e, c);
        if (!sql.empty()) return sql;
    }
    throw SqlError{195, 15, 10,
                   "'" + e.token.text + "' is not a recognized built-in function name.", true};
}

// ISNULL, COALESCE, NULLIF, IIF and DATALENGTH.
std::string Binder::conditional(Expr& e, CallContext& c) {
    const std::string& fn = c.fn;
    if (fn == "isnull") {
        c.args(2, 2);
        e.type = c.types[0].nullLiteral ? c.types[1] : c.types[0];
        if (typed(c.types[0]) && typed(c.types[1]))
            c.sql[1] = convert(c.sql[1], c.arg(1), c.arg(0));
        return "ifnull(" + c.list() + ")";
    }
    if (fn == "iif") { // as CASE
        c.args(3, 3);
        e.type = c.highest({1, 2});
        return "CASE WHEN " + c.sql[0] + " THEN " + c.sql[1] + " ELSE " + c.sql[2] + " END";
    }
    if (fn == "coalesce" || fn == "nullif") {
        const bool nullif = fn == "nullif";
        c.args(nullif ? 2 : 1, nullif ? 2 : 255);
        std::vector<std::size_t> all(c.sql.size());
        std::iota(all.begin(), all.end(), std::size_t{0});
        e.type = nullif ? c.types[0] : c.highest(all); // COALESCE as CASE
        return fn + "(" + c.list() + (nullif ? collate(c.types[0], c.types[1], "equal to") : "") +
               ")";
    }
    if (fn == "datalength") {
        c.args(1, 1);
        e.type = known(SqlType{BaseType::Int});
        const SqlType& t = c.arg(0);
        if (!c.types[0].known) return "rowlark_datalength(" + c.sql[0] + ")";
        if (c.types[0].nullLiteral) return "NULL";
        if ((t.isText() || isBinary(t)) && !isFixedLength(t)) {
            const char* unit = isBinary(t) ? "0" : isUnicode(t) ? "2" : "1";
            return "rowlark_datalength(" + c.sql[0] + ", " + unit + ")";
        }
        const int time = tds::TypeInfo::timeBytes(t.scale);
        const int size = t.base == BaseType::Time        ? time
                         : t.base == BaseType::DateTime2 ? time + 3
                                                         : t.wire().maxLen;
        return "CASE WHEN " + c.sql[0] + " IS NULL THEN NULL ELSE " + std::to_string(size) + " END";
    }
    return {};
}

// The string functions.
std::string Binder::textCall(Expr& e, CallContext& c) {
    const std::string& fn = c.fn;
    if (fn == "substring") {
        c.args(3, 3);
        e.type = known(isBinary(c.arg(0)) ? SqlType{BaseType::VarBinary, c.arg(0).length}
                                          : textLike(c.arg(0)),
                       c.collation());
        return "rowlark_substring(" + c.list() + ")";
    }
    if (fn == "upper" || fn == "lower" || fn == "reverse" || fn == "ltrim" || fn == "rtrim" ||
        fn == "trim" || fn == "left" || fn == "right") {
        c.args(1, fn == "left" || fn == "right" ? 2 : 1);
        const SqlType t = c.isText(0) ? c.arg(0) : asText(c.arg(0));
        if (c.isOther(0)) c.sql[0] = convert(c.sql[0], c.arg(0), t);
        e.type = known(textLike(t), c.collation());
        const bool blanks = fn == "ltrim" || fn == "rtrim" || fn == "trim";
        return (blanks ? fn : "rowlark_" + fn) + "(" + c.list() + (blanks ? ", ' ')" : ")");
    }
    if (fn == "replace" || fn == "replicate" || fn == "space") {
        const std::size_t n = fn == "space" ? 1 : fn == "replace" ? 3 : 2;
        c.args(n, n);
        const SqlType base = fn == "space" ? SqlType{BaseType::VarChar, 1} : c.arg(0);
        bool unicode = isUnicode(base);
        for (std::size_t i = 1; fn == "replace" && i < c.sql.size(); ++i)
            unicode = unicode || isUnicode(c.arg(i));
        const int length = base.length == SqlType::kMax ? SqlType::kMax : unicode ? 4000 : 8000;
        e.type =
            known(SqlType{unicode ? BaseType::NVarChar : BaseType::VarChar, length}, c.collation());
        const std::string sql = fn == "space" ? "rowlark_replicate(' ', " + c.sql[0] + ")"
                                              : "rowlark_" + fn + "(" + c.list() + ")";
        // past 8,000 bytes the result is cut, unless its type is a (max) one
        return length == SqlType::kMax ? sql
                                       : "substr(" + sql + ", 1, " + std::to_string(length) + ")";
    }
    if (fn == "concat") {
        c.args(2, 254);
        bool unicode = false;
        int length = 0;
        for (std::size_t i = 0; i < c.sql.size(); ++i) {
            const SqlType t = c.isOther(i) ? asText(c.arg(i)) : c.arg(i);
            if (c.isOther(i)) c.sql[i] = convert(c.sql[i], c.arg(i), t);
            unicode = unicode || isUnicode(t);
            length = length == SqlType::kMax || t.length == SqlType::kMax ? SqlType::kMax
                                                                          : length + t.length;
        }
        if (length != SqlType::kMax) length = std::min(length, unicode ? 4000 : 8000);
        e.type = known(SqlType{unicode ? BaseType::NVarChar : BaseType::VarChar, length});
        return "rowlark_concat(" + c.list() + ")";
    }
    return {};
}

// Numbers, dates, and what the server tells of itself.
std::string Binder::otherCall(Expr& e, CallContext& c) {
    const std::string& fn = c.fn;
    if (fn == "abs" || fn == "ceiling" || fn == "floor" || fn == "sign" || fn == "round") {
        c.args(fn == "round" ? 2 : 1, fn == "round" ? 3 : 1);
        e.type = c.types[0];
        if (e.type.known && e.type.type.base == BaseType::Bit) e.type.type = SqlType{BaseType::Int};
        if (typed(e.type) && !isNumber(e.type.type)) e.type = known(SqlType{BaseType::Float});
        if (fn == "round") return "rowlark_round(" + c.list() + (c.sql.size() == 2 ? ", 0)" : ")");
        return (fn == "ceiling" ? "ceil" : fn) + "(" + c.sql[0] + ")";
    }
    if (fn == "hashbytes") {
        c.args(2, 2);
        e.type = known(SqlType{BaseType::VarBinary, 8000});
        if (typed(c.types[1]))
            c.sql[1] = convert(c.sql[1], c.arg(1), SqlType{BaseType::VarBinary, SqlType::kMax});
        return "rowlark_hashbytes(" + c.list() + ")";
    }
    if (fn == "serverproperty") {
        c.args(1, 1);
        e.type = known(SqlType{BaseType::NVarChar, 128});
        const std::string property =
            e.args[0]->kind == Expr::Literal ? toLower(e.args[0]->token.text) : "";
        // The properties clients ask for to tell the server's version; others are NULL, as the
        // server answers a property it does not know.
        if (property == "productversion") return "'15.0.2000.5'";
        if (property == "edition") return "'Developer Edition (64-bit)'";
        if (property == "productlevel") return "'RTM'";
        if (property == "engineedition") return e.type = known(SqlType{BaseType::Int}), "3";
        return "NULL";
    }
    return {};
}

std::string Binder::aggregate(Expr& e, Scope& scope, const std::string& fn) {
    const bool count = fn == "count" || fn == "count_big";
    if (e.star && !count) throw syntaxNear("*");
    if (!e.star && e.args.size() != 1) throw argumentCount(fn, 1, 1);
    const std::string a = e.star ? "*" : sortKey(*e.args[0], scope);
    const std::string distinct = e.distinct ? "DISTINCT " : "";
    if (count) {
        e.type = known(SqlType{fn == "count" ? BaseType::Int : BaseType::BigInt});
        return "count(" + distinct + a + ")";
    }
    const ExprType& t = e.args[0]->type;
    e.type = t;
    if (fn == "min" || fn == "max") return fn + "(" + distinct + a + ")";
    if (t.known) {
        const SqlType& s = t.type;
        if (!isNumber(s)) throw invalidOperand(s, fn);
        if (s.base == BaseType::Bit || s.base == BaseType::TinyInt || s.base == BaseType::SmallInt)
            e.type.type = SqlType{BaseType::Int};
        if (s.isDecimal())
            e.type.type =
                SqlType{BaseType::Numeric, 0, 38, fn == "avg" ? std::max(6, s.scale) : s.scale};
        if (s.base == BaseType::Real) e.type.type = SqlType{BaseType::Float, 0, 53};
    }
    return (fn == "avg" ? "rowlark_avg(" : "sum(") + distinct + a + ")";
}

std::string Binder::window(Expr& e, Scope& scope, const std::string& fn, bool ranking) {
    if (!e.window)
        throw SqlError{10753, 15, 1, "The function '" + fn + "' must have an OVER clause.", true};
    const std::string sql = ranking
                                ? fn + "(" + (e.args.empty() ? "" : expr(*e.args[0], scope)) + ")"
                                : aggregate(e, scope, fn);
    if (ranking) e.type = known(SqlType{BaseType::BigInt});
    std::string over, order;
    for (auto& p : e.partition)
        over += (over.empty() ? "PARTITION BY " : ", ") + sortKey(*p, scope);
    for (auto& o : e.order)
        order += (order.empty() ? "ORDER BY " : ", ") + sortKey(*o.expr, scope) +
                 (o.descending ? " DESC" : "");
    if (!over.empty() && !order.empty()) over += " ";
    return sql + " OVER (" + over + order + ")";
}

} // namespace sandbox
