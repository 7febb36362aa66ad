// RAII for ODBC handles, the one checking gate every call goes through, and wide-text helpers.
#pragma once

#include "odbc_error.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>
#include <utility>

namespace rowlark::db {

// UTF-8 <-> the driver manager's 16-bit SQLWCHAR text.
std::basic_string<SQLWCHAR> toWide(std::string_view utf8);
std::string fromWide(const SQLWCHAR* text, std::size_t length);

// Reads every diagnostic record of the handle.
std::vector<DiagRecord> diagnostics(SQLSMALLINT type, SQLHANDLE handle);

// Throws OdbcError with the handle's diagnostics unless rc is a success.
// Returns rc, so callers can tell SQL_NO_DATA apart.
SQLRETURN check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle);

class Handle {
public:
    Handle() = default;
    Handle(SQLSMALLINT type, SQLHANDLE parent);
    ~Handle() { reset(); }
    Handle(Handle&& o) noexcept : type_(o.type_), h_(std::exchange(o.h_, nullptr)) {}
    Handle& operator=(Handle&& o) noexcept {
        if (this != &o) {
            reset();
            type_ = o.type_;
            h_ = std::exchange(o.h_, nullptr);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    SQLHANDLE get() const { return h_; }
    SQLSMALLINT type() const { return type_; }
    explicit operator bool() const { return h_ != SQL_NULL_HANDLE; }
    SQLRETURN check(SQLRETURN rc) const { return db::check(rc, type_, h_); }
    void reset();

private:
    SQLSMALLINT type_ = SQL_HANDLE_ENV;
    SQLHANDLE h_ = SQL_NULL_HANDLE;
};

// The process's ODBC environment (ODBC 3 behaviour), made on first use.
SQLHENV environment();

} // namespace rowlark::db
