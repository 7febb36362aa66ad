#include "operands.h"

#include "collation.h"
#include "text.h"

#include "tds/older_versions.h"
#include "tds/wire.h"

#include <cstdio>

namespace sandbox {

// CAST, CONVERT and their TRY_ forms: the store's CAST where its rules are the server's, a
// function of the sandbox's own where they are not (whole numbers refuse text that is none and
// values past their range, decimals round to their scale, dates refuse what is no date, text of
// a length is cut to it).
std::string castSql(const std::string& value, const SqlType& t, bool tryCast) {
    const bool checked = t.isInteger() || t.base == BaseType::Bit || t.isExactNumber() ||
                         t.isDateTime() || (t.isText() && t.length != SqlType::kMax);
    if (!checked) return "CAST(" + value + " AS " + t.castTarget() + ")";
    return "rowlark_cast(" + value + ", " + quoteString(t.declared()) + ", " +
           (tryCast ? "1" : "0") + ")";
}

bool isComparison(const Token& t) {
    if (t.kind != Token::Symbol) return false;
    for (const char* op : {"=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>"})
        if (t.text == op) return true;
    return false;
}

bool isKeyword(const std::string& w) {
    static const char* const kWords[] = {"select",
                                         "from",
                                         "where",
                                         "and",
                                         "or",
                                         "not",
                                         "in",
                                         "is",
                                         "null",
                                         "as",
                                         "on",
                                         "join",
                                         "inner",
                                         "left",
                                         "right",
                                         "outer",
                                         "cross",
                                         "full",
                                         "group",
                                         "by",
                                         "order",
                                         "having",
                                         "union",
                                         "all",
                                         "distinct",
                                         "insert",
                                         "into",
                                         "values",
                                         "update",
                                         "set",
                                         "delete",
                                         "asc",
                                         "desc",
                                         "case",
                                         "when",
                                         "then",
                                         "else",
                                         "end",
                                         "between",
                                         "like",
                                         "exists",
                                         "over",
                                         "partition",
                                         "rows",
                                         "range",
                                         "escape",
                                         "except",
                                         "intersect",
                                         "default",
                                         "primary",
                                         "key",
                                         "unique",
                                         "check",
                                         "references",
                                         "create",
                                         "table",
                                         "view",
                                         "index",
                                         "drop",
                                         "alter",
                                         "add",
                                         "column",
                                         "if",
                                         "collate",
                                         "top",
                                         "with",
                                         "current_timestamp",
                                         "unbounded",
                                         "preceding",
                                         "following",
                                         "current",
                                         "row",
                                         "first",
                                         "last",
                                         "nulls",
                                         "true",
                                         "false"};
    for (const char* k : kWords)
        if (w == k) return true;
    return false;
}

// Text compares as a literal does; numbers and dates go through the checks of CAST.
std::string variableSql(const Variable& var, const ColumnKinds& columns) {
    const tds::Value& v = var.value;
    std::string sql;
    if (std::holds_alternative<std::monostate>(v)) {
        sql = "NULL";
    } else if (const auto* i = std::get_if<std::int64_t>(&v)) {
        sql = std::to_string(*i);
    } else if (const auto* d = std::get_if<double>(&v)) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", *d);
        sql = buf;
    } else if (const auto* d = std::get_if<tds::Decimal>(&v)) {
        const bool money =
            var.type.base == BaseType::Money || var.type.base == BaseType::SmallMoney;
        sql = quoteString(decimalText(d->scaled, money ? 4 : var.type.scale));
    } else if (const auto* s = std::get_if<std::u16string>(&v)) {
        sql = quoteString(tds::utf8(*s));
        if (columns.literalsIgnoreCase) sql += std::string(" COLLATE ") + kCollationCi;
    } else if (const auto* b = std::get_if<tds::Bytes>(&v)) {
        if (var.type.base == BaseType::UniqueIdentifier) {
            sql = quoteString(guidText(*b));
        } else {
            static const char digits[] = "0123456789ABCDEF";
            sql = "X'";
            for (auto byte : *b) {
                sql += digits[byte >> 4];
                sql += digits[byte & 0xF];
            }
            sql += "'";
        }
    } else {
        tds::TypeInfo shape = var.type.wire();
        if (shape.type == tds::kDateTimN) shape = {tds::kDateTime2N, 0, 0, 3};
        if (!var.type.isDateTime()) shape = {tds::kDateTime2N, 0, 0, 7};
        sql = quoteString(tds::utf8(tds::dateTimeText(shape, std::get<tds::DateTime>(v))));
    }
    if (var.type.isText() || var.type.base == BaseType::Binary ||
        var.type.base == BaseType::VarBinary || var.type.base == BaseType::UniqueIdentifier)
        return sql;
    return castSql(sql, var.type, false);
}

