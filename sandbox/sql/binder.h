// Binds a statement tree to the database: each name to its table's column, each expression to
// its server type and collation, with the conversions those types ask for; and writes the
// store's SQL from it.
#pragma once

#include "ast.h"
#include "database.h"
#include "reading.h"
#include "type_rules.h"

#include <map>

namespace sandbox {

struct BoundQuery {
    std::string sql;
    std::vector<ResultColumn> columns;
};

class Binder {
public:
    // collated: text columns of the result carry their collations, as a view's must.
    Binder(Database& db, const Variables& variables, bool collated = false)
        : db_(db), variables_(variables), collated_(collated) {}

    // A query; numbering allows IDENTITY() in its select list, as SELECT ... INTO does.
    BoundQuery query(Query& q, bool numbering = false);
    // A condition (IF) or a value without a FROM, and its type.
    std::string value(Expr& e);
    // The statements that change a table: their SQL, each value converted to its column's type.
    std::string insert(Insert& s, const TableDef& t, const std::vector<const ColumnDef*>& into);
    std::string update(Update& s, const TableDef& t, bool isDelete);
    std::string overTable(const TableDef& t, Expr& e);

    // How a conversion fails: as CAST (an error), TRY_CAST (NULL), or as an assignment to a
    // column, which also refuses to cut text or bytes.
    enum Mode { Cast, Try, Assign };
    // The SQL that converts a value of one type to another, as CAST does (implicit: as the
    // server converts on its own); a value of unknown type converts as the store finds it.
    static std::string convert(const std::string& sql, const ExprType& from, const SqlType& to,
                               const std::string& style = "NULL", Mode mode = Cast);
    static std::string convert(const std::string& sql, const SqlType& from, const SqlType& to) {
        return convert(sql, known(from), to);
    }

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
    };

    std::string queryExpr(Query& q, Scope* outer);
    std::string select(Select& s, Query& q, Scope* outer);
    std::string selectList(Select& s, Scope& scope, std::vector<ResultColumn>& out, bool collated);
    // ORDER BY, whose names and numbers may also stand for items of the select list given.
    std::string orderBy(std::vector<OrderItem>& items, Scope& scope,
                        const std::vector<ResultColumn>& list);
    std::string source(::sandbox::Source& src, Scope& scope);
    std::string table(const std::vector<std::string>& name, const std::string& alias, Scope& scope);
    // A derived table's or a CTE's columns (of: its name in the error where one has none).
    static Source derived(const std::vector<ResultColumn>& columns, const std::string& exposed,
                          const std::string& of);
    std::string expr(Expr& e, Scope& scope);
    std::string name(Expr& e, Scope& scope);
    std::string variable(Expr& e);
    std::string binary(Expr& e, Scope& scope);
    std::string compare(Expr& e, Scope& scope);
    std::string predicate(Expr& e, Scope& scope);
    std::string caseExpr(Expr& e, Scope& scope);
    struct CallContext operands(Expr& e, Scope& scope); // binds each argument
    std::string cast(Expr& e, Scope& scope);
    std::string call(Expr& e, Scope& scope);
    std::string conditional(Expr& e, struct CallContext& c);
    std::string textCall(Expr& e, CallContext& c);
    std::string otherCall(Expr& e, CallContext& c);
    std::string aggregate(Expr& e, Scope& scope, const std::string& lower);
    std::string window(Expr& e, Scope& scope, const std::string& fn, bool ranking);
    // The collation a comparison of the two takes, as the store's COLLATE clause ("" if none).
    std::string collate(const ExprType& a, const ExprType& b, const char* operation);
    std::string sortKey(Expr& e, Scope& scope);

    Database& db_;
    const Variables& variables_;
    std::map<std::string, Query*> ctes_; // by lower-case name
    int subqueries_ = 0;
    int setMembers_ = 0; // inside a member of UNION, EXCEPT or INTERSECT
    bool numbering_ = false;
    bool collated_ = false;
};

// A call's arguments, bound: their SQL and their types.
struct CallContext {
    std::string fn; // the function's name, lower case
    std::vector<std::string> sql;
    std::vector<ExprType> types;

    // Throws the server's 174 unless the call has from lo to hi arguments.
    void args(std::size_t lo, std::size_t hi) const;
    const SqlType& arg(std::size_t i) const { return types[i].type; }
    bool isText(std::size_t i) const { return types[i].known && arg(i).isText(); }
    // Typed, and not text: a value that text functions convert first.
    bool isOther(std::size_t i) const { return typed(types[i]) && !arg(i).isText(); }
    std::string list() const; // "a, b, c"
    // The type the results at the places given take (CASE's THENs and ELSE), the highest of
    // theirs (unknown where one is); their SQL is converted to it.
    ExprType highest(const std::vector<std::size_t>& results);
    Collation collation() const { return types.empty() ? Collation{} : types[0].collation; }
};

} // namespace sandbox
