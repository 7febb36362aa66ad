// A connection to the server through the ODBC driver manager.
#pragma once

#include "odbc.h"

#include <memory>
#include <vector>

namespace rowlark::db {
class CancelSwitch;
}

namespace rowlark::db {

// Where a record set's rows live: on the server (read forward only, row count unknown until the
// end) or in the client's memory (row count exact, any row reachable for a grid).
enum class CursorLocation { Server = 2, Client = 3 };

// Seconds a login may take when no time-out is set.
inline constexpr int kDefaultLoginTimeout = 15;

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Seconds; 0 leaves the driver's default. Set before open().
    void setLoginTimeout(int seconds) { loginTimeout_ = seconds; }
    void setConnectionTimeout(int seconds) { connectionTimeout_ = seconds; }
    // Seconds that each statement may run; 0 leaves the driver's default.
    void setQueryTimeout(int seconds) { queryTimeout_ = seconds; }
    int queryTimeout() const { return queryTimeout_; }
    void setCursorLocation(CursorLocation where) { cursorLocation_ = where; }
    // Statements of this connection can be stopped from another thread through the switch.
    void setCancelSwitch(std::shared_ptr<CancelSwitch> s) { cancel_ = std::move(s); }
    const std::shared_ptr<CancelSwitch>& cancelSwitch() const { return cancel_; }
    CursorLocation cursorLocation() const { return cursorLocation_; }

    // Opens with an ODBC connection string; throws OdbcError with the driver's text.
    void open(std::string_view connectionString);
    // Throws OdbcError when the driver reports a failed disconnect.
    void close();
    bool isOpen() const { return open_; }
    // Runs SQL text and reads every result it gives; throws the first error. Returns the rows
    // that its statements changed, as the server counted them.
    long long execute(std::string_view sql);

    // From beginTransaction() on, what the statements change takes effect at commit() alone;
    // rollback(), a failed commit or a connection that ends first undoes all of it.
    void beginTransaction();
    void commit();
    void rollback() noexcept;

    SQLHDBC handle() const { return dbc_.get(); }

private:
    void connect(std::string_view connectionString);

    Handle dbc_;
    bool open_ = false;
    int loginTimeout_ = 0;
    int connectionTimeout_ = 0;
    int queryTimeout_ = 0;
    CursorLocation cursorLocation_ = CursorLocation::Server;
    std::shared_ptr<CancelSwitch> cancel_;
    std::vector<int> sockets_; // with a cancel switch: the connection's own, as the system tells
};

} // namespace rowlark::db
