#include "odbc.h"

#include "utf16.h"

namespace rowlark::db {

std::basic_string<SQLWCHAR> toWide(std::string_view s) {
    return utf::toUtf16<SQLWCHAR>(s);
}

std::string fromWide(const SQLWCHAR* s, std::size_t n) {
    return utf::fromUtf16(s, n);
}

std::vector<DiagRecord> diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<DiagRecord> out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR text[1024];
        SQLSMALLINT len = 0;
        SQLRETURN rc = SQLGetDiagRecW(type, handle, i, state, &native, text, 1024, &len);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        DiagRecord r;
        r.sqlState = fromWide(state, 5);
        r.nativeError = native;
        if (len >= 1024) {
            std::basic_string<SQLWCHAR> big(static_cast<std::size_t>(len) + 1, 0);
            SQLGetDiagRecW(type, handle, i, state, &native, big.data(), len + 1, &len);
            r.message = fromWide(big.data(), static_cast<std::size_t>(len));
        } else {
            r.message = fromWide(text, static_cast<std::size_t>(len));
        }
        out.push_back(std::move(r));
    }
    return out;
}

SQLRETURN check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) return rc;
    if (rc == SQL_INVALID_HANDLE) throw OdbcError("HY000", "Invalid ODBC handle");
    throw OdbcError(diagnostics(type, handle));
}

Handle::Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
    SQLRETURN rc = SQLAllocHandle(type, parent, &h_);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        h_ = SQL_NULL_HANDLE;
        if (parent != SQL_NULL_HANDLE)
            throw OdbcError(
                diagnostics(type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV, parent));
        throw OdbcError("HY001", "Cannot allocate an ODBC handle");
    }
}

void Handle::reset() {
    if (h_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, h_);
    h_ = SQL_NULL_HANDLE;
}

SQLHENV environment() {
    static Handle env = [] {
        Handle h(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
        h.check(SQLSetEnvAttr(h.get(), SQL_ATTR_ODBC_VERSION,
                              reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
        return h;
    }();
    return env.get();
}

} // namespace rowlark::db
