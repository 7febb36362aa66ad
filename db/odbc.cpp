#include "odbc.h"

namespace rowlark::db {

std::basic_string<SQLWCHAR> toWide(std::string_view s) {
    std::basic_string<SQLWCHAR> out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        char32_t cp = 0xFFFD;
        std::size_t len = c < 0x80         ? 1
                          : (c >> 5) == 6  ? 2
                          : (c >> 4) == 14 ? 3
                          : (c >> 3) == 30 ? 4
                                           : 0;
        if (len == 0 || i + len > s.size()) {
            ++i;
        } else {
            cp = len == 1 ? c : len == 2 ? (c & 0x1f) : len == 3 ? (c & 0x0f) : (c & 0x07);
            bool ok = true;
            for (std::size_t k = 1; k < len; ++k) {
                unsigned char cc = s[i + k];
                ok = ok && (cc >> 6) == 2;
                cp = (cp << 6) | (cc & 0x3f);
            }
            if (!ok) cp = 0xFFFD, len = 1;
            i += len;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<SQLWCHAR>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<SQLWCHAR>(0xDC00 + (cp & 0x3ff)));
        } else {
            out.push_back(static_cast<SQLWCHAR>(cp));
        }
    }
    return out;
}

std::string fromWide(const SQLWCHAR* s, std::size_t n) {
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        }
    }
    return out;
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
