// The sandbox on the wire itself: a corrupt packet, a cancel while idle, and that it keeps serving.
#include "odbc_support.h"
#include "raw_client.h"

#include "tds/bulkload.h"
#include "tds/done.h"
#include "tds/login7.h"
#include "tds/packet.h"
#include "tds/prelogin.h"
#include "tds/returnvalue.h"
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

namespace {

// The tokens of a reply: the error numbers it carries, and whether it ends with a final DONE.
struct ReplyTokens {
    std::vector<std::int32_t> errors;
    std::vector<std::string> errorTexts;
    std::uint64_t count = 0;
    std::vector<std::uint16_t> procs; // each DONEPROC's status
    std::vector<tds::Value> returned; // each RETURNVALUE's value
    std::vector<std::vector<tds::Value>> rows;
};

ReplyTokens readReply(const tds::Message& m) {
    ReplyTokens out;
    tds::Reader r(m.payload);
    std::vector<tds::ColumnInfo> columns;
    while (!r.atEnd()) {
        const std::uint8_t token = r.u8();
        if (token == tds::kTokError || token == tds::kTokInfo) {
            const auto msg = tds::decodeServerMessage(r, token == tds::kTokError);
            if (token == tds::kTokError) {
                out.errors.push_back(msg.number);
                out.errorTexts.push_back(tds::utf8(msg.text));
            }
        } else if (token == tds::kTokDone || token == tds::kTokDoneInProc) {
            out.count = tds::decodeDone(r, token).rowCount;
        } else if (token == tds::kTokEnvChange) {
            tds::decodeEnvChange(r);
        } else if (token == tds::kTokReturnStatus) {
            tds::decodeReturnStatus(r);
        } else if (token == tds::kTokDoneProc) {
            out.procs.push_back(tds::decodeDone(r, token).status);
        } else if (token == tds::kTokReturnValue) {
            r.seek(r.pos() - 1); // the token is read with its identifier
            out.returned.push_back(tds::ReturnValue::decode(r, tds::kTds74).value);
        } else if (token == tds::kTokColMetadata) {
            columns = tds::decodeColMetadata(r);
        } else if (token == tds::kTokRow) {
            out.rows.push_back(tds::decodeRow(r, columns));
        } else {
            ADD_FAILURE() << "unexpected token " << int(token);
            break;
        }
    }
    return out;
}

// Sends one call and reads its reply; no tokens when the connection ended instead.
ReplyTokens rpcReply(RawClient& client, std::uint16_t procId, std::vector<tds::RpcParam> params) {
    tds::RpcRequest rpc;
    rpc.procId = procId;
    rpc.params = std::move(params);
    client.sendMessage(tds::kRpc, tds::encodeRpc(rpc));
    const auto m = client.reply();
    return m ? readReply(*m) : ReplyTokens{};
}

} // namespace

// A bulk load on the wire: INSERT BULK, the rows as a message of their own, one DONE with the
// count; a column type the sandbox does not read is an error, and the connection goes on.
TEST(SandboxWire, BulkLoadRowsAndAnUnreadableTypeKeepTheConnection) {
    RawClient client(sandboxPort());
    logIn(client);
    const auto batch = [&](const std::u16string& sql) {
        client.sendMessage(tds::kSqlBatch, tds::encodeSqlBatch({sql}));
        auto m = client.reply();
        EXPECT_TRUE(m);
        return m ? readReply(*m) : ReplyTokens{};
    };
    EXPECT_TRUE(batch(u"CREATE TABLE #wire_bulk (a int, b nvarchar(5))").errors.empty());
    EXPECT_TRUE(batch(u"INSERT BULK #wire_bulk (a int, b nvarchar(5))").errors.empty());
    tds::BulkLoad load;
    load.columns = {{{tds::kIntN, 4}, tds::kFlagNullable, u"a"},
                    {{tds::kNVarChar, 10}, tds::kFlagNullable, u"b"}};
    load.rows = {{std::int64_t{1}, std::u16string(u"x")}, {std::int64_t{2}, tds::Value{}}};
    tds::Writer w;
    load.encode(w);
    client.sendMessage(tds::kBulkLoad, w.bytes());
    auto m = client.reply();
    ASSERT_TRUE(m);
    const ReplyTokens loaded = readReply(*m);
    EXPECT_TRUE(loaded.errors.empty());
    EXPECT_EQ(loaded.count, 2u);

    EXPECT_TRUE(batch(u"INSERT BULK #wire_bulk (a int)").errors.empty());
    const tds::Bytes fixedInt = {0x81, 0x01, 0x00, 0,    0,    0,    0,    0x09, 0x00,
                                 0x38, 0x01, 'a',  0x00, 0xD1, 0x05, 0x00, 0x00, 0x00};
    client.sendMessage(tds::kBulkLoad, fixedInt);
    m = client.reply();
    ASSERT_TRUE(m) << "the connection stays";
    EXPECT_EQ(readReply(*m).errors, std::vector<std::int32_t>{40000});
    EXPECT_TRUE(batch(u"DROP TABLE #wire_bulk").errors.empty()) << "and answers the next batch";
}

