// The sandbox on the wire itself: a corrupt packet, a cancel while idle, and that it keeps serving.
#include "odbc_support.h"
#include "raw_client.h"

#include "tds/done.h"
#include "tds/login7.h"
#include "tds/packet.h"
#include "tds/prelogin.h"
#include "tds/tokens.h"

using namespace rowlark::test;

namespace {

// Logs in to Demo as the suite does.
void logIn(RawClient& client) {
    client.sendMessage(tds::kPrelogin, tds::Prelogin::serverReply().encode());
    auto pre = client.reply();
    ASSERT_TRUE(pre);
    EXPECT_EQ(tds::Prelogin::decode(pre->payload).options.at(tds::kOptEncryption),
              tds::Bytes{tds::kEncryptNotSupported});
    tds::Login7 l;
    l.userName = u"sa";
    l.password = tds::utf16(kSandboxPassword);
    l.database = u"Demo";
    client.sendMessage(tds::kLogin7, tds::encodeLogin7(l));
    auto ack = client.reply();
    ASSERT_TRUE(ack);
    EXPECT_NE(std::find(ack->payload.begin(), ack->payload.end(), tds::kTokLoginAck),
              ack->payload.end());
}

} // namespace

TEST(SandboxWire, CorruptPacketClosesOnlyThatConnection) {
    RawClient bad(sandboxPort());
    bad.send({tds::kSqlBatch, tds::kStatusEom, 0x00, 0x03, 0, 0, 1, 0}); // length below the header
    EXPECT_FALSE(bad.reply()) << "the server hangs up on a corrupt packet";

    RawClient garbage(sandboxPort());
    garbage.send(tds::Bytes(64, 0xFF));
    EXPECT_FALSE(garbage.reply());

    auto c = connect("Demo");
    EXPECT_EQ(query(*c, "SELECT count(*) FROM Physics"), (Rows{{"3"}}))
        << "and goes on serving others";
}

TEST(SandboxWire, CancelWhileIdleIsAcknowledged) {
    RawClient client(sandboxPort());
    logIn(client);
    client.sendMessage(tds::kAttention, {});
    auto m = client.reply();
    ASSERT_TRUE(m);
    tds::Reader r(m->payload);
    ASSERT_EQ(r.u8(), tds::kTokDone);
    EXPECT_EQ(tds::decodeDone(r, tds::kTokDone).status, tds::kDoneAttn);
}

TEST(SandboxWire, RequestBeforeLoginIsRefused) {
    RawClient client(sandboxPort());
    client.sendMessage(tds::kSqlBatch, tds::Bytes{'S', 0, 'E', 0});
    EXPECT_FALSE(client.reply());
}
