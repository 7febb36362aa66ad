// Queries: sources and their columns, the select list, grouping, ordering, paging.
#include "binder.h"

#include "collation.h"
#include "error.h"
#include "text.h"

namespace sandbox {
namespace {

// The catalogue views the connection keeps in its temp schema: INFORMATION_SCHEMA.X, sys.x.
std::optional<std::string> catalogueView(const std::vector<std::string>& name) {
    const std::string view = toLower(name.back());
    const std::string schema = name.size() < 2 ? "dbo" : toLower(name[name.size() - 2]);
    if ((view == "sysobjects" || view == "syscolumns" || view == "sysusers") &&
        (schema == "dbo" || schema == "sys" || schema.empty()))
        return "sys." + view;
    if (schema == "information_schema") {
        if (view != "tables" && view != "columns")
            throw unsupported("the catalogue view INFORMATION_SCHEMA." + name.back());
        return "information_schema." + view;
    }
    if (schema != "sys") return std::nullopt;
    if (view != "objects" && view != "tables" && view != "views" && view != "columns")
        throw unsupported("the system catalogue view sys." + name.back());
    return "sys." + view;
}

} // namespace

BoundQuery Binder::query(Query& q, bool numbering) {
    numbering_ = numbering;
    return {queryExpr(q, nullptr), q.columns}; // in order: binding gives the query its columns
}

std::string Binder::queryExpr(Query& q, Scope* outer) {
    std::string with;
    for (auto& [name, cte] : q.with) {
        with += (with.empty() ? "WITH " : ", ") + quoteIdent(name) + " AS (" +
                queryExpr(*cte, nullptr) + ")";
        ctes_[toLower(name)] = cte.get();
    }
    if (!with.empty()) with += " ";
    if (q.select) return with + select(*q.select, q, outer);
    const auto member = [&](Query& m) {
        ++setMembers_;
        std::string sql = queryExpr(m, outer);
        --setMembers_;
        const bool limited = !m.orderBy.empty() || (m.select && m.select->top);
        return limited ? "SELECT * FROM (" + sql + ")" : sql;
    };
    std::string sql = member(*q.left) + " " + q.setWords + " " + member(*q.right);
    if (q.left->columns.size() != q.right->columns.size())
        throw SqlError{205, 16, 1,
                       "All queries combined using a UNION, INTERSECT or EXCEPT operator must have "
                       "an equal number of expressions in their target lists.",
                       true};
    q.columns = q.left->columns;
    for (std::size_t i = 0; i < q.columns.size(); ++i) {
        ResultColumn& c = q.columns[i];
        const ExprType& r = q.right->columns[i].type;
        if (c.type.nullLiteral || !c.type.known)
            c.type = r;
        else if (typed(r))
            c.type.type = common(c.type.type, r.type);
        c.column = nullptr;
    }
    if (!q.orderBy.empty()) {
        Scope scope;
        sql += " ORDER BY " + orderBy(q.orderBy, scope, q.columns);
    }
    return with + sql;
}

std::string Binder::orderBy(std::vector<OrderItem>& items, Scope& scope,
                            const std::vector<ResultColumn>& list) {
    std::string sql;
    for (auto& o : items) {
        std::string key;
        const Expr& e = *o.expr;
        if (e.kind == Expr::Literal && e.token.kind == Token::Number) {
            const auto n = parseWholeNumber(e.token.text);
            if (!n || *n < 1 || *n > static_cast<std::int64_t>(list.size()))
                throw SqlError{108, 16, 1,
                               "The ORDER BY position number " + e.token.text +
                                   " is out of range of the number of items in the select list.",
                               true};
            key = e.token.text;
        } else if (e.kind == Expr::Name && e.parts.size() == 1) {
            for (std::size_t i = 0; i < list.size() && key.empty(); ++i)
                if (iequals(list[i].name, e.parts[0])) {
                    key = std::to_string(i + 1);
                    const ExprType& t = list[i].type;
                    if (t.known && t.type.isText())
                        key = quoteIdent(list[i].sqlName) + " COLLATE " +
                              collationName(t.collation.id);
                }
        }
        if (key.empty()) key = sortKey(*o.expr, scope);
        sql += (sql.empty() ? "" : ", ") + key + (o.descending ? " DESC" : "");
    }
    return sql;
}

std::string Binder::select(Select& s, Query& q, Scope* outer) {
    Scope scope;
    scope.outer = outer;
    std::string from;
    for (auto& src : s.from)
        from += (from.empty() ? " FROM " : ", ") + source(*src, scope);
    std::string where, group, having;
    if (s.where) where = " WHERE " + expr(*s.where, scope);
    for (auto& g : s.groupBy)
        group += (group.empty() ? " GROUP BY " : ", ") + sortKey(*g, scope);
    if (!s.into.empty()) throw unsupported("SELECT ... INTO here");
    std::string list =
        selectList(s, scope, q.columns,
                   s.distinct || setMembers_ > 0 || (collated_ && !outer && subqueries_ == 0));
    if (s.having) having = " HAVING " + expr(*s.having, scope);
    std::string sql = std::string("SELECT ") + (s.distinct ? "DISTINCT " : "") + list + from +
                      where + group + having;
    if (!q.orderBy.empty()) sql += " ORDER BY " + orderBy(q.orderBy, scope, q.columns);
    if (s.top && q.offset)
        throw SqlError{10741, 15, 2,
                       "A TOP can not be used in the same query or sub-query as a OFFSET.", true};
    if (s.top) {
        std::string n = value(*s.top);
        if (s.topPercent) {
            if (outer || subqueries_ > 0) throw unsupported("TOP ... PERCENT in a subquery");
            // the share of the rows, rounded up
            n = "(SELECT CAST(x AS INTEGER) + (x > CAST(x AS INTEGER)) FROM (SELECT count(*) * "
                "rowlark_percent(" +
                n + ") / 100.0 AS x FROM (SELECT 1" + from + where + group + having + ")))";
        }
        sql += " LIMIT " + n;
    } else if (q.offset) {
        sql += " LIMIT " + (q.fetch ? value(*q.fetch) : std::string("-1")) + " OFFSET " +
               value(*q.offset);
    }
    return sql;
}

std::string Binder::selectList(Select& s, Scope& scope, std::vector<ResultColumn>& out,
                               bool collated) {
    std::string sql;
    out.clear();
    const auto add = [&](std::string item, ResultColumn c) {
        // DISTINCT and the set operations compare the values by the select list's collations
        if (collated && c.type.known && c.type.type.isText())
            item += std::string(" COLLATE ") + collationName(c.type.collation.id);
        c.sqlName = c.name.empty() ? "c" + std::to_string(out.size()) : c.name;
        for (const auto& o : out)
            if (iequals(o.sqlName, c.sqlName)) c.sqlName = "c" + std::to_string(out.size());
        sql += (sql.empty() ? "" : ", ") + item + " AS " + quoteIdent(c.sqlName);
        out.push_back(std::move(c));
    };
    for (auto& item : s.items) {
        if (!item.expr) { // t.* or *
            bool found = false;
            for (const auto& src : scope.sources) {
                if (!item.star.empty() && !iequals(item.star.back(), src.exposed)) continue;
                found = true;
                for (const auto& c : src.columns)
                    add(c.sql, ResultColumn{c.name, c.type, c.def, {}, false, 1, 1});
            }
            if (!found && !item.star.empty()) throw unboundName(item.star.back());
            if (scope.sources.empty())
                throw SqlError{263, 16, 1, "Must specify table to select from.", true};
            continue;
        }
        std::string value = expr(*item.expr, scope);
        ResultColumn c{item.alias, item.expr->type, nullptr, {}, false, 1, 1};
        if (!item.hasAlias && item.expr->kind == Expr::Name) c.name = item.expr->parts.back();
        if (!item.variable.empty()) { // SELECT @v = value: converted to the variable's type
            const auto v = variables_.find(toLower(item.variable));
            if (v == variables_.end()) throw undeclaredVariable(item.variable);
            if (typed(c.type)) {
                checkImplicit(c.type.type, v->second.type);
                value = convert(value, c.type.type, v->second.type);
            }
            c.name = item.variable;
        }
        const auto& args = item.expr->args;
        if (item.expr->kind == Expr::Call && iequals(item.expr->token.text, "identity")) {
            c.numbering = true;
            c.seed = args.size() > 1 ? std::stoll(args[1]->token.text) : 1;
            c.increment = args.size() > 2 ? std::stoll(args[2]->token.text) : 1;
        }
        if (item.expr->kind == Expr::Name && item.expr->type.known) {
            // a table's column as it stands keeps its flags (identity, nullability)
            for (const auto& src : scope.sources)
                for (const auto& col : src.columns)
                    if (col.sql == item.expr->sql) c.column = col.def;
        }
        add(value, std::move(c));
    }
    return sql;
}

std::string Binder::source(::sandbox::Source& src, Scope& scope) {
    if (src.kind == ::sandbox::Source::Join) {
        std::string left = source(*src.left, scope);
        std::string right = source(*src.right, scope);
        std::string on = src.on ? " ON " + expr(*src.on, scope) : "";
        return left + " " + src.joinWords + " " + right + on;
    }
    if (src.kind == ::sandbox::Source::Derived) {
        ++subqueries_;
        std::string sql = queryExpr(*src.query, nullptr);
        --subqueries_;
        scope.sources.push_back(derived(src.query->columns, src.alias, src.alias));
        return "(" + sql + ") AS " + quoteIdent(src.alias);
    }
    return table(src.name, src.alias, scope);
}

Binder::Source Binder::derived(const std::vector<ResultColumn>& columns, const std::string& exposed,
                               const std::string& of) {
    Source s{exposed, {}};
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const ResultColumn& c = columns[i];
        if (c.name.empty())
            throw SqlError{8155, 16, 2,
                           "No column name was specified for column " + std::to_string(i + 1) +
                               " of '" + of + "'.",
                           true};
        s.columns.push_back(
            {c.name, c.type, c.column, quoteIdent(exposed) + "." + quoteIdent(c.sqlName)});
    }
    return s;
}

