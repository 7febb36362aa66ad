#include "engine.h"

#include "binder.h"
#include "counting_sink.h"
#include "statement.h"
#include "text.h"

#include <algorithm>
#include <memory>

namespace sandbox {
namespace {

struct OutColumn {
    tds::ColumnInfo info;
    std::optional<SqlType> type; // the binder's, else the store's, else its first value's
};

std::uint16_t flagsOf(const ColumnDef& c) {
    return (c.notNull ? 0 : tds::kFlagNullable) |
           (c.identity ? tds::kFlagIdentity : tds::kFlagUpdatable);
}

// Describes the result columns of a prepared query from the store's column metadata.
std::vector<OutColumn> describe(sqlite3_stmt* st, Database& db) {
    int n = sqlite3_column_count(st);
    std::vector<OutColumn> cols(n);
    for (int i = 0; i < n; ++i) {
        OutColumn& c = cols[i];
        c.info.flags = tds::kFlagNullable;
        if (const char* decl = sqlite3_column_decltype(st, i)) c.type = SqlType::fromDeclared(decl);
        const char* table = sqlite3_column_table_name(st, i);
        const char* origin = sqlite3_column_origin_name(st, i);
        const char* schema = sqlite3_column_database_name(st, i);
        if (table && origin && schema &&
            (std::string_view(schema) == "main" || std::string_view(schema) == "temp"))
            if (const TableDef* def = db.table(table))
                for (const auto& col : def->columns)
                    if (iequals(col.name, origin)) c.info.flags = flagsOf(col);
    }
    return cols;
}

void settleTypes(std::vector<OutColumn>& cols, sqlite3_stmt* st, bool haveRow) {
    for (std::size_t i = 0; i < cols.size(); ++i) {
        if (!cols[i].type) {
            const int at = static_cast<int>(i);
            cols[i].type = inferType(haveRow ? sqlite3_column_type(st, at) : SQLITE_TEXT);
            // Text longer than nvarchar(4000) holds (a long literal, REPLICATE) goes out as
            // nvarchar(max), as the server types such an expression.
            // (UTF-8 has at least a byte for each UTF-16 unit: the exact count only when needed.)
            if (haveRow && cols[i].type->base == BaseType::NVarChar &&
                sqlite3_column_type(st, at) == SQLITE_TEXT &&
                sqlite3_column_bytes(st, at) > cols[i].type->length &&
                sqlite3_column_bytes16(st, at) > 2 * cols[i].type->length)
                cols[i].type->length = SqlType::kMax;
        }
        cols[i].info.type = cols[i].type->wire();
    }
}

} // namespace

Engine::Engine(Store& store, const std::string& database) : store_(store) {
    auto found = store.find(database.empty() ? "master" : database);
    if (!found) throw cannotOpenDatabase(database);
    openDatabase(*found);
}

void Engine::openDatabase(const std::string& name) {
    const auto identity = db_ ? db_->lastIdentity() : std::nullopt;
    db_ = std::make_unique<Database>(store_, name);
    db_->lastIdentity() = identity; // @@IDENTITY outlives USE
    db_->define("rowlark_session", 1, sessionFn, this);
    db_->setHook(this);
}

void Engine::sessionFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto* e = static_cast<const Engine*>(sqlite3_user_data(ctx));
    const auto* what = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const std::string_view name = what ? what : "";
    const auto identity = e->db_->lastIdentity();
    if (name == "rowcount")
        return sqlite3_result_int64(ctx, static_cast<std::int64_t>(e->rowCount_));
    if (name == "error") return sqlite3_result_int(ctx, e->lastError_);
    if (name == "trancount") return sqlite3_result_int(ctx, e->tranCount_);
    if (name == "identity" && identity) return sqlite3_result_int64(ctx, *identity);
    if (name == "db_name")
        return sqlite3_result_text(ctx, e->database().c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_result_null(ctx);
}

Engine::~Engine() {
    try {
        endStatement(false);
        finishTransaction(false); // a session that ends undoes its open transaction
    } catch (const SqlError&) {
    }
}

bool Engine::executeBatch(std::string_view sql, ResultSink& to, Variables variables, bool call) {
    CountingSink sink(*this, to);
    variables_ = std::move(variables);
    // A call (sp_executesql, a prepared statement) is a scope of its own: the temporary tables it
    // creates are dropped as it returns.
    const auto temporaryTables = [&] {
        std::vector<std::string> names;
        Prepared st(*db_, "SELECT name FROM temp.sqlite_master WHERE type = 'table' AND name "
                          "LIKE '#%'");
        while (call && st.step())
            names.push_back(st.text(0));
        return names;
    };
    const std::vector<std::string> before = temporaryTables();
    bool completed = true;
    try {
        for (const auto& s : splitStatements(tokenize(sql)))
            if (!run(s, sink)) break;
    } catch (const LexError& e) {
        sink.error(SqlError{e.number, 15, 1, e.message, true, static_cast<int>(e.line)});
    } catch (const Cancelled&) {
        completed = false;
    }
    for (const auto& name : temporaryTables())
        if (std::find(before.begin(), before.end(), name) == before.end()) {
            sqlite3_exec(db_->handle(), ("DROP TABLE temp." + quoteIdent(name)).c_str(), nullptr,
                         nullptr, nullptr);
            forgetIdentity(*db_, name);
        }
    return completed;
}

bool Engine::run(const Statement& s, ResultSink& sink) {
    if (sink.cancelled()) throw Cancelled{};
    try {
        db_->forgetSchema();
        switch (s.kind) {
        case Statement::Block:
            for (const auto& c : s.children)
                if (!run(c, sink)) return false;
            return true;
        case Statement::If: {
            bool holds = false;
            statement([&] { holds = condition(s.tokens); });
            if (holds) return run(s.children[0], sink);
            return s.children.size() < 2 || run(s.children[1], sink); // an ELSE, if any
        }
        case Statement::Simple:
            statement([&] { dispatch(s.tokens, sink); });
            return true;
        }
    } catch (SqlError& e) {
        if (!s.tokens.empty() && e.line == 1) e.line = static_cast<int>(s.tokens.front().line);
        sink.error(e);
        // A conversion error ends the batch and rolls its transaction back, as on a server;
        // under SET XACT_ABORT ON every error does.
        const bool conversion = e.number == 245 || e.number == 241 || e.number == 8114 ||
                                e.number == 8169 || e.number == 1205;
        if ((conversion || xactAbort_) && tranCount_ > 0) endTransaction(sink);
        return !(e.abortsBatch || conversion || xactAbort_);
    }
    return true;
}

void Engine::dispatch(const Tokens& t, ResultSink& sink) {
    const Token& k = t.front();
    // With IMPLICIT_TRANSACTIONS on, the first statement that touches data opens a transaction.
    static const char* const kTouching[] = {"select", "insert", "update", "delete",
                                            "create", "drop",   "alter",  "truncate"};
    if (implicitTransactions_ && tranCount_ == 0 &&
        std::ranges::any_of(kTouching, [&](const char* w) { return k.is(w); }))
        openTransaction(sink);
    if (k.is("select")) return selectStatement(t, sink);
    if (k.is("with")) {
        QueryPtr q = Parser(t.begin(), t.end()).whole(&Parser::query);
        return results(Binder(*db_, variables_).query(*q), sink);
    }
    if (k.is("insert") && t.size() > 1 && t[1].is("bulk")) return insertBulk(t, sink);
    if (formatOnly_ && (k.is("insert") || k.is("update") || k.is("delete")))
        return sink.done(false, 0); // described, not run
    if (k.is("insert")) return sink.done(true, insert(t));
    if (k.is("update") || k.is("delete")) return changeStatement(t, sink);
    const bool tran = t.size() >= 2 && (t[1].is("tran") || t[1].is("transaction"));
    if (k.is("begin") && tran) {
        if (tranCount_ == 0) outerName_ = t.size() >= 3 && t[2].isName() ? t[2].text : "";
        return beginTransaction(sink);
    }
    if (k.is("commit")) return commit(sink);
    if (k.is("rollback") && tran && t.size() >= 3 && t[2].isName())
        return rollbackTo(t[2].text, sink);
    if (k.is("rollback")) return rollback(sink);
    if (k.is("use")) {
        if (t.size() != 2 || !t[1].isName()) throw syntaxNear(k.text);
        return use(t[1].text, sink);
    }
    if (k.is("sandbox") && t.size() == 2 && t[1].is("connections")) {
        sink.columns({{tds::TypeInfo{tds::kIntN, 4}, 0, u"connections"}});
        if (!sink.row({std::int64_t{store_.faults().sessions(database())}})) throw Cancelled{};
        return sink.done(true, 1);
    }
    Parser p(t.begin(), t.end());
    for (auto [verb, run] : {std::pair{"create", &Engine::create},
                             {"drop", &Engine::drop},
                             {"alter", &Engine::alter},
                             {"truncate", &Engine::truncate},
                             {"declare", &Engine::declare},
                             {"set", &Engine::set},
                             {"save", &Engine::saveTransaction},
                             {"sandbox", &Engine::sandboxFault}})
        if (p.take(verb)) return (this->*run)(p), sink.done(false, 0);
    throw unsupported("the statement " + k.text);
}

// SET @variable = value, IDENTITY_INSERT t ON|OFF, LOCK_TIMEOUT ms or option ON|OFF; other
// session options (TEXTSIZE, ...) change nothing here.
void Engine::set(Parser& p) {
    const TokenIt option = p.position();
    if (!p.atEnd() && isUserVariable(*option)) return setVariable(p);
    if (p.take("identity_insert")) return setIdentityInsert(p);
    const bool onOff = p.end() - option == 2; // SET option ON|OFF
    for (auto [name, flag] : {std::pair{"implicit_transactions", &implicitTransactions_},
                              {"nocount", &noCount_},
                              {"xact_abort", &xactAbort_},
                              {"fmtonly", &formatOnly_}})
        if (onOff && option->is(name)) *flag = option[1].is("on");
    if (p.end() - p.position() >= 2 && p.take("lock_timeout")) { // milliseconds; -1: for ever
        const std::int64_t ms = p.integer();
        lockTimeout_ = ms < 0 || ms > INT32_MAX ? -1 : long(ms);
    }
}

// The sandbox's faults, for tests: SANDBOX FAULT DROP ON 'text' [SKIP n] | DROP AFTER n ROWS |
// DELAY ms [ON 'text'] | REFUSE 'text' | CLEAR; its other statement is SANDBOX CONNECTIONS.
void Engine::sandboxFault(Parser& p) {
    const auto at = [&](Token::Kind kind) { return !p.atEnd() && p.position()->kind == kind; };
    const auto number = [&]() -> long {
        const auto v = at(Token::Number) ? parseWholeNumber(p.position()->text) : std::nullopt;
        if (!v || *v > INT32_MAX) p.failNear("SANDBOX");
        return p.takeAny(), static_cast<long>(*v);
    };
    const auto text = [&] {
        if (!at(Token::String)) p.failNear("SANDBOX");
        return p.takeAny();
    };
    const auto left = [&] { return p.end() - p.position(); };
    if (left() < 2 || !p.take("fault")) throw unsupported("this SANDBOX statement");
    FaultRule r;
    if (p.take("clear")) return store_.faults().clear(database());
    if (p.takeBoth("drop", "on")) {
        r.kind = FaultRule::DropOn;
        r.pattern = text();
        if (left() > 1 && p.take("skip")) r.skip = number();
    } else if (left() > 3 && p.position()[3].is("rows") && p.takeBoth("drop", "after")) {
        r.kind = FaultRule::DropAfterRows;
        r.rows = number();
    } else if (p.take("delay")) {
        r.kind = FaultRule::Delay;
        r.milliseconds = number();
        if (left() > 1 && p.take("on")) r.pattern = text();
    } else if (p.take("refuse")) {
        r.kind = FaultRule::Refuse;
        r.pattern = text();
    } else {
        throw unsupported("this SANDBOX FAULT");
    }
    store_.faults().add(database(), std::move(r));
}

void Engine::results(const BoundQuery& q, ResultSink& sink) {
    Prepared st(*db_, q.sql);
    // The store tells the flags of a view's columns from the tables beneath it.
    std::vector<OutColumn> cols = describe(st.get(), *db_);
    for (std::size_t i = 0; i < q.columns.size() && i < cols.size(); ++i) {
        const ResultColumn& c = q.columns[i];
        OutColumn& r = cols[i];
        r.info.name = tds::utf16(c.name);
        if (c.column) r.info.flags = flagsOf(*c.column);
        if (c.type.known && !c.type.nullLiteral) r.type = c.type.type;
        if (c.type.nullLiteral) r.type = SqlType{BaseType::Int};
    }
    // Under SET FMTONLY ON a query describes its columns and sends no rows.
    bool haveRow = !formatOnly_ && st.step();
    settleTypes(cols, st.get(), haveRow);
    std::vector<tds::ColumnInfo> infos(cols.size());
    std::ranges::transform(cols, infos.begin(), &OutColumn::info);
    sink.columns(infos);
    std::vector<tds::Value> values(cols.size());
    std::uint64_t count = 0;
    ConversionError err;
    while (haveRow) {
        for (std::size_t i = 0; i < cols.size(); ++i)
            if (!readValue(st.get(), static_cast<int>(i), *cols[i].type, values[i], err))
                throw SqlError{err.number, 16, 1, err.message};
        if (!sink.row(values)) throw Cancelled{};
        ++count;
        haveRow = st.step();
    }
    sink.done(true, count);
}

std::uint64_t Engine::change(const std::string& sql, const std::string& table) {
    try {
        db_->exec(sql, table);
    } catch (SqlError& e) {
        if (e.number == 2627) e = duplicateKey(e, table);
        throw;
    }
    return static_cast<std::uint64_t>(sqlite3_changes64(db_->handle()));
}

// A duplicate key: 2627 for a PRIMARY KEY or UNIQUE constraint, whose indexes the store names
// with a $P or $U mark, and 2601 for a unique index of CREATE UNIQUE INDEX.
SqlError Engine::duplicateKey(const SqlError& e, const std::string& table) {
    const auto from = e.message.find("on '"), to = e.message.find("'. ");
    if (from == std::string::npos || to == std::string::npos) return e;
    // The store names the columns as table.column, in the index's order.
    const std::string schema = quoteString(schemaOf(table));
    Prepared found(*db_, "SELECT i.name FROM pragma_index_list(" + quoteString(table) + ", " +
                             schema + ") i WHERE i.\"unique\" AND (SELECT group_concat(" +
                             quoteString(table + ".") +
                             " || c.name, ', ') FROM pragma_index_info(i.name, " + schema +
                             ") c) = " + quoteString(e.message.substr(from + 4, to - from - 4)) +
                             " COLLATE NOCASE");
    if (!found.step()) return e;
    const std::string index = found.text(0);
    const std::string name = index.substr(index.find('.') + 1);
    if (name.starts_with("$P") || name.starts_with("$U"))
        return {2627, 14, 1,
                std::string("Violation of ") + (name[1] == 'P' ? "PRIMARY" : "UNIQUE") +
                    " KEY constraint '" + name.substr(2) +
                    "'. Cannot insert duplicate key in object 'dbo." + table + "'."};
    return {2601, 14, 1,
            "Cannot insert duplicate key row in object 'dbo." + table + "' with unique index '" +
                name + "'."};
}

// Several changes as one: outside a store transaction the statement's own holds them.
void Engine::inSavepoint(const std::function<void()>& work) {
    if (sqlite3_get_autocommit(db_->handle())) return work();
    db_->exec("SAVEPOINT rowlark_statement");
    try {
        work();
    } catch (...) {
        sqlite3_exec(db_->handle(), "ROLLBACK TO rowlark_statement; RELEASE rowlark_statement",
                     nullptr, nullptr, nullptr);
        throw;
    }
    db_->exec("RELEASE rowlark_statement");
}

void Engine::use(const std::string& name, ResultSink& sink) {
    auto found = store_.find(name);
    if (!found)
        throw SqlError{911, 16, 1,
                       "Database '" + name +
                           "' does not exist. Make sure that the name is entered correctly.",
                       true};
    if (tranCount_) throw unsupported("USE inside a transaction");
    std::string old = database();
    openDatabase(*found);
    sink.envChange(environment(tds::kEnvDatabase, tds::utf16(*found), tds::utf16(old)));
    sink.info(5701, "Changed database context to '" + *found + "'.");
    sink.done(false, 0);
}

} // namespace sandbox
