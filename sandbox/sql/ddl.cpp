// CREATE, DROP, ALTER and TRUNCATE, read through the parser as they run.
#include "engine.h"

#include "binder.h"
#include "collation.h"
#include "statement.h"
#include "text.h"

#include <algorithm>
#include <utility>

namespace sandbox {
namespace {

SqlError secondIdentity(const std::string& table) {
    return {2744, 16, 2,
            "Multiple identity columns specified for table '" + table +
                "'. Only one identity column per table is allowed."};
}

// A list of columns as the store writes it: "a", "b c" DESC.
std::string columnList(const IndexColumns& columns) {
    std::string out;
    for (const auto& [name, order] : columns)
        out += (out.empty() ? "" : ", ") + quoteIdent(name) + order;
    return out;
}

// A column read at p, with its default as the store writes it (a default reads no variables).
ColumnDefinition column(Parser& p, Database& db) {
    ColumnDefinition c = p.columnDefinition();
    const Variables none;
    if (c.defaultValue) c.defaultSql = Binder(db, none).value(*c.defaultValue);
    return c;
}

// The store's name of the table's index of that name (in any case), if it has one.
std::optional<std::string> indexNamed(Database& db, const std::string& table,
                                      const std::string& index) {
    Prepared find(db, "SELECT name FROM sqlite_master WHERE type = 'index' AND name = " +
                          quoteString(table + "." + index) + " COLLATE NOCASE");
    return find.step() ? std::optional(find.text(0)) : std::nullopt;
}

std::string indexSql(const std::string& table, const std::string& index, const std::string& columns,
                     bool unique) {
    return std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
           quoteIdent(table + "." + index) + " ON " + quoteIdent(table) + " (" + columns + ")";
}

} // namespace

std::string columnSql(const ColumnDefinition& c, const std::string& table) {
    std::string s = quoteIdent(c.name) + " " +
                    (c.rowKey ? std::string(kRowKeyType) + " PRIMARY KEY" : c.type.declared());
    if (c.type.isText()) s += std::string(" COLLATE ") + c.collation;
    if (c.type.isExactNumber()) s += std::string(" COLLATE ") + kCollationDecimal;
    if (c.notNull) s += " NOT NULL";
    if (c.identity)
        s += " DEFAULT (" + identityDefault(table, c.name, c.seed, c.increment) + ")";
    else if (!c.defaultSql.empty())
        s += " DEFAULT (" + c.defaultSql + ")";
    return s;
}

std::string createTableSql(const std::string& table, const std::vector<ColumnDefinition>& columns) {
    std::string sql = std::string(isTempName(table) ? "CREATE TEMP TABLE " : "CREATE TABLE ") +
                      quoteIdent(table) + " (";
    for (std::size_t i = 0; i < columns.size(); ++i)
        sql += (i ? ", " : "") + columnSql(columns[i], table);
    return sql + ")";
}

SqlError duplicateColumn(const std::string& column, const std::string& table, int state) {
    return {2705, 16, state,
            "Column names in each table must be unique. Column name '" + column + "' in table '" +
                table + "' is specified more than once."};
}

void Engine::create(Parser& p) {
    if (p.atEnd()) throw syntaxNear("CREATE");
    if (p.take("table")) return createTable(p);
    if (p.take("view")) return createView(p);
    if (p.take("database")) {
        const std::string name = p.takeName("DATABASE");
        if (!p.atEnd()) throw syntaxNear("DATABASE");
        return store_.create(name);
    }
    const bool unique = p.take("unique");
    if (!p.take("clustered")) p.take("nonclustered");
    if (!p.take("index"))
        throw unsupported("CREATE " + (p.atEnd() ? std::string() : p.position()->text));
    createIndex(p, unique);
}

void Engine::createTable(Parser& p) {
    const std::string name = objectName(p.objectName(), database());
    if (db_->table(name)) throw alreadyExists(name);
    p.expectSymbol("(", "end of statement");
    std::vector<std::string> indexes;
    std::vector<ColumnDefinition> definitions;
    int identities = 0;
    do {
        std::string constraint;
        if (p.take("constraint")) {
            if (p.atEnd()) throw syntaxNear("CONSTRAINT");
            constraint = p.takeAny();
        }
        const bool pk = p.is("primary");
        if (pk || p.take("unique")) {
            if (pk) p.takeAny(), p.takeAny(); // PRIMARY KEY
            if (!p.take("clustered")) p.take("nonclustered");
            const IndexColumns columns = p.indexColumns();
            if (constraint.empty()) constraint = (pk ? "PK_" : "UQ_") + name;
            indexes.push_back(
                indexSql(name, (pk ? "$P" : "$U") + constraint, columnList(columns), true));
            for (const auto& [column, order] : pk ? columns : IndexColumns{})
                for (auto& d : definitions) // a key's columns take no NULL
                    d.notNull = d.notNull || iequals(d.name, column);
        } else if (p.is("foreign") || p.is("check")) {
            throw unsupported(p.position()->text + " constraints");
        } else {
            const ColumnDefinition& c = definitions.emplace_back(column(p, *db_));
            if (c.identity && ++identities > 1) throw secondIdentity(name);
            if (c.primaryKey || c.unique)
                indexes.push_back(indexSql(name,
                                           (c.primaryKey ? "$PPK_" : "$UUQ_") + name + "_" + c.name,
                                           quoteIdent(c.name), true));
        }
    } while (p.takeSymbol(","));
    p.expectSymbol(")", "end of statement");
    if (p.take("on")) p.takeAny(); // the filegroup
    if (!p.atEnd()) p.fail();
    inSavepoint([&] {
        db_->exec(createTableSql(name, definitions), name);
        for (const auto& ix : indexes)
            db_->exec(ix, name);
    });
    forgetIdentity(*db_, name);
}

void Engine::createView(Parser& p) {
    const std::string name = objectName(p.objectName(), database());
    if (db_->table(name)) throw alreadyExists(name);
    const std::string columns = p.isSymbol("(") ? " (" + columnList(p.indexColumns()) + ")" : "";
    if (!p.take("as")) p.failNear(name);
    const QueryPtr q = p.apart(p.end(), [](Parser& rest) { return rest.whole(&Parser::query); });
    // the view's columns keep their collations, as a table's do
    const std::string select = Binder(*db_, variables_, true).query(*q).sql;
    inSavepoint([&] {
        db_->exec("CREATE VIEW " + quoteIdent(name) + columns + " AS " + select, name);
        // a view over missing objects fails now, as the server checks it at creation
        Prepared check(*db_, "SELECT * FROM " + quoteIdent(name) + " LIMIT 0");
    });
}

void Engine::createIndex(Parser& p, bool unique) {
    const std::string index = p.takeName("INDEX");
    if (!p.take("on")) throw syntaxNear(index);
    const std::string table = objectName(p.objectName(), database());
    const TableDef* def = db_->table(table);
    if (!def) throw invalidObject(table);
    if (!p.isSymbol("(")) throw syntaxNear(table);
    const std::string columns = columnList(p.indexColumns());
    if (p.take("include")) p.skipGroup();
    std::string where;
    if (p.take("where")) {
        const TokenIt stop =
            std::find_if(p.position(), p.end(), [](const Token& t) { return t.is("with"); });
        ExprPtr condition = p.apart(stop, [](Parser& w) { return w.whole(&Parser::expression); });
        where = " WHERE " + Binder(*db_, variables_).overTable(*def, *condition);
    }
    if (p.take("with")) p.skipGroup();
    if (p.take("on")) p.takeAny(); // the filegroup
    if (!p.atEnd()) p.fail();
    if (indexNamed(*db_, def->name, index))
        throw SqlError{1913, 16, 1,
                       "The operation failed because an index or statistics with name '" + index +
                           "' already exists on table '" + def->name + "'."};
    // The store's row key finds its rows already: an index on it alone is kept by name, empty.
    for (const auto& c : def->columns)
        if (c.rowKey && where.empty() && iequals(columns, quoteIdent(c.name))) where = " WHERE 0";
    db_->exec(indexSql(def->name, index, columns, unique) + where, def->name);
}

// DROP DATABASE and DROP INDEX read no further than their names.
void Engine::drop(Parser& p) {
    if (p.atEnd()) throw syntaxNear("DROP");
    if (p.take("database")) {
        const std::string name = p.takeName("DATABASE");
        const auto target = store_.find(name);
        // In use by this session or any other: its sessions' later work would vanish unseen.
        if (iequals(name, database()) || iequals(name, "master") ||
            (target && store_.faults().sessions(*target) > 0))
            throw SqlError{3702, 16, 4,
                           "Cannot drop database \"" + name + "\" because it is currently in use."};
        return store_.drop(name);
    }
    if (p.take("index")) {
        std::string table = p.takeName("INDEX"), index;
        if (p.takeSymbol(".")) {
            if (p.atEnd()) throw syntaxNear(table);
            index = p.takeAny();
        } else if (p.take("on")) {
            index = std::exchange(table, objectName(p.objectName(), database()));
        } else {
            throw syntaxNear(table);
        }
        const auto found = indexNamed(*db_, table, index);
        if (!found) throw cannotDrop("the index '" + table + "." + index + "'", 7);
        return db_->exec("DROP INDEX " + quoteIdent(*found));
    }
    const bool table = p.take("table"), view = !table && p.take("view");
    if (!table && !view) throw unsupported("DROP " + p.position()->text);
    const std::string kind = table ? "TABLE" : "VIEW", other = table ? "VIEW" : "TABLE";
    const bool ifExists = p.takeBoth("if", "exists");
    do {
        std::string name = objectName(p.objectName(), database());
        const TableDef* def = db_->table(name);
        if (def && def->isView != view)
            throw SqlError{3705, 16, 1,
                           "Cannot use DROP " + kind + " with '" + name + "' because '" + name +
                               "' is a " + toLower(other) + ". Use DROP " + other + "."};
        if (def) {
            db_->exec("DROP " + kind + " " + quoteIdent(def->name), def->name);
            forgetIdentity(*db_, def->name);
            db_->forgetSchema();
        } else if (!ifExists) {
            throw cannotDrop("the " + toLower(kind) + " '" + name + "'", 5);
        }
    } while (p.nextItem());
}

// ALTER TABLE t DROP [COLUMN] c (reading no further), or ADD [COLUMN] definition, ...
void Engine::alter(Parser& p) {
    if (!p.take("table"))
        throw unsupported("ALTER " + (p.atEnd() ? std::string() : p.position()->text));
    const std::string name = objectName(p.objectName(), database());
    const TableDef* def = db_->table(name);
    if (!def || def->isView) throw invalidObject(name);
    const std::string table = def->name;
    if (p.take("drop")) {
        p.take("column");
        const std::string column = p.takeName("DROP");
        return db_->exec("ALTER TABLE " + quoteIdent(table) + " DROP COLUMN " + quoteIdent(column),
                         table);
    }
    if (!p.take("add")) throw unsupported("this form of ALTER TABLE");
    p.take("column");
    std::vector<ColumnDefinition> definitions;
    do
        definitions.push_back(column(p, *db_));
    while (p.nextItem());
    // The table's identity column and those the statement adds count together: one at most.
    const auto added = std::ranges::count_if(definitions, &ColumnDefinition::identity);
    if (added + (def->identityIndex >= 0) > 1) throw secondIdentity(table);
    inSavepoint([&] {
        for (const auto& c : definitions) {
            if (c.identity) {
                db_->forgetSchema();
                addIdentityColumn(*db_->table(table), c);
                continue;
            }
            if (c.primaryKey || c.unique) throw unsupported("adding a key with ALTER TABLE");
            db_->exec("ALTER TABLE " + quoteIdent(table) + " ADD COLUMN " + columnSql(c, table),
                      table);
        }
    });
}

void Engine::truncate(Parser& p) {
    if (!p.take("table")) throw syntaxNear((p.position() - 1)->text);
    const std::string name = objectName(p.objectName(), database());
    const TableDef* def = db_->table(name);
    if (!def || def->isView) throw cannotFind(4701, 1, name);
    change("DELETE FROM " + quoteIdent(def->name), def->name);
    forgetIdentity(*db_, def->name);
}

// The store cannot add a column whose default draws identity values, so the table is rebuilt with
// it, copying the rows in storage order: they are numbered 1, 2, 3 ... in that order.
void Engine::addIdentityColumn(const TableDef& table, const ColumnDefinition& column) {
    const std::string name = table.name;
    std::string createSql;
    std::vector<std::string> indexSqls;
    {
        Prepared st(*db_,
                    "SELECT type, sql FROM sqlite_master WHERE tbl_name = " + quoteString(name) +
                        " AND type IN ('table', 'index') AND sql IS NOT NULL");
        while (st.step())
            if (st.text(0) == "table")
                createSql = st.text(1);
            else
                indexSqls.push_back(st.text(1));
    }
    for (const auto& c : table.columns)
        if (iequals(c.name, column.name)) throw duplicateColumn(column.name, name, 4);
    const std::string from = quoteIdent(name), work = quoteIdent(name + "$rowlark_rebuild");
    std::string body = createSql.substr(createSql.find('('));
    body.insert(body.rfind(')'), ", " + columnSql(column, name));
    std::string list;
    for (const auto& c : table.columns)
        list += (list.empty() ? "" : ", ") + quoteIdent(c.name);
    setNextIdentity(*db_, name, column.seed);
    db_->exec("CREATE TABLE " + work + " " + body + "; INSERT INTO " + work + " (" + list +
                  ") SELECT " + list + " FROM " + from +
                  " ORDER BY rowid; PRAGMA legacy_alter_table = ON; DROP TABLE " + from +
                  "; ALTER TABLE " + work + " RENAME TO " + from +
                  "; PRAGMA legacy_alter_table = OFF",
              name);
    for (const auto& ix : indexSqls)
        db_->exec(ix, name);
    db_->forgetSchema();
}

} // namespace sandbox
