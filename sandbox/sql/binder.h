// Binds a statement tree to the database: each name to its table's column, each expression to
// its server type and collation, with the conversions those types ask for; and writes the
// store's SQL from it.
#pragma once

#include "ast.h"
#include "database.h"
#include "translate.h"

#include <map>

namespace sandbox {

struct BoundQuery {
    std::string sql;
    std::vector<ResultColumn> columns;
};

class Binder {
public:
    Binder(Database& db, const Variables& variables) : db_(db), variables_(variables) {}

    BoundQuery query(Query& q);
    // A condition (IF, WHERE of a statement of its own) or a value without a FROM.
    std::string condition(Expr& e);
    std::string value(Expr& e);
    // The SQL that converts a value of one type to another, as CAST does (implicit: as the
    // server converts on its own).
    static std::string convert(const std::string& sql, const SqlType& from, const SqlType& to,
                               const std::string& style = "NULL", bool tryCast = false);

private:
    struct Column {
        std::string name;
        ExprType type;
        const ColumnDef* def = nullptr;
        std::string sql;
    };
    struct Source {
        std::string exposed;
        std::vector<Column> columns;
    };
    struct Scope {
        std::vector<Source> sources;
        Scope* outer = nullptr;
        const std::vector<ResultColumn>* aliases = nullptr; // ORDER BY reads the select list's
        bool aggregates = false;
    };

    std::string queryExpr(Query& q, Scope* outer);
    std::string select(Select& s, Query& q, Scope* outer);
    std::string selectList(Select& s, Scope& scope, std::vector<ResultColumn>& out, bool collated);
    std::string orderBy(std::vector<OrderItem>& items, Scope& scope);
    std::string source(::sandbox::Source& src, Scope& scope);
    std::string table(const std::vector<std::string>& name, const std::string& alias, Scope& scope);
    std::string expr(Expr& e, Scope& scope);
    std::string name(Expr& e, Scope& scope);
    std::string variable(Expr& e);
    std::string binary(Expr& e, Scope& scope);
    std::string compare(Expr& e, Scope& scope);
    std::string predicate(Expr& e, Scope& scope);
    std::string caseExpr(Expr& e, Scope& scope);
    std::string cast(Expr& e, Scope& scope);
    std::string call(Expr& e, Scope& scope);
    std::string aggregate(Expr& e, Scope& scope, const std::string& lower);
    std::string window(Expr& e, Scope& scope);
    // The SQL of two operands converted to one type, and that type.
    SqlType unify(Expr& a, std::string& sa, Expr& b, std::string& sb);
    // The collation a comparison of the two takes, as the store's COLLATE clause ("" if none).
    std::string collate(const ExprType& a, const ExprType& b, const char* operation);
    std::string sortKey(Expr& e, Scope& scope);

    Database& db_;
    const Variables& variables_;
    std::map<std::string, Query*> ctes_; // by lower-case name
    int subqueries_ = 0;
    int setMembers_ = 0; // inside a member of UNION, EXCEPT or INTERSECT
};

// The T-SQL functions the binder knows: their result types and their SQL in the store.
struct CallContext {
    std::vector<std::string> sql;
    std::vector<ExprType> types;
};

} // namespace sandbox
