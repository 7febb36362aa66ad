// CREATE, DROP and ALTER.
#include "engine.h"

#include "binder.h"
#include "collation.h"
#include "reading.h"
#include "statement.h"
#include "text.h"

namespace sandbox {
namespace {

void expectSymbol(TokenIt& p, TokenIt end, std::string_view s) {
    if (p == end || !p->isSymbol(s)) throw syntaxNear(p == end ? "end of statement" : p->text);
    ++p;
}

// Skips a parenthesised group starting at p.
void skipGroup(TokenIt& p, TokenIt end) {
    int depth = 0;
    do {
        if (p == end) throw syntaxNear("end of statement");
        if (p->isSymbol("(")) ++depth;
        if (p->isSymbol(")")) --depth;
        ++p;
    } while (depth > 0);
}

// A list of names as the store writes it: (a, [b c] DESC) to ("a", "b c" DESC).
std::string names(TokenIt b, TokenIt e) {
    std::string out;
    for (TokenIt p = b; p != e; ++p)
        out += p->isName() && !p->is("asc") && !p->is("desc") ? quoteIdent(p->text)
               : p->isSymbol(",")                             ? ", "
                                                              : " " + p->text;
    return out;
}

SqlError secondIdentity(const std::string& table) {
    return {2744, 16, 2,
            "Multiple identity columns specified for table '" + table +
                "'. Only one identity column per table is allowed."};
}

bool endsElement(TokenIt p, TokenIt end) {
    return p == end || p->isSymbol(",") || p->isSymbol(")");
}

ColumnDefinition readColumn(TokenIt& p, TokenIt end, Database& db) {
    ColumnDefinition c;
    if (p == end || !p->isName()) throw syntaxNear(p == end ? "end of statement" : p->text);
    c.name = (p++)->text;
    c.type = readType(p, end);
    bool explicitNull = false;
    while (!endsElement(p, end)) {
        if (p->is("identity")) {
            ++p;
            if (p != end && p->isSymbol("(")) {
                ++p;
                c.seed = readInteger(p, end);
                expectSymbol(p, end, ",");
                c.increment = readInteger(p, end);
                expectSymbol(p, end, ")");
            }
            c.identity = true;
        } else if (p->is("not") && p + 1 != end && (p + 1)->is("null")) {
            c.notNull = true;
            p += 2;
        } else if (p->is("null")) {
            explicitNull = true;
            ++p;
        } else if (p->is("primary") && p + 1 != end && (p + 1)->is("key")) {
            c.primaryKey = true;
            p += 2;
        } else if (p->is("unique")) {
            c.unique = true;
            ++p;
        } else if (p->is("clustered") || p->is("nonclustered")) {
            ++p;
        } else if (p->is("constraint")) {
            p += 2;
        } else if (p->is("default")) {
            // The value ends where the parser stops: at the next option, a comma or the ")".
            Parser parser(p + 1, end);
            ExprPtr value = parser.expression();
            p = parser.position();
            const Variables none;
            c.defaultSql = Binder(db, none).value(*value);
        } else if (p->is("collate")) {
            if (p + 1 == end) throw syntaxNear("COLLATE");
            c.collation = collationFor((p + 1)->text);
            p += 2;
        } else {
            throw unsupported("the column option " + p->text);
        }
    }
    if (c.identity) {
        bool integral = c.type.isInteger() ||
                        ((c.type.base == BaseType::Decimal || c.type.base == BaseType::Numeric) &&
                         c.type.scale == 0);
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

// The store's name of the table's index of that name (in any case), if it has one.
std::optional<std::string> indexNamed(Database& db, const std::string& table,
                                      const std::string& index) {
    Prepared find(db, "SELECT name FROM sqlite_master WHERE type = 'index' AND name = " +
                          quoteString(table + "." + index) + " COLLATE NOCASE");
    if (!find.step()) return std::nullopt;
    return find.text(0);
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

void Engine::create(const Tokens& t, ResultSink& sink) {
    TokenIt p = t.begin() + 1;
    if (p == t.end()) throw syntaxNear("CREATE");
    if (p->is("table")) {
        createTable(p + 1, t.end());
    } else if (p->is("view")) {
        ++p;
        std::string name = readObjectName(p, t.end(), database());
        if (db_->table(name)) throw alreadyExists(name);
        std::string columns;
        if (p != t.end() && p->isSymbol("(")) {
            TokenIt start = p;
            skipGroup(p, t.end());
            columns = " " + names(start, p);
        }
        if (p == t.end() || !p->is("as")) throw syntaxNear(p == t.end() ? name : p->text);
        Parser parser(p + 1, t.end());
        QueryPtr q = parser.query();
        if (!parser.atEnd()) throw syntaxNear(parser.position()->text);
        // the view's columns keep their collations, as a table's do
        const std::string select = Binder(*db_, variables_, true).query(*q).sql;
        inSavepoint([&] {
            db_->exec("CREATE VIEW " + quoteIdent(name) + columns + " AS " + select, name);
            // a view over missing objects fails now, as the server checks it at creation
            Prepared check(*db_, "SELECT * FROM " + quoteIdent(name) + " LIMIT 0");
        });
    } else if (p->is("database")) {
        ++p;
        if (p == t.end() || !p->isName() || p + 1 != t.end()) throw syntaxNear("DATABASE");
        store_.create(p->text);
    } else {
        bool unique = false;
        if (p->is("unique")) unique = true, ++p;
        if (p != t.end() && (p->is("clustered") || p->is("nonclustered"))) ++p;
        if (p == t.end() || !p->is("index"))
            throw unsupported("CREATE " + (p == t.end() ? std::string() : p->text));
        createIndex(p + 1, t.end(), unique);
    }
    sink.done(false, 0);
}

void Engine::createTable(TokenIt p, TokenIt end) {
    std::string name = readObjectName(p, end, database());
    if (db_->table(name)) throw alreadyExists(name);
    expectSymbol(p, end, "(");
    std::vector<std::string> indexes;
    std::vector<ColumnDefinition> definitions;
    int identities = 0;
    for (bool more = true; more;) {
        std::string constraint;
        if (p != end && p->is("constraint")) {
            ++p;
            if (p == end) throw syntaxNear("CONSTRAINT");
            constraint = (p++)->text;
        }
        bool pk = p != end && p->is("primary");
        if (pk || (p != end && p->is("unique"))) {
            p += pk ? 2 : 1;
            if (p != end && (p->is("clustered") || p->is("nonclustered"))) ++p;
            TokenIt start = p;
            skipGroup(p, end);
            if (constraint.empty()) constraint = (pk ? "PK_" : "UQ_") + name;
            indexes.push_back(
                indexSql(name, (pk ? "$P" : "$U") + constraint, names(start + 1, p - 1), true));
            for (TokenIt c = start; pk && c != p; ++c) // a key's columns take no NULL
                for (auto& s : definitions)
                    if (c->isName() && iequals(s.name, c->text)) s.notNull = true;
        } else if (p != end && (p->is("foreign") || p->is("check"))) {
            throw unsupported(p->text + " constraints");
        } else {
            definitions.push_back(readColumn(p, end, *db_));
            const ColumnDefinition& c = definitions.back();
            if (c.identity && ++identities > 1) throw secondIdentity(name);
            if (c.primaryKey || c.unique)
                indexes.push_back(indexSql(name,
                                           (c.primaryKey ? "$PPK_" : "$UUQ_") + name + "_" + c.name,
                                           quoteIdent(c.name), true));
        }
        more = p != end && p->isSymbol(",");
        if (more) ++p;
    }
    expectSymbol(p, end, ")");
    if (p != end && p->is("on")) p += 2; // filegroup
    if (p != end) throw syntaxNear(p->text);
    inSavepoint([&] {
        db_->exec(createTableSql(name, definitions), name);
        for (const auto& ix : indexes)
            db_->exec(ix, name);
    });
    forgetIdentity(*db_, name);
}

void Engine::createIndex(TokenIt p, TokenIt end, bool unique) {
    if (p == end || !p->isName()) throw syntaxNear("INDEX");
    std::string index = (p++)->text;
    if (p == end || !p->is("on")) throw syntaxNear(index);
    ++p;
    std::string table = readObjectName(p, end, database());
    const TableDef* def = db_->table(table);
    if (!def) throw invalidObject(table);
    if (p == end || !p->isSymbol("(")) throw syntaxNear(table);
    TokenIt start = p + 1;
    skipGroup(p, end);
    std::string columns = names(start, p - 1);
    if (p != end && p->is("include")) {
        ++p;
        skipGroup(p, end);
    }
    std::string where;
    if (p != end && p->is("where")) {
        TokenIt w = p;
        while (p != end && !p->is("with"))
            ++p;
        Parser parser(w + 1, p);
        ExprPtr condition = parser.expression();
        if (!parser.atEnd()) throw syntaxNear(parser.position()->text);
        where = " WHERE " + Binder(*db_, variables_).overTable(*def, *condition);
    }
    if (p != end && p->is("with")) {
        ++p;
        skipGroup(p, end);
    }
    if (p != end && p->is("on")) p += 2;
    if (p != end) throw syntaxNear(p->text);
    if (indexNamed(*db_, def->name, index))
        throw SqlError{1913, 16, 1,
                       "The operation failed because an index or statistics with name '" + index +
                           "' already exists on table '" + def->name + "'."};
    // The store's row key finds its rows already: an index on it alone is kept by name, empty.
    for (const auto& c : def->columns)
        if (c.rowKey && where.empty() && iequals(columns, quoteIdent(c.name))) where = " WHERE 0";
    db_->exec(indexSql(def->name, index, columns, unique) + where, def->name);
}

void Engine::drop(const Tokens& t, ResultSink& sink) {
    TokenIt p = t.begin() + 1;
    if (p == t.end()) throw syntaxNear("DROP");
    const bool table = p->is("table"), view = p->is("view");
    if (p->is("database")) {
        ++p;
        if (p == t.end() || !p->isName()) throw syntaxNear("DATABASE");
        const auto target = store_.find(p->text);
        // In use by this session or any other: its sessions' later work would vanish unseen.
        if (iequals(p->text, database()) || iequals(p->text, "master") ||
            (target && store_.faults().sessions(*target) > 0))
            throw SqlError{3702, 16, 4,
                           "Cannot drop database \"" + p->text +
                               "\" because it is currently in use."};
        store_.drop(p->text);
        return sink.done(false, 0);
    }
    if (p->is("index")) {
        ++p;
        if (p == t.end() || !p->isName()) throw syntaxNear("INDEX");
        std::string first = (p++)->text, tableName, index;
        if (p != t.end() && p->isSymbol(".")) {
            ++p;
            if (p == t.end()) throw syntaxNear(first);
            tableName = first, index = (p++)->text;
        } else if (p != t.end() && p->is("on")) {
            ++p;
            index = first;
            tableName = readObjectName(p, t.end(), database());
        } else {
            throw syntaxNear(first);
        }
        const auto found = indexNamed(*db_, tableName, index);
        if (!found) throw cannotDrop("the index '" + tableName + "." + index + "'", 7);
        db_->exec("DROP INDEX " + quoteIdent(*found));
        return sink.done(false, 0);
    }
    if (!table && !view) throw unsupported("DROP " + p->text);
    const std::string kind = table ? "TABLE" : "VIEW", other = table ? "VIEW" : "TABLE";
    ++p;
    bool ifExists = false;
    if (p != t.end() && p->is("if") && p + 1 != t.end() && (p + 1)->is("exists"))
        ifExists = true, p += 2;
    for (;;) {
        std::string name = readObjectName(p, t.end(), database());
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
        if (p == t.end()) break;
        expectSymbol(p, t.end(), ",");
    }
    sink.done(false, 0);
}

void Engine::alter(const Tokens& t, ResultSink& sink) {
    TokenIt p = t.begin() + 1;
    if (p == t.end() || !p->is("table"))
        throw unsupported("ALTER " + (p == t.end() ? std::string() : p->text));
    ++p;
    std::string name = readObjectName(p, t.end(), database());
    const TableDef* def = db_->table(name);
    if (!def || def->isView) throw invalidObject(name);
    if (p != t.end() && p->is("drop")) {
        ++p;
        if (p != t.end() && p->is("column")) ++p;
        if (p == t.end() || !p->isName()) throw syntaxNear("DROP");
        db_->exec("ALTER TABLE " + quoteIdent(def->name) + " DROP COLUMN " + quoteIdent(p->text),
                  def->name);
        return sink.done(false, 0);
    }
    if (p == t.end() || !p->is("add")) throw unsupported("this form of ALTER TABLE");
    ++p;
    if (p != t.end() && p->is("column")) ++p;
    std::vector<ColumnDefinition> definitions;
    for (;;) {
        definitions.push_back(readColumn(p, t.end(), *db_));
        if (p == t.end()) break;
        expectSymbol(p, t.end(), ",");
    }
    const std::string tableName = def->name;
    const bool hasIdentity = def->identityIndex >= 0;
    inSavepoint([&] {
        for (const auto& c : definitions) {
            if (c.identity) {
                if (hasIdentity) throw secondIdentity(tableName);
                db_->forgetSchema();
                addIdentityColumn(*db_->table(tableName), columnSql(c, tableName), c.name, c.seed);
                continue;
            }
            if (c.primaryKey || c.unique) throw unsupported("adding a key with ALTER TABLE");
            db_->exec("ALTER TABLE " + quoteIdent(tableName) + " ADD COLUMN " +
                          columnSql(c, tableName),
                      tableName);
        }
    });
    sink.done(false, 0);
}

// The store cannot add a column whose default draws identity values, so the table is rebuilt with
// it, copying the rows in storage order: they are numbered 1, 2, 3 ... in that order.
void Engine::addIdentityColumn(const TableDef& table, const std::string& columnSql,
                               const std::string& column, std::int64_t seed) {
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
        if (iequals(c.name, column)) throw duplicateColumn(column, name, 4);
    const std::string work = name + "$rowlark_rebuild";
    std::string body = createSql.substr(createSql.find('('));
    body.insert(body.rfind(')'), ", " + columnSql);
    std::string list;
    for (const auto& c : table.columns)
        list += (list.empty() ? "" : ", ") + quoteIdent(c.name);
    db_->exec("CREATE TABLE " + quoteIdent(work) + " " + body, name);
    setNextIdentity(*db_, name, seed);
    db_->exec("INSERT INTO " + quoteIdent(work) + " (" + list + ") SELECT " + list + " FROM " +
                  quoteIdent(name) + " ORDER BY rowid",
              name);
    db_->exec("PRAGMA legacy_alter_table = ON");
    db_->exec("DROP TABLE " + quoteIdent(name), name);
    db_->exec("ALTER TABLE " + quoteIdent(work) + " RENAME TO " + quoteIdent(name), name);
    db_->exec("PRAGMA legacy_alter_table = OFF");
    for (const auto& ix : indexSqls)
        db_->exec(ix, name);
    db_->forgetSchema();
}

} // namespace sandbox
