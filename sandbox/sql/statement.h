// A prepared statement of the store, finalised on scope exit.
#pragma once

#include "error.h"

#include <sqlite3.h>
#include <string>

namespace sandbox {

class Prepared {
public:
    Prepared(sqlite3* db, const std::string& sql, const std::string& table = {}) : db_(db) {
        if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &st_, nullptr) !=
            SQLITE_OK)
            throw fromStore(sqlite3_errmsg(db), table);
        table_ = table;
    }
    ~Prepared() { sqlite3_finalize(st_); }
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;

    sqlite3_stmt* get() const { return st_; }
    // True for a row, false when done; throws SqlError on failure.
    bool step() {
        int rc = sqlite3_step(st_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw fromStore(sqlite3_errmsg(db_), table_);
    }

private:
    sqlite3* db_;
    sqlite3_stmt* st_ = nullptr;
    std::string table_;
};

} // namespace sandbox
