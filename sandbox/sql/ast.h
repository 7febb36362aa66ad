// The statement tree: what the parser reads from a query's tokens, and what the binder adds to
// it (each expression's server type and collation, each name's column).
#pragma once

#include "collation.h"
#include "lexer.h"
#include "types.h"

#include <memory>
#include <string>
#include <vector>

namespace sandbox {

struct Query;
struct Expr;
using ExprPtr = std::unique_ptr<Expr>;
using QueryPtr = std::unique_ptr<Query>;

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

// A collation and how strongly an expression holds it: a literal or a variable takes the
// database default, a column its own, COLLATE an explicit one.
struct Collation {
    enum Strength { Default, Implicit, Explicit };
    int id = 0; // kCollation... of collation.h
    Strength strength = Default;
};

// The type the binder gives an expression: unknown where the store's first value decides.
struct ExprType {
    SqlType type;
    bool known = false;
    bool nullLiteral = false; // NULL itself, which takes the type of what it meets
    Collation collation;
};

struct Expr {
    enum Kind {
        Literal,  // token: the literal
        Name,     // parts: a column's name, with its qualifiers
        Variable, // token: @name or @@name
        Unary,    // token: - + ~; args[0]
        Binary,   // token: + - * / % & | ^; args[0], args[1]
        Compare,  // token: = <> != < > <= >= !< !>; args[0], args[1]
        And,
        Or,
        Not,
        IsNull,  // args[0]; negated: IS NOT NULL
        In,      // args[0] IN (args[1..]) or IN (query)
        Between, // args[0] BETWEEN args[1] AND args[2]
        Like,    // args[0] LIKE args[1] [ESCAPE args[2]]
        Case,    // args: [operand], when, then, ..., [else]; hasOperand, hasElse
        Call,    // token: the function's name; args; star for COUNT(*)
        Cast,    // args[0] to target; style for CONVERT; tryCast
        Collate, // args[0] COLLATE token
        Subquery,
        Exists,
    };
    Kind kind = Literal;
    Token token;
    std::vector<std::string> parts;
    std::vector<ExprPtr> args;
    QueryPtr query;
    bool negated = false, distinct = false, star = false;
    bool hasOperand = false, hasElse = false;
    SqlType target;
    ExprPtr style;
    bool tryCast = false;
    bool window = false; // OVER (...)
    std::vector<ExprPtr> partition;
    std::vector<OrderItem> order;

    // What the binder found.
    ExprType type;
    std::string sql; // a column's name as the store's SQL writes it
};

struct SelectItem {
    ExprPtr expr;
    std::string alias;
    bool hasAlias = false;
    std::vector<std::string> star; // t.* (its qualifier) or *; expr is null then
    std::string variable;          // SELECT @v = value
};

struct Source {
    enum Kind { Table, Derived, Join };
    Kind kind = Table;
    std::vector<std::string> name; // Table
    std::string alias;
    QueryPtr query;        // Derived
    std::string joinWords; // Join: "JOIN", "LEFT JOIN", "CROSS JOIN", ...
    std::unique_ptr<Source> left, right;
    ExprPtr on;
};
using SourcePtr = std::unique_ptr<Source>;

// One SELECT ... FROM ... of a query.
struct Select {
    bool distinct = false;
    ExprPtr top;
    bool topPercent = false;
    std::vector<SelectItem> items;
    std::vector<std::string> into;
    std::vector<SourcePtr> from;
    ExprPtr where, having;
    std::vector<ExprPtr> groupBy;
};

// A result column as the binder types it.
struct ResultColumn {
    std::string name;
    ExprType type;
    const struct ColumnDef* column = nullptr; // a table's column selected as it stands
    std::string sqlName;                      // its name in the store's SQL
    bool numbering = false;                   // IDENTITY(type, seed, increment) of SELECT ... INTO
    std::int64_t seed = 1, increment = 1;
};

struct Insert {
    std::vector<std::string> table;
    std::vector<std::string> columns; // empty: every column
    std::vector<std::vector<ExprPtr>> rows;
    QueryPtr query;
    bool defaultValues = false;
};

struct Update {
    std::vector<std::string> table;
    std::vector<std::pair<std::string, ExprPtr>> set;
    ExprPtr where;
};

// A column of CREATE TABLE, ALTER TABLE ADD or SELECT ... INTO, and what the store makes of it.
struct ColumnDefinition {
    std::string name;
    SqlType type;
    bool notNull = false;
    bool identity = false;
    std::int64_t seed = 1, increment = 1;
    ExprPtr defaultValue;   // as written
    std::string defaultSql; // as the store writes it
    bool primaryKey = false, unique = false;
    bool rowKey = false;                  // the store's own row key (a numbering bigint)
    const char* collation = kCollationCi; // for character data
};

// Columns of an index or a key: each name with its ASC or DESC as written, if any.
using IndexColumns = std::vector<std::pair<std::string, std::string>>;

struct Query {
    std::vector<std::pair<std::string, QueryPtr>> with; // common table expressions
    std::unique_ptr<Select> select;                     // or a set operation:
    std::string setWords;                               // "UNION ALL", "EXCEPT", ...
    QueryPtr left, right;
    std::vector<OrderItem> orderBy;
    ExprPtr offset, fetch;
    std::vector<ResultColumn> columns; // the binder's
};

// Reads an expression or a query from tokens. Throws SqlError: 102 where the tokens do not read
// as T-SQL, 191 where they nest too deeply.
class Parser {
public:
    Parser(TokenIt begin, TokenIt end) : begin_(begin), p_(begin), end_(end) {}
    ExprPtr expression();
    QueryPtr query();
    Insert insert();
    Update update(); // DELETE too: an update without SET
    // Reads with read, and fails where tokens are left after it.
    template <class T> T whole(T (Parser::*read)()) {
        T out = (this->*read)();
        if (!atEnd()) fail();
        return out;
    }
    bool atEnd() const { return p_ == end_; }
    TokenIt position() const { return p_; }
    TokenIt end() const { return end_; }
    // The type named at the current token: nvarchar(50), decimal(10, 2); CAST's own defaults
    // (a length of 30) when castDefaults.
    SqlType type(bool castDefaults);
    bool is(std::string_view word) const { return p_ != end_ && p_->is(word); }
    bool isSymbol(std::string_view s) const { return p_ != end_ && p_->isSymbol(s); }
    bool take(std::string_view word) {
        if (!is(word)) return false;
        ++p_;
        return true;
    }
    bool takeSymbol(std::string_view s) {
        if (!isSymbol(s)) return false;
        ++p_;
        return true;
    }
    void expect(std::string_view word) {
        if (!take(word)) fail();
    }
    // Past s; else fails naming the token at hand, or past the last token atEnd, or that token.
    void expectSymbol(std::string_view s, std::string_view atEnd = {});
    [[noreturn]] void fail() const;

