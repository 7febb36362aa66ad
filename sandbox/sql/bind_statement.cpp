// The statements that change a table: INSERT, UPDATE, DELETE, each value converted to its
// column's type as an assignment converts it.
#include "binder.h"

#include "error.h"
#include "text.h"

namespace sandbox {
namespace {

// The SQL of a value assigned to a column: converted to the column's type, refusing to cut.
std::string assigned(const std::string& sql, const ExprType& from, const ColumnDef& to) {
    if (from.nullLiteral) return sql;
    if (from.known) checkImplicit(from.type, to.type);
    return Binder::convert(sql, from, to.type, "NULL", Binder::Assign);
}

} // namespace

std::string Binder::insert(Insert& s, const TableDef& t,
                           const std::vector<const ColumnDef*>& into) {
    std::string head = "INSERT INTO " + quoteIdent(t.name);
    if (s.defaultValues) return head + " DEFAULT VALUES";
    std::string names;
    for (const ColumnDef* c : into)
        names += (names.empty() ? "" : ", ") + quoteIdent(c->name);
    head += " (" + names + ") ";
    const auto count = [&](std::size_t n) {
        if (n == into.size()) return;
        if (s.columns.empty())
            throw SqlError{213, 16, 1,
                           "Column name or number of supplied values does not match table "
                           "definition.",
                           true};
        throw SqlError{n < into.size() ? 109 : 110, 15, 1,
                       std::string("There are ") + (n < into.size() ? "more" : "fewer") +
                           " columns in the INSERT statement than values specified in the VALUES "
                           "clause. The number of values in the VALUES clause must match the "
                           "number of columns specified in the INSERT statement.",
                       true};
    };
    if (s.query) {
        BoundQuery q = query(*s.query);
        count(q.columns.size());
        std::string list;
        bool converts = false;
        for (std::size_t i = 0; i < into.size(); ++i) {
            const std::string column = "q." + quoteIdent(q.columns[i].sqlName);
            const std::string v = assigned(column, q.columns[i].type, *into[i]);
            converts = converts || v != column;
            list += (i ? ", " : "") + v;
        }
        return head + (converts ? "SELECT " + list + " FROM (" + q.sql + ") AS q" : q.sql);
    }
    std::string rows;
    for (auto& row : s.rows) {
        count(row.size());
        std::string values;
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (row[i]->kind == Expr::Name && row[i]->token.is("default"))
                throw unsupported("DEFAULT among the values of INSERT");
            values += (i ? ", " : "") + assigned(value(*row[i]), row[i]->type, *into[i]);
        }
        rows += (rows.empty() ? "VALUES (" : ", (") + values + ")";
    }
    return head + rows;
}

std::string Binder::update(Update& s, const TableDef& t, bool isDelete) {
    Scope scope;
    table(s.table, t.name, scope); // its columns named by the table as the store knows it
    std::string sql =
        isDelete ? "DELETE FROM " + quoteIdent(t.name) : "UPDATE " + quoteIdent(t.name);
    std::string set;
    for (auto& [name, value] : s.set) {
        const ColumnDef* column = nullptr;
        for (const auto& c : t.columns)
            if (iequals(c.name, name)) column = &c;
        if (!column) throw invalidColumn(name);
        if (column->identity)
            throw SqlError{8102, 16, 1, "Cannot update identity column '" + name + "'."};
        set += (set.empty() ? " SET " : ", ") + quoteIdent(column->name) + " = " +
               assigned(expr(*value, scope), value->type, *column);
    }
    return sql + set + (s.where ? " WHERE " + expr(*s.where, scope) : "");
}

std::string Binder::overTable(const TableDef& t, Expr& e) {
    Scope scope;
    table({t.name}, "", scope);
    for (auto& c : scope.sources.back().columns)
        c.sql = quoteIdent(c.name);
    return expr(e, scope);
}

} // namespace sandbox