const SqlType* comparedInteger(TokenIt b, TokenIt p, TokenIt e, const ColumnKinds& columns) {
    if (columns.integer.empty()) return nullptr;
    if (p - b >= 2 && isComparison(*(p - 1))) {
        const Token& before = *(p - 2);
        if (before.kind == Token::QuotedName ||
            (before.kind == Token::Word && !isKeyword(toLower(before.text))))
            if (const SqlType* type = columns.integerType(before.text)) return type;
    }
    if (e - p >= 3 && isComparison(*(p + 1)) && (p + 2)->isName()) {
        TokenIt q = p + 2;
        while (q + 2 < e && (q + 1)->isSymbol(".") && (q + 2)->isName())
            q += 2;
        if (q + 1 != e && (q + 1)->isSymbol("(")) return nullptr;
        return columns.integerType(q->text);
    }
    return nullptr;
}

bool besideCaseSensitiveColumn(TokenIt b, TokenIt p, TokenIt e, const ColumnKinds& columns) {
    if (columns.caseSensitive.empty()) return false;
    const auto sensitiveName = [&](TokenIt q) {
        return q->kind == Token::QuotedName ||
                       (q->kind == Token::Word && !isKeyword(toLower(q->text)))
                   ? columns.isCaseSensitive(q->text)
                   : false;
    };
    if (p - b >= 2 && isComparison(*(p - 1)) && sensitiveName(p - 2)) return true;
    if (e - p >= 3 && isComparison(*(p + 1)) && (p + 2)->isName()) {
        TokenIt q = p + 2;
        while (q + 2 < e && (q + 1)->isSymbol(".") && (q + 2)->isName())
            q += 2;
        if (sensitiveName(q)) return true;
    }
    int depth = 0;
    for (TokenIt q = p; q != b;) {
        --q;
        if (q->isSymbol(")")) ++depth;
        if (q->isSymbol("(") && depth-- == 0) {
            if (q - b < 2 || !(q - 1)->is("in")) return false;
            TokenIt column = q - 2;
            if (column->is("not") && column != b) --column;
            return sensitiveName(column);
        }
    }
    return false;
}

namespace {

// Past the token that closes the one at q, which opens: ')' for '(', END for CASE.
TokenIt pastClosing(TokenIt q, TokenIt e) {
    const bool parenthesis = q->isSymbol("(");
    int depth = 0;
    for (TokenIt r = q; r != e; ++r) {
        if (parenthesis ? r->isSymbol("(") : r->is("case"))
            ++depth;
        else if ((parenthesis ? r->isSymbol(")") : r->is("end")) && --depth == 0)
            return r + 1;
    }
    return e;
}

} // namespace

TokenIt operandEnd(TokenIt q, TokenIt e) {
    while (q != e && (q->isSymbol("-") || q->isSymbol("+") || q->isSymbol("~")))
        ++q;
    if (q == e) return q;
    if (q->isSymbol("(") || q->is("case")) return pastClosing(q, e);
    if (q->kind == Token::Word && q + 1 != e && (q + 1)->isSymbol("(")) {
        TokenIt r = pastClosing(q + 1, e);
        if (r != e && r->is("over") && r + 1 != e && (r + 1)->isSymbol("("))
            r = pastClosing(r + 1, e);
        return r;
    }
    if (q->isName())
        while (q + 2 < e && (q + 1)->isSymbol(".") && (q + 2)->isName())
            q += 2;
    return q + 1;
}

} // namespace sandbox
