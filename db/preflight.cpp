#include "preflight.h"

#include "connection_string.h"
#include "odbc_error.h"
#include "probe_socket.h"

#include <string>

namespace rowlark::db {
namespace {

// PRELOGIN with VERSION and ENCRYPTION "not supported": enough for any server to answer.
constexpr unsigned char kPrelogin[] = {
    0x12, 0x01, 0x00, 0x1a, 0x00, 0x00, 0x01, 0x00, // header: PRELOGIN, last, 26 bytes
    0x00, 0x00, 0x0b, 0x00, 0x06,                   // VERSION at 11, 6 bytes
    0x01, 0x00, 0x11, 0x00, 0x01,                   // ENCRYPTION at 17, 1 byte
    0xff,                                           // end of options
    0x0c, 0x00, 0x00, 0x00, 0x00, 0x00,             // version
    0x02,                                           // encryption not supported
};

} // namespace

void PreflightLogin(std::string_view connectionString, int timeoutSeconds) {
    const auto server = connectionStringValue(connectionString, "Server");
    if (!server) return;
    const std::size_t comma = server->rfind(',');
    if (comma == std::string::npos) return; // a named instance: the driver asks the browser
    std::string host = server->substr(0, comma), port = server->substr(comma + 1);
    while (!host.empty() && host.back() == ' ')
        host.pop_back();
    if (host.rfind("tcp:", 0) == 0) host.erase(0, 4);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    // A server that answers, or that cannot be reached at all, is the driver's to report.
    if (SendAndWait(host, port, kPrelogin, sizeof kPrelogin, deadline) != ProbeAnswer::Silent)
        return;
    throw OdbcError("HYT00", "The server at " + *server +
                                 " took the connection but did not answer within " +
                                 std::to_string(timeoutSeconds) + " seconds.");
}

} // namespace rowlark::db
