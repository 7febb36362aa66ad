#include "connection.h"

#include "cancel.h"
#include "connection_string.h"
#include "preflight.h"
#include "sockets.h"
#include "statement.h"

namespace rowlark::db {

Connection::Connection() : dbc_(SQL_HANDLE_DBC, environment()) {}

Connection::~Connection() {
    try {
        close();
    } catch (...) {
        // a connection that cannot say goodbye is gone all the same
    }
}

namespace {

bool loginFailed(const OdbcError& e) {
    for (const auto& r : e.records())
        if (r.nativeError == 18456) return true;
    return false;
}

} // namespace

void Connection::open(std::string_view connectionString) {
    try {
        connect(connectionString);
    } catch (const OdbcError& e) {
        // A value with '}' is braced the standard way, '}' doubled; FreeTDS before 1.4 reads such a
        // value differently, so a refused login is tried once more in its way before giving up.
        auto legacy = loginFailed(e) ? withUndoubledBraces(connectionString) : std::nullopt;
        if (!legacy) throw;
        try {
            connect(*legacy);
        } catch (const OdbcError&) {
            throw e;
        }
    }
}

void Connection::connect(std::string_view connectionString) {
    close();
    if (cancel_ && cancel_->pulled()) throw OdbcError("HY008", "Operation canceled");
    PreflightLogin(connectionString, loginTimeout_ > 0 ? loginTimeout_ : kDefaultLoginTimeout);
    if (loginTimeout_ > 0)
        dbc_.check(SQLSetConnectAttrW(
            dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT,
            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeout_)), 0));
    if (connectionTimeout_ > 0)
        dbc_.check(SQLSetConnectAttrW(
            dbc_.get(), SQL_ATTR_CONNECTION_TIMEOUT,
            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(connectionTimeout_)), 0));
    auto wide = toWide(connectionString);
    SQLWCHAR out[1024];
    SQLSMALLINT outLen = 0;
    // The sockets that appear during the login are this connection's: a pull of the cancel
    // switch that the server does not answer cuts them. Without a switch there is nothing to cut.
    std::vector<int> before;
    if (cancel_) {
        if (cancel_->pulled()) throw OdbcError("HY008", "Operation canceled");
        before = sockets::Connected();
        cancel_->enterLogin(before);
    }
    SQLRETURN rc =
        SQLDriverConnectW(dbc_.get(), nullptr, wide.data(), static_cast<SQLSMALLINT>(wide.size()),
                          out, 1024, &outLen, SQL_DRIVER_NOPROMPT);
    if (cancel_) cancel_->leaveLogin();
    dbc_.check(rc);
    open_ = true;
    if (!cancel_) return;
    sockets_ = sockets::Since(before, sockets::Connected());
    cancel_->adopt(sockets_);
}

void Connection::close() {
    if (!open_) return;
    open_ = false;
    if (cancel_) cancel_->release(sockets_);
    sockets_.clear();
    dbc_.check(SQLDisconnect(dbc_.get()));
}

void Connection::beginTransaction() {
    dbc_.check(SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                                  reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0));
}

void Connection::commit() {
    try {
        dbc_.check(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_COMMIT));
    } catch (...) {
        rollback();
        throw;
    }
    dbc_.check(SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                                  reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0));
}

void Connection::rollback() noexcept {
    SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
    SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                       reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
}

long long Connection::execute(std::string_view sql) {
    Statement st(*this);
    st.execute(sql);
    long long changed = 0;
    do {
        SQLLEN n = st.rowCount();
        if (n > 0) changed += n;
    } while (st.nextResult());
    return changed;
}

} // namespace rowlark::db
