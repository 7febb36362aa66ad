#include "cancel.h"

namespace rowlark::db {

void CancelSwitch::pull() {
    std::lock_guard lock(mutex_);
    pulled_ = true;
    if (running_ != SQL_NULL_HSTMT) SQLCancel(running_);
}

void CancelSwitch::enter(SQLHSTMT statement) {
    std::lock_guard lock(mutex_);
    running_ = statement;
}

void CancelSwitch::leave(SQLHSTMT statement) {
    std::lock_guard lock(mutex_);
    if (running_ == statement) running_ = SQL_NULL_HSTMT;
}

} // namespace rowlark::db