// Several calls in one message, as a driver sends an array of parameters: each runs, each ends
// with its DONEPROC (all but the last marked more), in one reply.
TEST(SandboxWire, SeveralCallsInOneMessageAreEachAnswered) {
    RawClient client(sandboxPort());
    logIn(client);
    client.sendMessage(tds::kSqlBatch, tds::encodeSqlBatch({u"CREATE TABLE #wire_calls (a int)"}));
    ASSERT_TRUE(client.reply());
    const auto call = [](std::int64_t value) {
        tds::RpcRequest rpc;
        rpc.procId = 10; // sp_executesql
        rpc.params = {
            {u"", 0, {tds::kNVarChar, 200}, std::u16string(u"INSERT INTO #wire_calls VALUES (@a)")},
            {u"", 0, {tds::kNVarChar, 200}, std::u16string(u"@a int")},
            {u"@a", 0, {tds::kIntN, 4}, value}};
        return tds::encodeRpc(rpc);
    };
    tds::Bytes message = call(1);
    for (const std::int64_t v : {2, 3}) {
        const tds::Bytes next = call(v);
        message.push_back(0xFF);
        message.insert(message.end(), next.begin() + (next[0] | (next[1] << 8)), next.end());
    }
    client.sendMessage(tds::kRpc, message);
    const auto m = client.reply();
    ASSERT_TRUE(m);
    const ReplyTokens r = readReply(*m);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.procs, (std::vector<std::uint16_t>{tds::kDoneMore, tds::kDoneMore, 0}));
    client.sendMessage(tds::kSqlBatch, tds::encodeSqlBatch({u"SELECT COUNT(*) FROM #wire_calls"}));
    ASSERT_TRUE(client.reply()) << "the connection goes on";
}

// Prepared statements are numbered 1, 2, ... on each connection and kept until sp_unprepare; a
// handle let go is error 8179, whether it is run or let go again.
TEST(SandboxWire, PreparedStatementsAreKeptByHandle) {
    RawClient client(sandboxPort());
    logIn(client);
    const auto integer = [](std::int64_t v) { return tds::RpcParam{u"", 0, {tds::kIntN, 4}, v}; };
    const auto prepare = [&](const char16_t* declarations, const char16_t* statement) {
        const tds::TypeInfo text{tds::kNVarChar, 200};
        return rpcReply(client, 11,
                        {{u"@handle", 0x01, {tds::kIntN, 4}, std::monostate{}},
                         {u"", 0, text, std::u16string(declarations)},
                         {u"", 0, text, std::u16string(statement)}});
    };
    EXPECT_EQ(prepare(u"", u"SELECT 1").returned, std::vector<tds::Value>{std::int64_t{1}});
    EXPECT_EQ(prepare(u"@a int", u"SELECT @a").returned, std::vector<tds::Value>{std::int64_t{2}});
    const ReplyTokens run = rpcReply(client, 12, {integer(2), integer(7)});
    EXPECT_TRUE(run.errors.empty());
    EXPECT_EQ(run.rows, (std::vector<std::vector<tds::Value>>{{std::int64_t{7}}}));
    EXPECT_TRUE(rpcReply(client, 15, {integer(1)}).errors.empty());
    EXPECT_EQ(rpcReply(client, 15, {integer(1)}).errors, std::vector<std::int32_t>{8179});
    EXPECT_EQ(rpcReply(client, 12, {integer(1)}).errors, std::vector<std::int32_t>{8179});
    EXPECT_TRUE(rpcReply(client, 12, {integer(2), integer(8)}).errors.empty()) << "the other stays";
}

// An output decimal goes back at the scale of the type the client sent, rounded once from the
// declared scale: 0.149 declared decimal(10,3) is 0.1 as decimal(10,1), not 0.15 rounded again.
TEST(SandboxWire, AnOutputDecimalIsRoundedOnceToTheClientsScale) {
    RawClient client(sandboxPort());
    logIn(client);
    const ReplyTokens r =
        rpcReply(client, 10, // sp_executesql
                 {{u"", 0, {tds::kNVarChar, 200}, std::u16string(u"SET @d = 0.149")},
                  {u"", 0, {tds::kNVarChar, 200}, std::u16string(u"@d decimal(10,3) OUTPUT")},
                  {u"@d", 0x01, {tds::kDecimalN, 5, 10, 1}, tds::Value{}}});
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.returned, std::vector<tds::Value>{tds::Decimal{1}});
}

// A value that runs past the message's end is refused as a server refuses it, naming the parameter
// and its type in hexadecimal, and the connection goes on.
TEST(SandboxWire, AValuePastTheMessagesEndIsRefusedByName) {
    RawClient client(sandboxPort());
    logIn(client);
    tds::RpcRequest rpc;
    rpc.procId = 10; // sp_executesql
    rpc.params = {{u"", 0, {tds::kNVarChar, 200}, std::u16string(u"SELECT @a")},
                  {u"", 0, {tds::kNVarChar, 200}, std::u16string(u"@a nvarchar(10)")},
                  {u"@a", 0, {tds::kNVarChar, 20}, std::u16string(u"abc")}};
    tds::Bytes cut = tds::encodeRpc(rpc);
    cut.resize(cut.size() - 2);
    client.sendMessage(tds::kRpc, cut);
    const auto m = client.reply();
    ASSERT_TRUE(m);
    const ReplyTokens r = readReply(*m);
    ASSERT_EQ(r.errors, std::vector<std::int32_t>{8016});
    EXPECT_NE(r.errorTexts[0].find("Parameter 3 (\"@a\"): Data type 0xE7 has an invalid"),
              std::string::npos)
        << r.errorTexts[0];
    client.sendMessage(tds::kSqlBatch, tds::encodeSqlBatch({u"SELECT 1"}));
    ASSERT_TRUE(client.reply()) << "the connection goes on";
}
