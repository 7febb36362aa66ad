// The sandbox on the wire itself: a corrupt packet, a cancel while idle, and that it keeps serving.
#include "odbc_support.h"
#include "tds_client.h"

#include "tds/done.h"
#include "tds/login7.h"
#include "tds/packet.h"
#include "tds/prelogin.h"
#include "tds/tokens.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace rowlark::test;

namespace {

class RawClient {
public:
    RawClient() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval tv{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(sandboxPort()));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("connect");
    }
    ~RawClient() { ::close(fd_); }

    void send(const tds::Bytes& b) {
        ASSERT_EQ(::send(fd_, b.data(), b.size(), 0), ssize_t(b.size()));
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
    void login() {
        sendMessage(tds::kPrelogin, tds::Prelogin::serverReply().encode());
        auto pre = reply();
        ASSERT_TRUE(pre);
        EXPECT_EQ(tds::Prelogin::decode(pre->payload).options.at(tds::kOptEncryption),
                  tds::Bytes{tds::kEncryptNotSupported});
        tds::Login7 l;
        l.userName = u"sa";
        l.password = tds::utf16(kSandboxPassword);
        l.database = u"Demo";
        sendMessage(tds::kLogin7, tds::encodeLogin7(l));
        auto ack = reply();
        ASSERT_TRUE(ack);
        EXPECT_NE(std::find(ack->payload.begin(), ack->payload.end(), tds::kTokLoginAck),
                  ack->payload.end());
    }

private:
    int fd_;
};

} // namespace

TEST(SandboxWire, CorruptPacketClosesOnlyThatConnection) {
    RawClient bad;
    bad.send({tds::kSqlBatch, tds::kStatusEom, 0x00, 0x03, 0, 0, 1, 0}); // length below the header
    EXPECT_FALSE(bad.reply()) << "the server hangs up on a corrupt packet";

    RawClient garbage;
    garbage.send(tds::Bytes(64, 0xFF));
    EXPECT_FALSE(garbage.reply());

    auto c = connect("Demo");
    EXPECT_EQ(query(*c, "SELECT count(*) FROM Physics"), (Rows{{"3"}}))
        << "and goes on serving others";
}

TEST(SandboxWire, CancelWhileIdleIsAcknowledged) {
    RawClient client;
    client.login();
    client.sendMessage(tds::kAttention, {});
    auto m = client.reply();
    ASSERT_TRUE(m);
    tds::Reader r(m->payload);
    ASSERT_EQ(r.u8(), tds::kTokDone);
    EXPECT_EQ(tds::decodeDone(r, tds::kTokDone).status, tds::kDoneAttn);
}

TEST(SandboxWire, RequestBeforeLoginIsRefused) {
    RawClient client;
    client.sendMessage(tds::kSqlBatch, tds::Bytes{'S', 0, 'E', 0});
    EXPECT_FALSE(client.reply());
}
