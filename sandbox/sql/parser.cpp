// Recursive descent over the lexer's tokens: T-SQL expressions and queries into the statement
// tree.
#include "ast.h"

#include "error.h"
#include "text.h"

#include <algorithm>
#include <iterator>

namespace sandbox {

bool isReservedWord(const Token& t) {
    static const char* const kWords[] = {
        "from",    "where", "group",  "having", "order",    "union", "except", "intersect",
        "into",    "on",    "join",   "inner",  "left",     "right", "full",   "cross",
        "outer",   "and",   "or",     "not",    "as",       "when",  "then",   "else",
        "end",     "case",  "is",     "in",     "between",  "like",  "escape", "option",
        "collate", "over",  "exists", "all",    "distinct", "null",  "asc",    "desc",
        "by",      "with",  "values", "top",    "percent",  "ties",  "apply"};
    return startsStatement(t) ||
           std::ranges::any_of(kWords, [&](const char* w) { return t.is(w); });
}

// The nesting a statement may reach (each parenthesis counts about three): deeper is the
// server's error 191, never a crash.
void Parser::deeper() {
    if (++depth_ > 1000)
        throw SqlError{191, 15, 1,
                       "Some part of your SQL statement is nested too deeply. Rewrite the query or "
                       "break it up into smaller queries.",
                       true};
}

void Parser::fail() const {
    throw syntaxNear(p_ != end_ ? p_->text : p_ != begin_ ? (p_ - 1)->text : std::string());
}

void Parser::expectSymbol(std::string_view s, std::string_view atEnd) {
    if (takeSymbol(s)) return;
    atEnd.empty() ? fail() : failNear(atEnd);
}

std::vector<std::string> Parser::name() {
    std::vector<std::string> parts;
    for (;;) {
        if (takeSymbol(".")) { // db..t: the schema left out
            parts.push_back("");
            continue;
        }
        if (p_ == end_ || !p_->isName() || isReservedWord(*p_)) fail();
        parts.push_back((p_++)->text);
        if (!isSymbol(".") || p_ + 1 == end_ || (p_ + 1)->isSymbol("*")) return parts;
        ++p_;
    }
}

std::string Parser::identifier() {
    if (p_ == end_ || !p_->isName()) fail();
    return (p_++)->text;
}

SqlType Parser::type(bool castDefaults) {
    const std::string name = identifier();
    if (iequals(name, "double")) take("precision");
    std::vector<std::string> args;
    if (takeSymbol("(")) {
        for (; p_ != end_ && !isSymbol(")"); ++p_)
            if (!isSymbol(",")) args.push_back(p_->text);
        expectSymbol(")");
    }
    auto t = SqlType::fromTsql(name, args);
    if (!t) {
        if (SqlType::fromTsql(name, {}))
            throw SqlError{131, 15, 2, "The size given to the type '" + name + "' is not valid.",
                           true};
        if (castDefaults)
            throw SqlError{243, 16, 1, "Type " + name + " is not a defined system type.", true};
        throw SqlError{2715, 16, 6,
                       "Column, parameter, or variable #1: Cannot find data type " + name + ".",
                       true};
    }
    if (castDefaults && hasLength(t->base) && args.empty()) t->length = 30;
    return *t;
}

ExprPtr Parser::expression() {
    Depth d(*this);
    return chain(0);
}

// The operators of one precedence, left to right: each link nests the chain before it.
ExprPtr Parser::chain(int level) {
    // From OR, the loosest, to the multiplying operators, the tightest.
    static const std::vector<std::string_view> kLevels[] = {
        {"or"}, {"and"}, {"+", "-", "&", "|", "^"}, {"*", "/", "%"}};
    const auto next = [&] {
        return level == 1 ? notExpr() : level == 3 ? unary() : chain(level + 1);
    };
    ExprPtr e = next();
    const auto& ops = kLevels[level];
    const Expr::Kind kind = level == 0 ? Expr::Or : level == 1 ? Expr::And : Expr::Binary;
    while (std::ranges::any_of(ops, [&](std::string_view op) { return is(op) || isSymbol(op); })) {
        deeper();
        const Token& op = *p_++;
        e = makeExpr(kind, op, std::move(e), next());
    }
    return e;
}

ExprPtr Parser::notExpr() {
    Depth d(*this);
    if (is("not")) {
        const Token& op = *p_++;
        return makeExpr(Expr::Not, op, notExpr());
    }
    if (is("exists")) {
        auto e = makeExpr(Expr::Exists, *p_++);
        e->query = parenthesised(&Parser::query);
        return e;
    }
    return predicate();
}

ExprPtr Parser::predicate() {
    static const std::string_view kComparisons[] = {"=",  "<>", "!=", "<", ">",
                                                    "<=", ">=", "!<", "!>"};
    ExprPtr left = chain(2);
    if (std::ranges::any_of(kComparisons, [&](std::string_view op) { return isSymbol(op); })) {
        const Token& op = *p_++;
        return makeExpr(Expr::Compare, op, std::move(left), chain(2));
    }
    if (take("is")) {
        auto n = makeExpr(Expr::IsNull, *(p_ - 1), std::move(left));
        n->negated = take("not");
        expect("null");
        return n;
    }
    return membership(std::move(left));
}

ExprPtr Parser::membership(ExprPtr left) {
    const bool negated = is("not") && p_ + 1 != end_ &&
                         ((p_ + 1)->is("in") || (p_ + 1)->is("like") || (p_ + 1)->is("between"));
    if (negated) ++p_;
    if (!is("in") && !is("between") && !is("like")) return left; // (NOT comes only before one)
    const Expr::Kind kind = is("in") ? Expr::In : is("between") ? Expr::Between : Expr::Like;
    auto e = makeExpr(kind, *p_++, std::move(left));
    e->negated = negated;
    if (e->kind == Expr::In) {
        expectSymbol("(");
        if (startsQuery())
            e->query = query();
        else
            std::ranges::move(expressions(), std::back_inserter(e->args));
        expectSymbol(")");
        return e;
    }
    e->args.push_back(chain(2)); // the pattern, or BETWEEN's low bound
    if (e->kind == Expr::Between) expect("and");
    if (e->kind == Expr::Between || (e->kind == Expr::Like && take("escape")))
        e->args.push_back(chain(2));
    return e;
}

ExprPtr Parser::unary() {
    Depth d(*this);
    if (isSymbol("-") || isSymbol("+") || isSymbol("~")) {
        Token sign = *p_++;
        // A sign before a number is part of the literal, as the server types -2147483648.
        if (sign.text == "-" && p_ != end_ && p_->kind == Token::Number) {
            Token literal = *p_++;
            literal.text = "-" + literal.text;
            return makeExpr(Expr::Literal, literal);
        }
        return makeExpr(Expr::Unary, sign, unary());
    }
    ExprPtr e = primary();
    while (take("collate")) {
        if (p_ == end_ || !p_->isName()) fail();
        deeper();
        e = makeExpr(Expr::Collate, *p_++, std::move(e));
    }
    return e;
}

ExprPtr Parser::primary() {
    if (p_ == end_) fail();
    const Token& t = *p_;
    if (t.kind != Token::Symbol) return operand();
    if (!takeSymbol("(")) fail();
    const bool subquery = startsQuery();
    ExprPtr e = subquery ? makeExpr(Expr::Subquery, t) : expression();
    if (subquery) e->query = query();
    expectSymbol(")");
    return e;
}

ExprPtr Parser::operand() {
    const Token& t = *p_;
    switch (t.kind) {
    case Token::String:
    case Token::Number:
    case Token::Binary:
        return makeExpr(Expr::Literal, *p_++);
    case Token::Variable:
        return makeExpr(Expr::Variable, *p_++);
    case Token::Symbol:
        break;
    case Token::Word:
        if (t.is("null")) return makeExpr(Expr::Literal, *p_++);
        if (t.is("case")) return caseExpr();
        if ((t.is("cast") || t.is("try_cast") || t.is("convert") || t.is("try_convert")) &&
            p_ + 1 != end_ && (p_ + 1)->isSymbol("("))
            return cast();
        if (t.is("current_timestamp"))
            return makeExpr(Expr::Call, Token{Token::Word, "getdate", false, (p_++)->line});
        if (isReservedWord(t) && !(t.is("left") || t.is("right"))) fail();
        [[fallthrough]];
    case Token::QuotedName: {
        if (t.kind == Token::Word && p_ + 1 != end_ && (p_ + 1)->isSymbol("(")) return call();
        auto n = makeExpr(Expr::Name, t);
        n->parts = name();
        return n;
    }
    }
    fail();
}

ExprPtr Parser::call() {
    auto c = makeExpr(Expr::Call, *p_);
    p_ += 2; // the name and its "("
    c->star = takeSymbol("*");
    if (!c->star && !isSymbol(")")) {
        if (!take("all")) c->distinct = take("distinct");
        c->args = expressions();
    }
    expectSymbol(")");
    if (take("over")) over(*c);
    return c;
}

void Parser::over(Expr& e) {
    e.window = true;
    expectSymbol("(");
    if (takeBy("partition")) e.partition = expressions();
    if (takeBy("order")) e.order = orderList();
    if (is("rows") || is("range")) throw unsupported("a window frame (ROWS or RANGE)");
    expectSymbol(")");
}

std::vector<OrderItem> Parser::orderList() {
    return list([this] {
        OrderItem o{expression()};
        if (!take("asc")) o.descending = take("desc");
        return o;
    });
}

ExprPtr Parser::caseExpr() {
    auto c = makeExpr(Expr::Case, *p_++);
    c->hasOperand = !is("when");
    if (c->hasOperand) c->args.push_back(expression());
    if (!is("when")) fail();
    while (take("when")) {
        c->args.push_back(expression());
        expect("then");
        c->args.push_back(expression());
    }
    c->hasElse = take("else");
    if (c->hasElse) c->args.push_back(expression());
    expect("end");
    return c;
}

ExprPtr Parser::cast() {
    auto c = makeExpr(Expr::Cast, *p_++);
    c->tryCast = c->token.is("try_cast") || c->token.is("try_convert");
    expectSymbol("(");
    if (c->token.is("convert") || c->token.is("try_convert")) {
        c->target = type(true);
        expectSymbol(",");
        c->args.push_back(expression());
        if (takeSymbol(",")) c->style = expression();
    } else {
        c->args.push_back(expression());
        expect("as");
        c->target = type(true);
    }
    expectSymbol(")");
    return c;
}

} // namespace sandbox
