// INSERT BULK and the rows that follow it as a message of their own: they go into the table as
// one statement, all or none.
#include "engine.h"

#include "ast.h"
#include "counting_sink.h"
#include "text.h"

#include <algorithm>

namespace sandbox {
namespace {

constexpr std::size_t kRowsPerInsert = 200;

// The INSERT of the load's rows from `from` on, at most kRowsPerInsert of them.
std::string rowsInsert(const TableDef& def, const std::string& list,
                       const std::vector<std::size_t>& kept, const tds::BulkLoad& load,
                       std::size_t from) {
    std::string sql = "INSERT INTO " + quoteIdent(def.name) + " (" + list + ") VALUES ";
    const std::size_t to = std::min(load.rows.size(), from + kRowsPerInsert);
    for (std::size_t r = from; r < to; ++r) {
        sql += r == from ? "(" : ", (";
        for (std::size_t k = 0; k < kept.size(); ++k)
            sql += (k ? ", " : "") + literal(load.columns[kept[k]].type, load.rows[r].at(kept[k]));
        sql += ")";
    }
    return sql;
}

} // namespace

void Engine::insertBulk(const Tokens& t, ResultSink& sink) {
    Parser p(t.begin() + 2, t.end());
    const std::string name = objectName(p.objectName(), database());
    const TableDef* def = db_->table(name);
    if (!def || def->isView) throw invalidObject(name);
    BulkTarget target{def->name, {}, false};
    if (p.takeSymbol("(")) {
        // Each column's name, then its type, which the rows' own description repeats.
        while (!p.atEnd() && !p.isSymbol(")")) {
            if (p.takeSymbol(",")) continue;
            const std::string column = p.takeName();
            if (std::none_of(def->columns.begin(), def->columns.end(),
                             [&](const ColumnDef& c) { return iequals(c.name, column); }))
                throw invalidColumn(column);
            target.columns.push_back(column);
            for (int depth = 0; !p.atEnd() && (depth > 0 || !(p.isSymbol(",") || p.isSymbol(")")));
                 p.takeAny())
                depth += p.isSymbol("(") ? 1 : p.isSymbol(")") ? -1 : 0;
        }
        p.expectSymbol(")", name);
    } else {
        for (const auto& c : def->columns)
            target.columns.push_back(c.name);
    }
    if (p.take("with"))
        target.keepIdentity = std::any_of(p.position(), p.end(), [](const Token& t) {
            return t.is("keep_identity") || t.is("keepidentity");
        });
    else if (!p.atEnd())
        p.fail();
    pendingBulk_ = std::move(target);
    sink.done(false, 0);
}

void Engine::bulkLoad(const tds::BulkLoad& load, ResultSink& to) {
    CountingSink sink(*this, to);
    const std::optional<BulkTarget> target = std::move(pendingBulk_);
    pendingBulk_.reset();
    const std::string saved = identityInsert_;
    try {
        db_->forgetSchema();
        if (!target)
            throw SqlError{40000, 16, 1,
                           "The sandbox received the rows of a bulk load without an INSERT BULK "
                           "statement before them."};
        if (load.columns.size() != target->columns.size())
            throw SqlError{40000, 16, 1,
                           "The bulk load describes " + std::to_string(load.columns.size()) +
                               " columns; its INSERT BULK named " +
                               std::to_string(target->columns.size()) + "."};
        const TableDef* def = db_->table(target->table);
        if (!def) throw invalidObject(target->table);
        // Without KEEP_IDENTITY the server numbers the rows itself and the identity values sent
        // are not used.
        std::vector<std::size_t> kept;
        std::string list;
        for (std::size_t i = 0; i < target->columns.size(); ++i) {
            if (!target->keepIdentity && def->identityIndex >= 0 &&
                iequals(target->columns[i], def->columns[def->identityIndex].name))
                continue;
            kept.push_back(i);
            list += (list.empty() ? "" : ", ") + quoteIdent(target->columns[i]);
        }
        if (kept.empty()) throw unsupported("a bulk load of the identity column alone");
        if (target->keepIdentity) identityInsert_ = def->name;
        std::uint64_t rows = 0;
        statement([&] {
            inSavepoint([&] {
                for (std::size_t from = 0; from < load.rows.size(); from += kRowsPerInsert)
                    rows += insert(tokenize(rowsInsert(*def, list, kept, load, from)));
            });
        });
        sink.done(true, rows);
    } catch (const SqlError& e) {
        sink.error(e);
    }
    identityInsert_ = saved;
}

} // namespace sandbox
