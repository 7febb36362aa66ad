// What the statements share: a prepared statement of the store, the columns of the tables they
// create, and their errors.
#pragma once

#include "ast.h"
#include "database.h"

#include <memory>
#include <sqlite3.h>
#include <string>

namespace sandbox {

class Prepared {
public:
    Prepared(Database& db, const std::string& sql, const std::string& table = {})
        : db_(db),
          st_(db.prepare(sql.c_str(), static_cast<int>(sql.size()), table), sqlite3_finalize),
          table_(table) {}

    sqlite3_stmt* get() const { return st_.get(); }
    std::string text(int column) const {
        return reinterpret_cast<const char*>(sqlite3_column_text(st_.get(), column));
    }
    // True for a row, false when done; throws SqlError on failure.
    bool step() {
        const int rc = sqlite3_step(st_.get());
        if (!stepped_) stepped_ = true, db_.stepped();
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw fromStore(sqlite3_errmsg(db_.handle()), table_);
    }

private:
    Database& db_;
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> st_;
    std::string table_;
    bool stepped_ = false;
};

std::string columnSql(const ColumnDefinition& c, const std::string& table);
std::string createTableSql(const std::string& table, const std::vector<ColumnDefinition>& columns);

SqlError duplicateColumn(const std::string& column, const std::string& table, int state);
// what: "the table 't'", "the index 't.i'" ...
inline SqlError cannotDrop(const std::string& what, int state) {
    return {3701, 11, state,
            "Cannot drop " + what + ", because it does not exist or you do not have permission."};
}
inline SqlError cannotFind(int number, int state, const std::string& name) {
    return {number, 16, state,
            "Cannot find the object \"" + name +
                "\" because it does not exist or you do not have permissions."};
}

} // namespace sandbox
