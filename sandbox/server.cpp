#include "server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace sandbox {

Server::Server(Store& store, Credentials credentials, Limits limits)
    : store_(store), credentials_(std::move(credentials)), limits_(limits) {
    if (::pipe(wake_) != 0) throw std::runtime_error("cannot create a pipe");
    ::fcntl(wake_[1], F_SETFL, O_NONBLOCK);
}

Server::~Server() {
    reap(true);
    if (listenFd_ >= 0) ::close(listenFd_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

int Server::listen(int port) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 64) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

void Server::stop() {
    char c = 1;
    [[maybe_unused]] auto r = ::write(wake_[1], &c, 1); // async-signal-safe
}

void Server::reap(bool all) {
    std::lock_guard lock(mutex_);
    for (auto it = clients_.begin(); it != clients_.end();) {
        if (all && !it->finished) ::shutdown(it->fd, SHUT_RDWR);
        if (all || it->finished) {
            it->thread.join();
            ::close(it->fd);
            it = clients_.erase(it);
        } else {
            ++it;
        }
    }
}

void Server::serve() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int ready = ::poll(fds, 2, 1000);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        if (fds[1].revents) break;
        reap(false);
        if (!(fds[0].revents & POLLIN)) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors or memory: wait a little rather than spin on the same error.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                ::poll(nullptr, 0, 100);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard lock(mutex_);
        // Past the cap a few connections more are answered, with the refusal as their login's
        // error; past those, a connection is closed before any answer.
        const bool full = clients_.size() >= limits_.maxConnections;
        if (full) std::fprintf(stderr, "refused a connection: %zu are open\n", clients_.size());
        if (clients_.size() >= limits_.maxConnections + kRefusing) {
            ::close(fd);
            continue;
        }
        const std::string refusal =
            full ? "The sandbox serves at most " + std::to_string(limits_.maxConnections) +
                       " connections at once; try again when one has closed."
                 : "";
        Client& c = clients_.emplace_back();
        c.fd = fd;
        try {
            c.thread = std::thread([this, &c, refusal] {
                Session(c.fd, store_, credentials_, limits_.loginSeconds, refusal).run();
                c.finished = true;
            });
        } catch (const std::system_error&) {
            // No thread to serve it: the connection ends, the server goes on.
            ::close(fd);
            clients_.pop_back();
        }
    }
    reap(true);
}

} // namespace sandbox
