// Before the driver logs in: the server must take a TCP connection and answer a pre-login message
// in time. FreeTDS 1.3 waits without end on a server that accepts a connection and never answers
// (a stalled listener, a firewall that drops after the handshake), whatever its login time-out;
// this check makes such a login fail within the time-out instead.
#pragma once

#include <string_view>

namespace rowlark::db {

// Throws OdbcError (SQLSTATE HYT00) when the server named by the string's "Server=host,port"
// accepts a connection but sends nothing back within the given seconds. Anything else (no port in
// the string, a name that does not resolve, a refused connection, an answer) is left to the
// driver, which reports it in its own words.
void PreflightLogin(std::string_view connectionString, int timeoutSeconds);

} // namespace rowlark::db
