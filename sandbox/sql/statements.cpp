// INSERT, UPDATE, DELETE, SELECT ... INTO, IF's condition and the batch's variables, through the
// statement tree.
#include "engine.h"

#include "binder.h"
#include "collation.h"
#include "statement.h"
#include "text.h"

namespace sandbox {
namespace {

// SELECT @variable = value as a query of its own.
QueryPtr assignment(const std::string& variable, ExprPtr value) {
    auto q = std::make_unique<Query>();
    q->select = std::make_unique<Select>();
    SelectItem item;
    item.variable = variable;
    item.expr = std::move(value);
    q->select->items.push_back(std::move(item));
    return q;
}

} // namespace

bool Engine::condition(const Tokens& t) {
    ExprPtr e = Parser(t.begin(), t.end()).whole(&Parser::expression);
    Prepared st(*db_,
                "SELECT CASE WHEN " + Binder(*db_, variables_).value(*e) + " THEN 1 ELSE 0 END");
    return st.step() && sqlite3_column_int(st.get(), 0) == 1;
}

std::uint64_t Engine::insert(const Tokens& t) {
    Insert s = Parser(t.begin(), t.end()).whole(&Parser::insert);
    const std::string name = objectName(s.table, database());
    const TableDef* def = db_->table(name);
    if (!def) throw invalidObject(name);
    std::vector<const ColumnDef*> into;
    bool explicitIdentity = false;
    for (const auto& wanted : s.columns) {
        const auto found = std::ranges::find_if(
            def->columns, [&](const ColumnDef& c) { return iequals(c.name, wanted); });
        if (found == def->columns.end()) throw invalidColumn(wanted);
        explicitIdentity = explicitIdentity || found->identity;
        into.push_back(&*found);
    }
    if (s.columns.empty()) {
        // Without a column list the values go to every column but the identity.
        if (!s.defaultValues) checkIdentityColumns(*def, false, false);
        for (const auto& c : def->columns)
            if (!c.identity) into.push_back(&c);
    } else {
        checkIdentityColumns(*def, true, explicitIdentity);
    }
    const std::uint64_t rows = change(Binder(*db_, variables_).insert(s, *def, into), def->name);
    if (explicitIdentity) keepIdentityAbove(*db_, *def);
    return rows;
}

void Engine::changeStatement(const Tokens& t, ResultSink& sink) {
    Update s = Parser(t.begin(), t.end()).whole(&Parser::update);
    const std::string name = objectName(s.table, database());
    const TableDef* def = db_->table(name);
    if (!def) throw invalidObject(name);
    Binder binder(*db_, variables_);
    sink.done(true, change(binder.update(s, *def, t.front().is("delete")), def->name));
}

// SELECT ... INTO where the first select has INTO; SELECT @a = value, ...; or a query's rows.
void Engine::selectStatement(const Tokens& t, ResultSink& sink) {
    QueryPtr q = Parser(t.begin(), t.end()).whole(&Parser::query);
    Query* first = q.get();
    while (first->left)
        first = first->left.get();
    if (!first->select->into.empty()) return selectInto(*q, *first, sink);
    if (t.size() >= 4 && isUserVariable(t[1]) && t[2].isSymbol("=")) return selectAssign(*q, sink);
    results(Binder(*db_, variables_).query(*q), sink);
}

void Engine::selectInto(Query& q, Query& first, ResultSink& sink) {
    Select& s = *first.select;
    const std::string target = objectName(s.into, database());
    s.into.clear();
    if (db_->table(target)) throw alreadyExists(target);
    // Identity survives a plain copy, not a join, grouping, DISTINCT or UNION.
    const bool keepsIdentity = &first == &q && s.from.size() == 1 &&
                               s.from[0]->kind == Source::Table && s.groupBy.empty() && !s.distinct;
    const BoundQuery bound = Binder(*db_, variables_).query(q, true);
    std::vector<ColumnDefinition> definitions;
    bool identityTaken = false;
    const bool numbered = std::ranges::any_of(bound.columns, &ResultColumn::numbering);
    // Columns without a type of their own take the type of the first value: only then is the
    // select run an extra time, and only to its first row.
    std::optional<Prepared> firstRow;
    bool row = false;
    for (std::size_t i = 0; i < bound.columns.size(); ++i) {
        const ResultColumn& c = bound.columns[i];
        SqlType type = c.type.type;
        if (!c.type.known || c.type.nullLiteral) {
            if (!firstRow) row = firstRow.emplace(*db_, bound.sql).step();
            type = inferType(row ? sqlite3_column_type(firstRow->get(), int(i)) : SQLITE_TEXT);
        }
        if (c.name.empty())
            throw SqlError{1038, 15, 5, "An object or column name is missing or empty.", true};
        for (std::size_t k = 0; k < i; ++k)
            if (iequals(bound.columns[k].name, c.name)) throw duplicateColumn(c.name, target, 3);
        const bool inherits = c.column && c.column->identity && keepsIdentity;
        if (numbered && inherits)
            throw SqlError{
                8108, 16, 1,
                "Cannot add identity column, using the SELECT INTO statement, to table '" + target +
                    "', which already has column '" + c.name +
                    "' that inherits the identity property."};
        ColumnDefinition& d = definitions.emplace_back();
        d.name = c.name, d.type = type;
        // A bigint numbering column is the store's row key: rows go in by it, and are found by
        // it without an index.
        d.rowKey = c.numbering && type.base == BaseType::BigInt;
        // a column's collation travels with it into the copy
        d.collation = collationName(c.type.known ? c.type.collation.id : 0);
        d.notNull = c.numbering || (c.column && c.column->notNull);
        d.identity = c.numbering || (inherits && !identityTaken);
        if (c.numbering) d.seed = c.seed, d.increment = c.increment;
        identityTaken = identityTaken || inherits;
    }
    firstRow.reset(); // the select is finished before the copy's table is made
    std::uint64_t rows = 0;
    inSavepoint([&] {
        db_->exec(createTableSql(target, definitions), target);
        db_->startNumbering();
        rows = change("INSERT INTO " + quoteIdent(target) + " " + bound.sql, target);
    });
    forgetIdentity(*db_, target);
    sink.done(true, rows);
}

void Engine::declare(Parser& p) {
    while (!p.atEnd()) {
        if (!isUserVariable(*p.position())) p.fail();
        const std::string written = p.takeAny(), name = toLower(written);
        if (p.is("table")) throw unsupported("table variables");
        p.take("as");
        const SqlType type = p.apart(p.end(), [](Parser& t) { return t.type(false); });
        if (variables_.count(name))
            throw SqlError{134, 15, 1,
                           "The variable name '" + written +
                               "' has already been declared. Variable names must be unique "
                               "within a query batch or stored procedure."};
        variables_[name] = Variable{type, std::monostate{}};
        if (p.takeSymbol("="))
            assign(*assignment(name, p.apart(p.end(), [](Parser& v) { return v.expression(); })));
        if (!p.atEnd()) p.expectSymbol(",");
    }
}

void Engine::setVariable(Parser& p) {
    const std::string name = p.takeAny();
    if (p.end() - p.position() < 2 || !p.takeSymbol("=")) p.failNear("SET");
    assign(*assignment(name,
                       p.apart(p.end(), [](Parser& v) { return v.whole(&Parser::expression); })));
}

void Engine::selectAssign(Query& q, ResultSink& sink) {
    if (!q.select) throw unsupported("assigning variables in a UNION");
    for (const auto& item : q.select->items)
        if (item.variable.empty())
            throw SqlError{141, 15, 1,
                           "A SELECT statement that assigns a value to a variable must not be "
                           "combined with data-retrieval operations.",
                           true};
    sink.done(true, assign(q));
}

// Runs the assigning select and gives each variable its value in the last row, converted to its
// type; the variables keep their values when there is no row. Returns the rows.
std::uint64_t Engine::assign(Query& q) {
    const BoundQuery bound = Binder(*db_, variables_).query(q);
    Prepared st(*db_, bound.sql);
    std::uint64_t rows = 0;
    ConversionError err;
    while (st.step()) {
        ++rows;
        for (std::size_t i = 0; i < bound.columns.size(); ++i) {
            Variable& v = variables_[toLower(bound.columns[i].name)];
            if (!readValue(st.get(), static_cast<int>(i), v.type, v.value, err))
                throw SqlError{err.number, 16, 1, err.message};
        }
    }
    return rows;
}

} // namespace sandbox
