#include "preflight.h"

#include "connection_string.h"
#include "odbc_error.h"

#include <chrono>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace rowlark::db {

#ifdef _WIN32
void PreflightLogin(std::string_view, int) {}
#else
namespace {

using Clock = std::chrono::steady_clock;

// PRELOGIN with VERSION and ENCRYPTION "not supported": enough for any server to answer.
constexpr unsigned char kPrelogin[] = {
    0x12, 0x01, 0x00, 0x1a, 0x00, 0x00, 0x01, 0x00, // header: PRELOGIN, last, 26 bytes
    0x00, 0x00, 0x0b, 0x00, 0x06,                   // VERSION at 11, 6 bytes
    0x01, 0x00, 0x11, 0x00, 0x01,                   // ENCRYPTION at 17, 1 byte
    0xff,                                           // end of options
    0x0c, 0x00, 0x00, 0x00, 0x00, 0x00,             // version
    0x02,                                           // encryption not supported
};

class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    int fd() const { return fd_; }

private:
    int fd_;
};

int millisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

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
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) return;
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    Socket s(::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol));
    if (s.fd() < 0) return ::freeaddrinfo(found);
    ::fcntl(s.fd(), F_SETFL, ::fcntl(s.fd(), F_GETFL) | O_NONBLOCK);
    const int rc = ::connect(s.fd(), found->ai_addr, found->ai_addrlen);
    ::freeaddrinfo(found);
    if (rc != 0 && errno != EINPROGRESS) return;
    pollfd p{s.fd(), POLLOUT, 0};
    if (::poll(&p, 1, millisecondsLeft(deadline)) <= 0) return; // no handshake: the driver says so
    int error = 0;
    socklen_t size = sizeof error;
    ::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &error, &size);
    if (error != 0) return;
    if (::send(s.fd(), kPrelogin, sizeof kPrelogin, MSG_NOSIGNAL) != sizeof kPrelogin) return;
    p = {s.fd(), POLLIN, 0};
    if (::poll(&p, 1, millisecondsLeft(deadline)) > 0) return; // it answers (or hangs up)
    throw OdbcError("HYT00", "The server at " + *server +
                                 " took the connection but did not answer within " +
                                 std::to_string(timeoutSeconds) + " seconds.");
}
#endif

} // namespace rowlark::db
