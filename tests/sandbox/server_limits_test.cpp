// The server's own limits, on a server of the test's own with small limits: a connection that
// never logs in is let go, and connections past the cap are refused while the others are served.
#include "tds_client.h"

#include "server.h"
#include "tds/prelogin.h"
#include "tds/tokens.h"

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace sandbox {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class LimitedServer {
public:
    explicit LimitedServer(Limits limits)
        : dir_(std::filesystem::temp_directory_path() /
               ("rowlark-limits-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())),
          store_((std::filesystem::remove_all(dir_), dir_)), server_(store_, {"sa", "pw"}, limits) {
        port_ = server_.listen(0);
        thread_ = std::thread([this] { server_.serve(); });
    }
    ~LimitedServer() {
        server_.stop();
        thread_.join();
        std::filesystem::remove_all(dir_);
    }
    int port() const { return port_; }

private:
    std::filesystem::path dir_;
    Store store_;
    Server server_;
    int port_ = 0;
    std::thread thread_;
};

class Socket {
public:
    explicit Socket(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("connect");
    }
    ~Socket() { ::close(fd_); }
    // Whether the server closed the connection within the time, reading whatever came first.
    bool closedWithin(std::chrono::milliseconds wait) {
        const auto end = Clock::now() + wait;
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
            char buffer[512];
            if (::recv(fd_, buffer, sizeof buffer, 0) <= 0) return true;
        }
    }
    // Sends a pre-login and says whether a pre-login answer came back.
    bool answersPrelogin() {
        for (const auto& p :
             tds::splitMessage(tds::kPrelogin, tds::Prelogin::serverReply().encode(), 4096, 0))
            if (::send(fd_, p.data(), p.size(), MSG_NOSIGNAL) != ssize_t(p.size())) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) return false;
        std::uint8_t head[tds::kHeaderSize];
        if (::recv(fd_, head, sizeof head, MSG_WAITALL) != ssize_t(sizeof head) ||
            head[0] != tds::kReply)
            return false;
        std::vector<std::uint8_t> rest((head[2] << 8 | head[3]) - tds::kHeaderSize);
        return ::recv(fd_, rest.data(), rest.size(), MSG_WAITALL) == ssize_t(rest.size());
    }

    // Logs in and returns the text of the first error of the answer, empty when there is none.
    std::string loginError() {
        tds::Login7 login;
        login.userName = u"sa";
        login.password = u"pw";
        for (const auto& p : tds::splitMessage(tds::kLogin7, tds::encodeLogin7(login), 4096, 0))
            if (::send(fd_, p.data(), p.size(), MSG_NOSIGNAL) != ssize_t(p.size())) return {};
        tds::MessageReader reader([this](std::uint8_t* into, std::size_t n) {
            return ::recv(fd_, into, n, MSG_WAITALL) == ssize_t(n);
        });
        tds::Message m;
        if (!reader.next(m)) return {};
        tds::Reader r(m.payload);
        while (!r.atEnd()) {
            const std::uint8_t token = r.u8();
            if (token == tds::kTokError) return tds::utf8(tds::decodeServerMessage(r, true).text);
            if (token == tds::kTokInfo)
                tds::decodeServerMessage(r, false);
            else
                return {};
        }
        return {};
    }

private:
    int fd_ = -1;
};

TEST(ServerLimits, AConnectionThatNeverLogsInIsLetGo) {
    LimitedServer server({256, 1});
    Socket silent(server.port());
    const auto start = Clock::now();
    EXPECT_TRUE(silent.closedWithin(5s));
    EXPECT_GE(Clock::now() - start, 900ms) << "not before the limit";
    Socket halfway(server.port());
    ASSERT_TRUE(halfway.answersPrelogin());
    EXPECT_TRUE(halfway.closedWithin(5s)) << "a pre-login alone is no login";
}

TEST(ServerLimits, ConnectionsPastTheCapAreRefusedAndAFreedPlaceIsServed) {
    LimitedServer server({2, 30});
    auto first = std::make_unique<Socket>(server.port());
    Socket second(server.port());
    ASSERT_TRUE(first->answersPrelogin());
    ASSERT_TRUE(second.answersPrelogin());
    Socket third(server.port());
    ASSERT_TRUE(third.answersPrelogin());
    EXPECT_EQ(third.loginError(),
              "The sandbox serves at most 2 connections at once; try again when one has closed.")
        << "the third of a cap of two is told why";
    EXPECT_TRUE(third.closedWithin(3s));
    EXPECT_FALSE(second.closedWithin(200ms)) << "the others are served on";
    first.reset();
    bool served = false;
    for (int attempt = 0; attempt < 50 && !served; ++attempt) {
        Socket next(server.port());
        served = next.answersPrelogin();
        if (!served) std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(served) << "the place the first left is taken again";
}

} // namespace
} // namespace sandbox
