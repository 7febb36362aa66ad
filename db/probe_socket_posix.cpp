#include "probe_socket.h"

#include <cerrno>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rowlark::db {
namespace {

class Socket {
public:
    explicit Socket(const addrinfo& a)
        : fd_(::socket(a.ai_family, a.ai_socktype | SOCK_CLOEXEC, a.ai_protocol)) {
        if (fd_ >= 0) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    }
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
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
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    AddressList found;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found.first) != 0 || !found.first)
        return ProbeAnswer::NotReached;
    Socket s(*found.first);
    if (s.fd() < 0) return ProbeAnswer::NotReached;
    const int rc = ::connect(s.fd(), found.first->ai_addr, found.first->ai_addrlen);
    if (rc != 0 && errno != EINPROGRESS) return ProbeAnswer::NotReached;
    pollfd p{s.fd(), POLLOUT, 0};
    if (::poll(&p, 1, MillisecondsLeft(deadline)) <= 0) return ProbeAnswer::NotReached;
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) return ProbeAnswer::NotReached;
    if (::send(s.fd(), message, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size))
        return ProbeAnswer::NotReached;
    p = {s.fd(), POLLIN, 0};
    return ::poll(&p, 1, MillisecondsLeft(deadline)) > 0 ? ProbeAnswer::Answered
                                                         : ProbeAnswer::Silent;
}

} // namespace rowlark::db
