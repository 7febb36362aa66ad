// Queries: WITH, SELECT with its clauses, set operations, ORDER BY with OFFSET and FETCH.
#include "ast.h"

#include "error.h"
#include "text.h"

#include <algorithm>

namespace sandbox {
namespace {

// A word that may stand as an alias: a quoted name, or a bare word that starts no clause.
bool isAliasWord(const Token& t) {
    return t.kind == Token::QuotedName ||
           (t.kind == Token::Word && !isReservedWord(t) && !t.is("offset") && !t.is("fetch"));
}

} // namespace

QueryPtr Parser::query() {
    Depth d(*this);
    std::vector<std::pair<std::string, QueryPtr>> with;
    if (take("with"))
        with = list([this] {
            std::string cte = identifier();
            if (isSymbol("(")) throw unsupported("a column list of a common table expression");
            expect("as");
            return std::pair{cte, parenthesised(&Parser::query)};
        });
    QueryPtr q = queryTerm();
    while (is("union") || is("except") || is("intersect")) {
        deeper();
        auto set = std::make_unique<Query>();
        set->setWords = toLower((p_++)->text);
        if (take("all")) set->setWords += " all";
        set->left = std::move(q);
        set->right = queryTerm();
        q = std::move(set);
    }
    if (takeBy("order")) {
        q->orderBy = orderList();
        if (take("offset")) {
            q->offset = expression();
            if (!take("rows")) expect("row");
            if (take("fetch")) {
                if (!take("first")) expect("next");
                q->fetch = expression();
                if (!take("rows")) expect("row");
                expect("only");
            }
        }
    }
    q->with = std::move(with);
    return q;
}

QueryPtr Parser::queryTerm() {
    Depth d(*this);
    if (isSymbol("(")) return parenthesised(&Parser::query);
    auto q = std::make_unique<Query>();
    q->select = select();
    return q;
}

std::unique_ptr<Select> Parser::select() {
    expect("select");
    auto s = std::make_unique<Select>();
    if (!take("all")) s->distinct = take("distinct");
    if (take("top")) {
        if (!isSymbol("(") && (p_ == end_ || p_->kind != Token::Number)) fail();
        s->top =
            isSymbol("(") ? parenthesised(&Parser::expression) : makeExpr(Expr::Literal, *p_++);
        s->topPercent = take("percent");
        if (is("with")) throw unsupported("TOP ... WITH TIES");
    }
    s->items = list([this] { return selectItem(); });
    if (take("into")) s->into = name();
    if (take("from")) s->from = list([this] { return source(); });
    if (take("where")) s->where = expression();
    if (takeBy("group")) s->groupBy = expressions();
    if (take("having")) s->having = expression();
    return s;
}

SelectItem Parser::selectItem() {
    SelectItem item;
    const bool named =
        p_ != end_ && (p_->isName() || p_->kind == Token::String || p_->kind == Token::Variable);
    if (p_ != end_ && p_->isName() && p_ + 2 < end_ && (p_ + 1)->isSymbol(".") &&
        (p_ + 2)->isSymbol("*")) {
        item.star.push_back(p_->text);
        p_ += 3;
    } else if (named && p_ + 1 != end_ && (p_ + 1)->isSymbol("=")) {
        // alias = value, 'alias' = value, @variable = value
        (p_->kind == Token::Variable ? item.variable : item.alias) = p_->text;
        item.hasAlias = p_->kind != Token::Variable;
        p_ += 2;
        item.expr = expression();
    } else if (!takeSymbol("*")) {
        item.expr = expression();
        // a select list holds values, not conditions
        if (item.expr->kind >= Expr::Compare && item.expr->kind <= Expr::Like)
            throw syntaxNear(item.expr->kind == Expr::Compare ? item.expr->token.text
                                                              : toLower(item.expr->token.text));
        const bool as = take("as");
        if (p_ != end_ &&
            (p_->kind == Token::String || isAliasWord(*p_) || (as && p_->kind == Token::Word))) {
            item.alias = (p_++)->text;
            item.hasAlias = true;
        } else if (as) {
            fail();
        }
    }
    return item;
}

SourcePtr Parser::source() {
    Depth d(*this);
    SourcePtr left = tableSource();
    for (;;) {
        if (takeBoth("cross", "apply")) throw unsupported("CROSS APPLY");
        if (takeBoth("outer", "apply")) throw unsupported("OUTER APPLY");
        if (is("right") || is("full")) throw unsupported("RIGHT and FULL joins");
        const std::string words = take("cross")  ? "CROSS JOIN"
                                  : take("left") ? "left JOIN"
                                                 : "JOIN";
        if (words == "left JOIN") take("outer");
        if (words == "JOIN" && !take("inner") && !is("join")) return left;
        expect("join");
        deeper();
        auto join = std::make_unique<Source>();
        join->kind = Source::Join;
        join->joinWords = words;
        join->left = std::move(left);
        join->right = tableSource();
        if (words != "CROSS JOIN") {
            expect("on");
            join->on = expression();
        }
        left = std::move(join);
    }
}

SourcePtr Parser::tableSource() {
    auto s = std::make_unique<Source>();
    if (takeSymbol("(")) {
        if (!startsQuery()) { // a parenthesised join
            s = source();
            expectSymbol(")");
            return s;
        }
        s->kind = Source::Derived;
        s->query = query();
        expectSymbol(")");
    } else {
        s->name = name();
    }
    take("as");
    if (p_ != end_ && isAliasWord(*p_)) s->alias = (p_++)->text;
    if (is("with") && p_ + 1 != end_ && (p_ + 1)->isSymbol("(")) {
        // table hints such as WITH (NOLOCK) mean nothing here
        p_ = std::find_if(p_ + 2, end_, [](const Token& t) { return t.isSymbol(")"); });
        expectSymbol(")");
    }
    if (s->kind == Source::Derived && s->alias.empty()) fail();
    return s;
}

} // namespace sandbox
