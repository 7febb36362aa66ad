// A client that speaks to a sandbox packet by packet, for tests of what the server does with
// what no driver would send, and of the server's own limits.
#pragma once

#include "tds_client.h"

#include <arpa/inet.h>
#include <chrono>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace rowlark::test {

class RawClient {
public:
    explicit RawClient(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval tv{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("connect");
    }
    ~RawClient() { ::close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    void send(const tds::Bytes& b) {
        ASSERT_EQ(::send(fd_, b.data(), b.size(), MSG_NOSIGNAL), ssize_t(b.size()));
    }
    void sendMessage(std::uint8_t type, const tds::Bytes& payload) {
        for (const auto& p : tds::splitMessage(type, payload, 4096, 0))
            send(p);
    }
    // The next reply message, or nullopt when the server closed the connection.
    std::optional<tds::Message> reply() {
        tds::MessageReader reader([this](std::uint8_t* into, std::size_t n) {
            std::size_t got = 0;
            while (got < n) {
                ssize_t r = ::recv(fd_, into + got, n - got, 0);
                if (r <= 0) return false;
                got += std::size_t(r);
            }
            return true;
        });
        tds::Message m;
        try {
            if (!reader.next(m)) return std::nullopt;
        } catch (const tds::ProtocolError&) {
            return std::nullopt;
        }
        return m;
    }
    // Whether the server closed the connection within the time, reading whatever came first.
    bool closedWithin(std::chrono::milliseconds wait) {
        const auto end = std::chrono::steady_clock::now() + wait;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
            char buffer[512];
            if (::recv(fd_, buffer, sizeof buffer, 0) <= 0) return true;
        }
    }

private:
    int fd_ = -1;
};

} // namespace rowlark::test
