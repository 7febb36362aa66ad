// The server's own limits, on a server of the test's own with small limits: a connection that
// never logs in is let go, and connections past the cap are refused while the others are served.
#include "raw_client.h"

#include "server.h"
#include "tds/prelogin.h"
#include "tds/tokens.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
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

using rowlark::test::RawClient;

// Sends a pre-login and says whether a pre-login answer came back.
bool answersPrelogin(RawClient& client) {
    client.sendMessage(tds::kPrelogin, tds::Prelogin::serverReply().encode());
    const auto m = client.reply();
    return m && m->type == tds::kReply;
}

// Logs in and returns the text of the first error of the answer; empty when the login went
// through, and "(no answer)" when none came.
std::string loginError(RawClient& client) {
    tds::Login7 login;
    login.userName = u"sa";
    login.password = u"pw";
    client.sendMessage(tds::kLogin7, tds::encodeLogin7(login));
    const auto m = client.reply();
    if (!m) return "(no answer)";
    tds::Reader r(m->payload);
    while (!r.atEnd()) {
        const std::uint8_t token = r.u8();
        if (token == tds::kTokError) return tds::utf8(tds::decodeServerMessage(r, true).text);
        if (token != tds::kTokInfo) return {};
        tds::decodeServerMessage(r, false);
    }
    return {};
}

TEST(ServerLimits, AConnectionThatNeverLogsInIsLetGo) {
    LimitedServer server({256, 1});
    RawClient silent(server.port());
    const auto start = Clock::now();
    EXPECT_TRUE(silent.closedWithin(5s));
    EXPECT_GE(Clock::now() - start, 900ms) << "not before the limit";
    RawClient halfway(server.port());
    ASSERT_TRUE(answersPrelogin(halfway));
    EXPECT_TRUE(halfway.closedWithin(5s)) << "a pre-login alone is no login";
}

TEST(ServerLimits, ConnectionsPastTheCapAreRefusedAndAFreedPlaceIsServed) {
    LimitedServer server({2, 30});
    auto first = std::make_unique<RawClient>(server.port());
    RawClient second(server.port());
    ASSERT_TRUE(answersPrelogin(*first));
    ASSERT_TRUE(answersPrelogin(second));
    RawClient third(server.port());
    ASSERT_TRUE(answersPrelogin(third));
    EXPECT_EQ(loginError(third),
              "The sandbox serves at most 2 connections at once; try again when one has closed.")
        << "the third of a cap of two is told why";
    EXPECT_TRUE(third.closedWithin(3s));
    EXPECT_FALSE(second.closedWithin(200ms)) << "the others are served on";
    first.reset();
    bool served = false;
    for (int attempt = 0; attempt < 50 && !served; ++attempt) {
        RawClient next(server.port());
        served = answersPrelogin(next) && loginError(next).empty();
        if (!served) std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(served) << "the place the first left is taken again";
}

} // namespace
} // namespace sandbox