std::string Binder::table(const std::vector<std::string>& name, const std::string& alias,
                          Scope& scope) {
    Source s{alias.empty() ? name.back() : alias, {}};
    if (name.size() == 1 && ctes_.count(toLower(name[0]))) {
        scope.sources.push_back(derived(ctes_[toLower(name[0])]->columns, s.exposed, name[0]));
        return quoteIdent(name[0]) + " AS " + quoteIdent(s.exposed);
    }
    // a catalogue view lives in the connection's temp schema, under a name of its own
    const auto view = catalogueView(name);
    const std::string object = view ? *view : objectName(name, db_.name());
    const TableDef* def = db_.table(object, view ? "temp" : nullptr);
    if (!def) throw invalidObject(view ? name.back() : object);
    const std::string from = view ? "temp." + quoteIdent(object) : quoteIdent(def->name);
    for (const auto& c : def->columns) {
        const bool typed = !c.declared.empty() && SqlType::fromDeclared(c.declared).has_value();
        const ExprType t{c.type, typed, false, {c.collation, Collation::Implicit}};
        // a view's column takes its flags from the table beneath it, which the store knows
        s.columns.push_back({c.name, t, def->isView ? nullptr : &c,
                             quoteIdent(s.exposed) + "." + quoteIdent(c.name)});
    }
    scope.sources.push_back(std::move(s));
    return from + " AS " + quoteIdent(scope.sources.back().exposed);
}

} // namespace sandbox
