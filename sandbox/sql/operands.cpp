#include "operands.h"

#include "rpc_parameters.h"
#include "text.h"

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

// The literal a client would write for the value, translated as any literal is: text compares as
// a literal does; numbers and dates then go through the checks of CAST.
std::string variableSql(const Variable& var, const ColumnKinds& columns) {
    tds::TypeInfo shape = var.type.wire();
    if (std::holds_alternative<tds::DateTime>(var.value) && !var.type.isDateTime())
        shape = {tds::kDateTime2N, 0, 0, 7};
    const Tokens tokens = tokenize(literal(tds::RpcParam{{}, 0, shape, var.value}));
    ColumnKinds alone;
    alone.literalsIgnoreCase = columns.literalsIgnoreCase && var.type.isText();
    const std::string sql = translate(tokens.begin(), tokens.end(), {}, alone);
    if (var.type.isText() || var.type.base == BaseType::Binary ||
        var.type.base == BaseType::VarBinary || var.type.base == BaseType::UniqueIdentifier)
        return sql;
    return castSql(sql, var.type, false);
}

namespace {

// A name that may be a column's: quoted, or a word that is no keyword.
bool isColumnName(const Token& t) {
    return t.kind == Token::QuotedName || (t.kind == Token::Word && !isKeyword(toLower(t.text)));
}

// The column name that the literal at p is compared with, column = 'x' or 'x' = t.column, or e.
TokenIt comparedColumn(TokenIt b, TokenIt p, TokenIt e) {
    if (p - b >= 2 && isComparison(*(p - 1))) {
        if (isColumnName(*(p - 2))) return p - 2;
    }
    if (e - p >= 3 && isComparison(*(p + 1)) && (p + 2)->isName()) {
        TokenIt q = p + 2;
        while (q + 2 < e && (q + 1)->isSymbol(".") && (q + 2)->isName())
            q += 2;
        if (q + 1 == e || !(q + 1)->isSymbol("(")) return q; // a call is no column
    }
    return e;
}

} // namespace

const SqlType* comparedInteger(TokenIt b, TokenIt p, TokenIt e, const ColumnKinds& columns) {
    if (columns.integer.empty()) return nullptr;
    const TokenIt column = comparedColumn(b, p, e);
    return column == e ? nullptr : columns.integerType(column->text);
}

bool besideCaseSensitiveColumn(TokenIt b, TokenIt p, TokenIt e, const ColumnKinds& columns) {
    if (columns.caseSensitive.empty()) return false;
    const TokenIt compared = comparedColumn(b, p, e);
    if (compared != e) return columns.isCaseSensitive(compared->text);
    int depth = 0;
    for (TokenIt q = p; q != b;) {
        --q;
        if (q->isSymbol(")")) ++depth;
        if (q->isSymbol("(") && depth-- == 0) {
            if (q - b < 2 || !(q - 1)->is("in")) return false;
            TokenIt column = q - 2;
            if (column->is("not") && column != b) --column;
            return isColumnName(*column) && columns.isCaseSensitive(column->text);
        }
    }
    return false;
}

TokenIt closingToken(TokenIt q, TokenIt e) {
    const bool parenthesis = q->isSymbol("(");
    int depth = 0;
    for (TokenIt r = q; r != e; ++r) {
        if (parenthesis ? r->isSymbol("(") : r->is("case"))
            ++depth;
        else if ((parenthesis ? r->isSymbol(")") : r->is("end")) && --depth == 0)
            return r;
    }
    return e;
}

namespace {

TokenIt pastClosing(TokenIt q, TokenIt e) {
    const TokenIt close = closingToken(q, e);
    return close == e ? e : close + 1;
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
