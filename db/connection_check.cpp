#include "connection_check.h"

#include "connection.h"

namespace rowlark::db {

bool TestConnection(const std::string& connectionString, int loginTimeout) noexcept {
    try {
        Connection c;
        c.setLoginTimeout(loginTimeout);
        c.open(connectionString);
        c.close();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace rowlark::db