    // What statements other than queries and changes read as they run (parse_command.cpp).
    // Fails naming the token at hand, or atEnd past the last.
    [[noreturn]] void failNear(std::string_view atEnd) const;
    bool takeBoth(std::string_view first, std::string_view second); // both words, or neither
    // The token at hand, whatever it is ("" at the end).
    std::string takeAny() { return p_ != end_ ? (p_++)->text : std::string(); }
    void skipGroup(); // a parenthesised group, or one token
    // A name; else fails naming near, or (without it) the token at hand or the end of statement.
    std::string takeName(std::string_view near = {});
    std::int64_t integer(); // signed; 8115 past 64 bits
    // An object's name such as t, [t], dbo.t or Demo.dbo.t (db..t: dbo), reserved words too.
    std::vector<std::string> objectName();
    ColumnDefinition columnDefinition(); // of CREATE TABLE or ALTER TABLE ADD
    IndexColumns indexColumns();         // (a, b DESC)
    // Past an item of a list that runs to the end: false at the end, else past the comma.
    bool nextItem();
    // Reads with read(parser) as a parser of its own up to stop, whose faults at its start name
    // nothing, as the statement's own do.
    template <class Read> auto apart(TokenIt stop, Read read) {
        Parser sub(p_, stop);
        auto out = read(sub);
        p_ = sub.p_;
        return out;
    }

private:
    // Each nesting, and each link of a chain (a + b + c is as deep as it is long), goes a level
    // deeper, until the enclosing Depth ends.
    struct Depth {
        explicit Depth(Parser& p) : p_(p), saved_(p.depth_) { p.deeper(); }
        ~Depth() { p_.depth_ = saved_; }
        Parser& p_;
        int saved_;
    };
    void deeper();
    std::vector<std::string> name();
    std::string identifier(); // a name of one part, reserved words too
    // Items that read reads, separated by commas.
    template <class Read> auto list(Read read) {
        std::vector<decltype(read())> items;
        do
            items.push_back(read());
        while (takeSymbol(","));
        return items;
    }
    // GROUP, ORDER or PARTITION, which BY must follow.
    bool takeBy(std::string_view word) {
        if (!take(word)) return false;
        expect("by");
        return true;
    }
    std::vector<ExprPtr> expressions() {
        return list([this] { return expression(); });
    }
    template <class T> T parenthesised(T (Parser::*read)()) {
        expectSymbol("(");
        T out = (this->*read)();
        expectSymbol(")");
        return out;
    }
    ExprPtr chain(int level); // 0 OR, 1 AND, 2 adding, 3 multiplying
    ExprPtr notExpr();
    ExprPtr predicate();
    // The recursion of an expression passes through predicate and primary at each parenthesis:
    // what they read only sometimes stays out of their frames (membership, operand), so that the
    // nesting limit comes long before the stack's end, under the sanitizers too.
    [[gnu::noinline]] ExprPtr membership(ExprPtr left); // [NOT] IN, BETWEEN, LIKE
    ExprPtr unary();
    ExprPtr primary();
    [[gnu::noinline]] ExprPtr operand(); // what primary reads that is not in parentheses
    ExprPtr call();                      // a function's name with its "(" at hand
    ExprPtr caseExpr();
    ExprPtr cast(); // CAST, CONVERT or their TRY_ forms
    void over(Expr& e);
    std::vector<OrderItem> orderList();
    QueryPtr queryTerm();
    std::unique_ptr<Select> select();
    SelectItem selectItem();
    SourcePtr source();
    SourcePtr tableSource();
    bool startsQuery() const { return is("select") || is("with"); }

    TokenIt begin_, p_, end_;
    int depth_ = 0;
};

// An expression of that kind whose operands are args.
template <class... Args> ExprPtr makeExpr(Expr::Kind kind, const Token& token, Args&&... args) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->token = token;
    (e->args.push_back(std::forward<Args>(args)), ...);
    return e;
}
// Words that end an expression or a select item: never a column's name or an alias.
bool isReservedWord(const Token& t);

} // namespace sandbox
