// A prepared statement of the store, finalised on scope exit.
#pragma once

#include "database.h"

#include <sqlite3.h>
#include <string>

namespace sandbox {

class Prepared {
public:
    Prepared(Database& db, const std::string& sql, const std::string& table = {})
        : db_(db), st_(db.prepare(sql.c_str(), static_cast<int>(sql.size()), table)),
          table_(table) {}
    ~Prepared() { sqlite3_finalize(st_); }
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;

    sqlite3_stmt* get() const { return st_; }
    // True for a row, false when done; throws SqlError on failure.
    bool step() {
        const int rc = sqlite3_step(st_);
        if (!stepped_) stepped_ = true, db_.stepped();
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw fromStore(sqlite3_errmsg(db_.handle()), table_);
    }

private:
    Database& db_;
    sqlite3_stmt* st_ = nullptr;
    std::string table_;
    bool stepped_ = false;
};

} // namespace sandbox
