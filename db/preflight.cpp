#include "preflight.h"

#include "connection_string.h"
#include "odbc_error.h"

#include <chrono>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace rowlark::db {
namespace {

// The few socket calls below differ between Winsock and BSD sockets only in name.
#ifdef _WIN32
using SocketHandle = SOCKET;
constexpr SocketHandle kNoSocket = INVALID_SOCKET;
constexpr int kSendFlags = 0;
void closeSocket(SocketHandle s) {
    ::closesocket(s);
}
SocketHandle openSocket(const addrinfo& a) {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) return kNoSocket;
    const SocketHandle s = ::socket(a.ai_family, a.ai_socktype, a.ai_protocol);
    u_long nonBlocking = 1;
    if (s != kNoSocket) ::ioctlsocket(s, FIONBIO, &nonBlocking);
    return s;
}
bool connectStarted(int rc) {
    return rc == 0 || WSAGetLastError() == WSAEWOULDBLOCK;
}
int pollOne(pollfd& p, int milliseconds) {
    return ::WSAPoll(&p, 1, milliseconds);
}
#else
using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;
constexpr int kSendFlags = MSG_NOSIGNAL;
void closeSocket(SocketHandle s) {
    ::close(s);
}
SocketHandle openSocket(const addrinfo& a) {
    const SocketHandle s = ::socket(a.ai_family, a.ai_socktype | SOCK_CLOEXEC, a.ai_protocol);
    if (s >= 0) ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
    return s;
}
bool connectStarted(int rc) {
    return rc == 0 || errno == EINPROGRESS;
}
int pollOne(pollfd& p, int milliseconds) {
    return ::poll(&p, 1, milliseconds);
}
#endif

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
    explicit Socket(SocketHandle fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ != kNoSocket) closeSocket(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SocketHandle fd() const { return fd_; }

private:
    SocketHandle fd_;
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
    Socket s(openSocket(*found));
    if (s.fd() == kNoSocket) return ::freeaddrinfo(found);
    const int rc = ::connect(s.fd(), found->ai_addr, static_cast<int>(found->ai_addrlen));
    ::freeaddrinfo(found);
    if (!connectStarted(rc)) return;
    pollfd p{s.fd(), POLLOUT, 0};
    if (pollOne(p, millisecondsLeft(deadline)) <= 0) return; // no handshake: the driver says so
    int error = 0;
    socklen_t size = sizeof error;
    ::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
    if (error != 0) return;
    const char* prelogin = reinterpret_cast<const char*>(kPrelogin);
    if (::send(s.fd(), prelogin, sizeof kPrelogin, kSendFlags) != sizeof kPrelogin) return;
    p = {s.fd(), POLLIN, 0};
    if (pollOne(p, millisecondsLeft(deadline)) > 0) return; // it answers (or hangs up)
    throw OdbcError("HYT00", "The server at " + *server +
                                 " took the connection but did not answer within " +
                                 std::to_string(timeoutSeconds) + " seconds.");
}

} // namespace rowlark::db
