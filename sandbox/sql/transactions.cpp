// Transactions: BEGIN, SAVE, COMMIT and ROLLBACK.
#include "engine.h"

#include "ast.h"
#include "text.h"

#include <sqlite3.h>
#include <utility>

namespace sandbox {
namespace {

// A transaction's change of state, with its descriptor: the new one as it begins, the old one as
// it ends.
tds::EnvChange transactionChange(std::uint8_t type, std::uint64_t id) {
    tds::EnvChange e;
    e.type = type;
    tds::Bytes& descriptor = type == tds::kEnvBeginTran ? e.newBytes : e.oldBytes;
    for (int i = 0; i < 8; ++i)
        descriptor.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
    return e;
}

} // namespace

void Engine::openTransaction(ResultSink& sink) {
    tranCount_ = std::max(tranCount_, 1);
    sink.envChange(transactionChange(tds::kEnvBeginTran, ++tranId_));
}

void Engine::beginTransaction(ResultSink& sink) {
    if (tranCount_++ == 0) openTransaction(sink);
    sink.done(false, 0);
}

// SAVE TRAN[SACTION] name: a point inside the open transaction that ROLLBACK TRAN name returns
// to, leaving the transaction open.
void Engine::saveTransaction(Parser& p) {
    const bool tran = p.take("tran") || p.take("transaction");
    if (!tran || p.end() - p.position() != 1 || !p.position()->isName())
        throw syntaxNear((p.end() - 1)->text);
    const std::string name = p.takeAny();
    if (tranCount_ == 0)
        throw SqlError{628, 16, 0,
                       "Cannot issue SAVE TRANSACTION when there is no active transaction."};
    if (transactionStore_) db_->exec("SAVEPOINT " + quoteIdent(name));
    savepoints_.push_back({name, undoPositions(), transactionStore_});
}

void Engine::rollbackTo(const std::string& name, ResultSink& sink) {
    for (std::size_t i = savepoints_.size(); i-- > 0;) {
        const Savepoint& s = savepoints_[i];
        if (!iequals(s.name, name)) continue;
        if (s.inStore) {
            db_->exec("ROLLBACK TO " + quoteIdent(s.name));
        } else {
            // The point came before the schema changed: the store transaction goes, a new one
            // takes its place, and the logs go back to the point.
            if (transactionStore_) db_->exec("ROLLBACK; BEGIN IMMEDIATE");
            undoTo(s.undo);
        }
        savepoints_.resize(i + 1); // later points are gone; this one stays
        return sink.done(false, 0);
    }
    if (tranCount_ > 0 && iequals(name, outerName_)) return rollback(sink);
    throw SqlError{6401, 16, 1,
                   "Cannot roll back " + name +
                       ". No transaction or savepoint of that name was found."};
}

void Engine::commit(ResultSink& sink) {
    if (tranCount_ == 0)
        throw SqlError{3902, 16, 1,
                       "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."};
    if (--tranCount_ == 0) {
        finishTransaction(true);
        sink.envChange(transactionChange(tds::kEnvCommitTran, tranId_));
    }
    sink.done(false, 0);
}

void Engine::rollback(ResultSink& sink) {
    if (tranCount_ == 0)
        throw SqlError{3903, 16, 1,
                       "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."};
    endTransaction(sink);
    sink.done(false, 0);
}

void Engine::endTransaction(ResultSink& sink) {
    finishTransaction(false);
    sink.envChange(transactionChange(tds::kEnvRollbackTran, tranId_));
}

void Engine::finishTransaction(bool commit) {
    tranCount_ = 0;
    savepoints_.clear();
    if (std::exchange(transactionStore_, false)) {
        if (commit) db_->exec("COMMIT");
        if (!commit) sqlite3_exec(db_->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    if (!commit) undoTo({});
    std::string drop;
    for (const auto& [key, u] : undo_) {
        for (const char* t : {"$INSERT", "$DELETE", "$UPDATE"})
            drop += "DROP TRIGGER IF EXISTS temp." + quoteIdent(u.log + t) + ";";
        drop += "DROP TABLE temp." + quoteIdent(u.log) + ";";
    }
    sqlite3_exec(db_->handle(), drop.c_str(), nullptr, nullptr, nullptr);
    undo_.clear();
    for (const auto& r : transactionLocks_)
        store_.locks().release(this, r);
    transactionLocks_.clear();
}

} // namespace sandbox
