// Lets another thread stop what a connection is doing: once pulled, the statement running on the
// server now is cancelled (SQLCancel may be called from any thread), and every later statement
// of that connection fails at once with SQLSTATE HY008.
#pragma once

#include "odbc.h"

#include <atomic>
#include <mutex>

namespace rowlark::db {

class CancelSwitch {
public:
    void pull();
    bool pulled() const { return pulled_; }

    // While a statement runs, the switch knows its handle.
    void enter(SQLHSTMT statement);
    void leave(SQLHSTMT statement);

private:
    std::atomic<bool> pulled_{false};
    std::mutex mutex_;
    SQLHSTMT running_ = SQL_NULL_HSTMT;
};

} // namespace rowlark::db
