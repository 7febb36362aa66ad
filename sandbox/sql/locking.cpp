// The session's locks, and the store transactions its statements run in.
//
// SQLite lets one connection write at a time, so each statement that writes runs in a store
// transaction of its own, under the store's write lock (taken after its table locks, and held to
// the statement's end); a user transaction keeps its tables' locks to its end and undoes its rows
// by undo logs. A transaction that changes the schema keeps one store transaction, and so the
// store's write lock, from that statement to its end.
#include "engine.h"

#include "text.h"

#include <sqlite3.h>

namespace sandbox {

std::string Engine::resource(const std::string& table) const {
    return std::string(sqlite3_db_filename(db_->handle(), "main")) + '\0' + toLower(table);
}

void Engine::lock(const std::string& r, bool exclusive, bool forTransaction) {
    store_.locks().acquire(this, r, exclusive, lockTimeout_); // at once when already held
    if (transactionLocks_.count(r)) return;
    if (forTransaction) statementLocks_.erase(r);
    (forTransaction ? transactionLocks_ : statementLocks_).insert(r);
}

void Engine::accessing(const std::vector<Access>& accesses) {
    bool writes = false, schema = false, store = false;
    for (const Access& a : accesses) {
        writes = writes || a.kind != Access::Read;
        schema = schema || a.kind == Access::Schema;
        store = store || (a.kind != Access::Read && !a.temp);
        // A session's own tables need no lock; a read's lock lasts until its statement has its
        // snapshot, a write's to the transaction's end.
        if (!a.temp)
            lock(resource(a.table), a.kind != Access::Read,
                 a.kind != Access::Read && tranCount_ > 0);
    }
    if (!writes) return;
    statementWrites_ = true;
    if (tranCount_ > 0 && !transactionStore_)
        for (const Access& a : accesses)
            if (a.kind == Access::Write) keepUndo(a);
    const bool keepStore = tranCount_ > 0 && schema;
    if (store || keepStore) lock(resource(""), true, keepStore);
    if (keepStore && !transactionStore_) {
        if (!statementStore_) db_->exec("BEGIN IMMEDIATE");
        statementStore_ = false, transactionStore_ = true, storeBegunHere_ = true;
    } else if (!transactionStore_ && !statementStore_ && sqlite3_get_autocommit(db_->handle())) {
        db_->exec(store ? "BEGIN IMMEDIATE" : "BEGIN");
        statementStore_ = true;
    }
}

// A statement that only reads lets its locks go once it has its snapshot: it reads what was
// committed then, and blocks no writer while its rows go out.
void Engine::stepped() {
    if (statementWrites_) return;
    for (const auto& r : statementLocks_)
        store_.locks().release(this, r);
    statementLocks_.clear();
}

void Engine::statement(const std::function<void()>& work) {
    try {
        work();
    } catch (...) {
        endStatement(false);
        throw;
    }
    endStatement(true);
}

void Engine::endStatement(bool ok) {
    if (statementStore_ && ok) {
        try {
            db_->exec("COMMIT");
        } catch (...) {
            endStatement(false);
            throw;
        }
    }
    // Either store transaction the statement opened, its own or the user transaction's, goes.
    if (!ok && (statementStore_ || storeBegunHere_))
        sqlite3_exec(db_->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    if (!ok && storeBegunHere_) transactionStore_ = false;
    if (!ok) // the logs made inside the store transaction are gone with it
        for (const auto& key : undoOfStatement_)
            undo_.erase(key);
    statementStore_ = storeBegunHere_ = statementWrites_ = false;
    undoOfStatement_.clear();
    stepped(); // as the statement writes no more, its locks all go
}

} // namespace sandbox
