#include "connection_check.h"

#include "connection.h"

namespace rowlark::db {

bool TestConnection(const std::string& connectionString, int loginTimeout) noexcept {
    return !LoginFailure(connectionString, loginTimeout);
}

std::optional<std::string> LoginFailure(const std::string& connectionString,
                                        int loginTimeout) noexcept {
    try {
        Connection c;
        c.setLoginTimeout(loginTimeout);
        c.open(connectionString);
        c.close();
        return std::nullopt;
    } catch (const OdbcError& e) {
        return e.description();
    } catch (const std::exception& e) {
        return std::string(e.what());
    } catch (...) {
        return std::string("unknown error");
    }
}

} // namespace rowlark::db
