#include "probe_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace rowlark::db {
namespace {

// Winsock is started once, before the first name is looked up, and left running.
bool winsockStarted() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

class Socket {
public:
    explicit Socket(const addrinfo& a) {
        s_ = ::socket(a.ai_family, a.ai_socktype, a.ai_protocol);
        u_long nonBlocking = 1;
        if (s_ != INVALID_SOCKET) ::ioctlsocket(s_, FIONBIO, &nonBlocking);
    }
    ~Socket() {
        if (s_ != INVALID_SOCKET) ::closesocket(s_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const { return s_; }

private:
    SOCKET s_ = INVALID_SOCKET;
};

struct AddressList {
    addrinfo* first = nullptr;
    ~AddressList() {
        if (first) ::freeaddrinfo(first);
    }
};

} // namespace

ProbeAnswer SendAndWait(const std::string& host, const std::string& port,
                        const unsigned char* message, std::size_t size,
                        std::chrono::steady_clock::time_point deadline) {
    if (!winsockStarted()) return ProbeAnswer::NotReached;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    AddressList found;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found.first) != 0 || !found.first)
        return ProbeAnswer::NotReached;
    Socket probe(*found.first);
    if (probe.get() == INVALID_SOCKET) return ProbeAnswer::NotReached;
    const int rc =
        ::connect(probe.get(), found.first->ai_addr, static_cast<int>(found.first->ai_addrlen));
    if (rc != 0 && WSAGetLastError() != WSAEWOULDBLOCK) return ProbeAnswer::NotReached;
    WSAPOLLFD p{probe.get(), POLLOUT, 0};
    if (::WSAPoll(&p, 1, MillisecondsLeft(deadline)) <= 0) return ProbeAnswer::NotReached;
    int error = 0;
    int length = sizeof error;
    ::getsockopt(probe.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    if (error != 0) return ProbeAnswer::NotReached;
    const int sent =
        ::send(probe.get(), reinterpret_cast<const char*>(message), static_cast<int>(size), 0);
    if (sent != static_cast<int>(size)) return ProbeAnswer::NotReached;
    p = {probe.get(), POLLIN, 0};
    return ::WSAPoll(&p, 1, MillisecondsLeft(deadline)) > 0 ? ProbeAnswer::Answered
                                                            : ProbeAnswer::Silent;
}

} // namespace rowlark::db
