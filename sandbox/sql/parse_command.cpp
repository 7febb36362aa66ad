// What CREATE, DROP, ALTER and TRUNCATE read besides expressions and queries: names, column
// definitions, key and index columns. Their syntax errors keep the server's words where it names
// the statement's keyword ("DATABASE", "INDEX") or the end of the statement rather than a token.
#include "ast.h"

#include "error.h"
#include "text.h"

namespace sandbox {

void Parser::failNear(std::string_view atEnd) const {
    throw syntaxNear(std::string(p_ != end_ ? std::string_view(p_->text) : atEnd));
}

bool Parser::takeBoth(std::string_view first, std::string_view second) {
    if (!is(first) || p_ + 1 == end_ || !(p_ + 1)->is(second)) return false;
    p_ += 2;
    return true;
}

bool Parser::nextItem() {
    if (p_ == end_) return false;
    expectSymbol(",");
    return true;
}

void Parser::skipGroup() {
    int depth = 0;
    do {
        if (p_ == end_) failNear("end of statement");
        depth += p_->isSymbol("(") ? 1 : p_->isSymbol(")") ? -1 : 0;
        ++p_;
    } while (depth > 0);
}

std::string Parser::takeName(std::string_view near) {
    if (p_ != end_ && p_->isName()) return (p_++)->text;
    if (!near.empty()) throw syntaxNear(std::string(near));
    failNear("end of statement");
}

std::int64_t Parser::integer() {
    const bool negative = isSymbol("-");
    if (!takeSymbol("-")) takeSymbol("+");
    if (p_ == end_ || p_->kind != Token::Number) failNear("end of statement");
    const auto v = parseWholeNumber((p_++)->text);
    if (!v) throw SqlError{8115, 16, 2, overflowText(SqlType{BaseType::BigInt})};
    return negative ? -*v : *v;
}

std::vector<std::string> Parser::objectName() {
    std::vector<std::string> parts;
    while (p_ != end_) {
        if (takeSymbol(".")) { // db..t
            parts.push_back("dbo");
            continue;
        }
        if (!p_->isName()) break;
        parts.push_back((p_++)->text);
        if (!takeSymbol(".")) break;
    }
    if (parts.empty()) failNear("end of statement");
    return parts;
}

ColumnDefinition Parser::columnDefinition() {
    ColumnDefinition c;
    c.name = takeName();
    c.type = apart(end_, [](Parser& type) { return type.type(false); });
    bool explicitNull = false;
    while (p_ != end_ && !isSymbol(",") && !isSymbol(")")) {
        if (take("identity")) {
            if (takeSymbol("(")) {
                c.seed = integer();
                expectSymbol(",", "end of statement");
                c.increment = integer();
                expectSymbol(")", "end of statement");
            }
            c.identity = true;
        } else if (takeBoth("not", "null")) {
            c.notNull = true;
        } else if (take("null")) {
            explicitNull = true;
        } else if (takeBoth("primary", "key")) {
            c.primaryKey = true;
        } else if (take("unique")) {
            c.unique = true;
        } else if (take("clustered") || take("nonclustered")) {
        } else if (take("constraint")) {
            takeAny(); // its name
        } else if (take("default")) {
            // The value ends where the parser stops: at the next option, a comma or the ")".
            c.defaultValue = apart(end_, [](Parser& value) { return value.expression(); });
        } else if (take("collate")) {
            if (atEnd()) throw syntaxNear("COLLATE");
            c.collation = collationName(collationId((p_++)->text));
        } else {
            throw unsupported("the column option " + p_->text);
        }
    }
    if (c.identity) {
        const bool integral = c.type.isInteger() || (c.type.isDecimal() && c.type.scale == 0);
        if (!integral || explicitNull)
            throw SqlError{2749, 16, 2,
                           "Identity column '" + c.name +
                               "' must be of data type int, bigint, smallint, "
                               "tinyint, or decimal or numeric with a scale of 0, and constrained "
                               "to be nonnullable."};
        c.notNull = true;
    }
    if (c.primaryKey) c.notNull = true;
    return c;
}

// (a, b DESC), skipped whole first: a group left open fails at the end of the statement.
IndexColumns Parser::indexColumns() {
    if (!isSymbol("(")) failNear("end of statement");
    const TokenIt open = p_;
    skipGroup();
    Parser in(open + 1, p_);
    IndexColumns columns = in.list([&in] {
        std::string name = in.takeName();
        return std::pair{name, in.is("asc") || in.is("desc") ? " " + (in.p_++)->text : ""};
    });
    in.expectSymbol(")");
    return columns;
}

} // namespace sandbox
