// The undo logs of a user transaction: before a statement of the transaction first writes a
// table, the session's own triggers (TEMP, seen by no other connection) start to keep each row
// it changes as it was, and each row it adds. A rollback deletes every row the log names and
// puts back the first image of each that was there, so it needs no order; a savepoint is a
// length of each log.
#include "engine.h"

#include "statement.h"
#include "text.h"

#include <sqlite3.h>

namespace sandbox {

void Engine::keepUndo(const Access& a) {
    const std::string key = (a.temp ? "temp." : "main.") + toLower(a.table);
    if (undo_.count(key)) return;
    const TableDef* def = db_->table(a.table);
    if (!def) return;
    UndoLog u;
    u.table = def->name, u.log = "rowlark_undo$" + toLower(def->name), u.temp = a.temp;
    std::string cols, olds;
    for (const auto& c : def->columns) {
        u.rowKey = u.rowKey || c.rowKey;
        u.columns.push_back(quoteIdent(c.name));
        cols += ", c" + std::to_string(u.columns.size());
        olds += ", OLD." + quoteIdent(c.name);
    }
    const std::string log = quoteIdent(u.log);
    const auto trigger = [&](const char* kind, const std::string& body) {
        return ";CREATE TEMP TRIGGER " + quoteIdent(u.log + "$" + kind) + " AFTER " + kind +
               (a.temp ? " ON temp." : " ON main.") + quoteIdent(def->name) +
               " BEGIN INSERT INTO " + log + body + "; END";
    };
    const std::string old = " (rid, existed" + cols + ") VALUES (OLD.rowid, 1" + olds + ")";
    db_->exec("DROP TABLE IF EXISTS temp." + log + ";CREATE TEMP TABLE " + log +
              " (seq INTEGER PRIMARY KEY, rid, existed" + cols + ")" +
              trigger("INSERT", " (rid, existed) VALUES (NEW.rowid, 0)") + trigger("DELETE", old) +
              trigger("UPDATE", old + "; INSERT INTO " + log +
                                    " (rid, existed) SELECT NEW.rowid, 0 WHERE NEW.rowid IS NOT "
                                    "OLD.rowid"));
    if (!sqlite3_get_autocommit(db_->handle())) undoOfStatement_.push_back(key);
    undo_.emplace(key, std::move(u));
}

std::map<std::string, std::int64_t> Engine::undoPositions() {
    std::map<std::string, std::int64_t> at;
    for (const auto& [key, u] : undo_) {
        Prepared st(*db_, "SELECT coalesce(max(seq), 0) FROM temp." + quoteIdent(u.log));
        at[key] = st.step() ? sqlite3_column_int64(st.get(), 0) : 0;
    }
    return at;
}

// Puts every logged table back as it was at the positions (a log not among them: at its start).
void Engine::undoTo(const std::map<std::string, std::int64_t>& positions) {
    std::string sql;
    db_->forgetSchema();
    for (const auto& [key, u] : undo_) {
        if (!db_->table(u.table)) continue; // a call's #temp table, gone with the call
        const auto p = positions.find(key);
        const std::string after =
            " WHERE seq > " + std::to_string(p == positions.end() ? 0 : p->second);
        const std::string log = "temp." + quoteIdent(u.log);
        const std::string table = (u.temp ? "temp." : "main.") + quoteIdent(u.table);
        std::string cols, values;
        for (std::size_t i = 0; i < u.columns.size(); ++i)
            cols += ", " + u.columns[i], values += ", c" + std::to_string(i + 1);
        if (u.rowKey) cols.erase(0, 2), values.erase(0, 2);
        sql += "DELETE FROM " + table + " WHERE rowid IN (SELECT rid FROM " + log + after +
               "); INSERT INTO " + table + " (" + (u.rowKey ? "" : "rowid") + cols + ") SELECT " +
               (u.rowKey ? "" : "rid") + values + " FROM " + log +
               " WHERE existed AND seq IN (SELECT min(seq) FROM " + log + after +
               " GROUP BY rid); DELETE FROM " + log + after + ";";
    }
    if (sql.empty()) return;
    // A rollback must not fail: it waits for the store as long as it takes, and is never the
    // victim of a deadlock (the other side is).
    const std::string store = resource("");
    const bool held = store_.locks().holdsAlone(this, store);
    if (!held) store_.locks().acquire(this, store, true, -1, false);
    db_->exec(sqlite3_get_autocommit(db_->handle()) ? "BEGIN IMMEDIATE;" + sql + "COMMIT" : sql);
    if (!held) store_.locks().release(this, store);
}

} // namespace sandbox
