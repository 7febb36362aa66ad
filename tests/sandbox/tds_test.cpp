// Round trips of every message and token the sandbox speaks, and what a corrupt packet does.
#include "tds_client.h"

#include "tds/colmetadata.h"
#include "tds/done.h"
#include "tds/envchange.h"
#include "tds/login7.h"
#include "tds/loginack.h"
#include "tds/message.h"
#include "tds/older_versions.h"
#include "tds/packet.h"
#include "tds/prelogin.h"
#include "tds/request.h"
#include "tds/returnstatus.h"
#include "tds/returnvalue.h"
#include "tds/row.h"
#include "tds/tokens.h"

#include <gtest/gtest.h>

using namespace tds;

namespace {

// Feeds a byte string to a MessageReader as a socket would.
MessageReader::Source from(const Bytes& stream) {
    auto pos = std::make_shared<std::size_t>(0);
    return [stream, pos](std::uint8_t* into, std::size_t n) {
        if (*pos + n > stream.size()) return false;
        std::copy(stream.begin() + *pos, stream.begin() + *pos + n, into);
        *pos += n;
        return true;
    };
}

ColumnInfo of(TypeInfo t) {
    ColumnInfo c;
    c.type = t;
    return c;
}

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

} // namespace

// The framing the server sends its replies with, fed as a session feeds it: a piece, a look for
// full packets, another piece, and so on.
struct Framed {
    Bytes wire;
    std::vector<Bytes> packets;
    PacketWriter writer{kReply, 51, [this](const std::uint8_t* data, std::size_t n) {
                            wire.insert(wire.end(), data, data + n);
                            packets.emplace_back(data, data + n);
                        }};
};

TEST(Packet, TheServersRepliesGoOutInFullPacketsAsTheyFill) {
    Framed f;
    Bytes payload;
    for (int piece = 0; piece < 40; ++piece) {
        for (int i = 0; i < 250; ++i) {
            const auto b = static_cast<std::uint8_t>(piece * 31 + i);
            f.writer.body().u8(b);
            payload.push_back(b);
        }
        f.writer.flushFull();
    }
    EXPECT_EQ(f.packets.size(), 2u) << "two full packets went out before the message ended";
    f.writer.endMessage();
    ASSERT_EQ(f.packets.size(), 3u);
    for (std::size_t i = 0; i < f.packets.size(); ++i) {
        Reader r(f.packets[i]);
        const PacketHeader h = PacketHeader::decode(r);
        EXPECT_EQ(h.type, kReply);
        EXPECT_EQ(h.length, f.packets[i].size());
        EXPECT_EQ(h.spid, 51);
        EXPECT_EQ(h.packetId, i + 1);
        EXPECT_EQ(h.status, i + 1 == f.packets.size() ? kStatusEom : 0);
        if (i + 1 < f.packets.size()) {
            EXPECT_EQ(h.length, 4096);
        }
    }
    MessageReader reader(from(f.wire));
    Message m;
    ASSERT_TRUE(reader.next(m));
    EXPECT_EQ(m.payload, payload);
    EXPECT_FALSE(reader.next(m)) << "clean end of stream";
}

TEST(Packet, EachReplyNumbersItsPacketsAfreshAndAnEmptyOneIsAHeader) {
    Framed f;
    f.writer.setPacketSize(512);
    f.writer.body().raw(Bytes(300 * 504, 7)); // 300 packets: the number wraps past 255
    f.writer.endMessage();
    ASSERT_EQ(f.packets.size(), 301u) << "300 full packets and an end-of-message header";
    EXPECT_EQ(f.packets[254][6], 255);
    EXPECT_EQ(f.packets[255][6], 0);
    EXPECT_EQ(f.packets[300].size(), kHeaderSize);
    EXPECT_EQ(f.packets[300][1], kStatusEom);
    f.writer.body().u8(0xFD);
    f.writer.endMessage();
    EXPECT_EQ(f.packets.back()[6], 1) << "the next reply starts at 1 again";
    MessageReader reader(from(f.wire));
    reader.setMaxPacketSize(512);
    Message first, second;
    ASSERT_TRUE(reader.next(first));
    ASSERT_TRUE(reader.next(second));
    EXPECT_EQ(first.payload.size(), 300u * 504);
    EXPECT_EQ(second.payload, Bytes{0xFD});
}

TEST(Packet, CorruptPacketsAreProtocolErrors) {
    Message m;
    // length smaller than the header itself
    Bytes tooShort = {kSqlBatch, kStatusEom, 0x00, 0x04, 0, 0, 1, 0};
    EXPECT_THROW(MessageReader(from(tooShort)).next(m), ProtocolError);
    // length promises more bytes than arrive
    Bytes truncated = {kSqlBatch, kStatusEom, 0x00, 0x20, 0, 0, 1, 0, 'x', 0};
    EXPECT_THROW(MessageReader(from(truncated)).next(m), ProtocolError);
    // type changes in the middle of a message
    auto a = splitMessage(kSqlBatch, Bytes(5000, 1), 4096, 0);
    a[1][0] = kRpc;
    EXPECT_THROW(MessageReader(from(concat(a))).next(m), ProtocolError);
    // a packet larger than the negotiated size
    MessageReader strict(from(concat(splitMessage(kSqlBatch, Bytes(6000, 1), 8000, 0))));
    strict.setMaxPacketSize(4096);
    EXPECT_THROW(strict.next(m), ProtocolError);
    // the stream ends between two packets of one message
    auto cut = splitMessage(kSqlBatch, Bytes(5000, 1), 4096, 0);
    EXPECT_THROW(MessageReader(from(cut[0])).next(m), ProtocolError);
}

TEST(Prelogin, RoundTripAndServerReplyRefusesEncryption) {
    Prelogin reply = Prelogin::serverReply();
    Bytes b = reply.encode();
    EXPECT_EQ(b[0], kOptVersion);
    Prelogin back = Prelogin::decode(b);
    EXPECT_EQ(back.options, reply.options);
    EXPECT_EQ(back.options.at(kOptEncryption), Bytes{kEncryptNotSupported});
}

// The pre-login request of the protocol's published examples, header included.
TEST(Prelogin, ThePublishedExampleDecodesAndEncodesToTheSameBytes) {
    const Bytes packet = {0x12, 0x01, 0x00, 0x2F, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x1A, 0x00,
                          0x06, 0x01, 0x00, 0x20, 0x00, 0x01, 0x02, 0x00, 0x21, 0x00, 0x01, 0x03,
                          0x00, 0x22, 0x00, 0x04, 0x04, 0x00, 0x26, 0x00, 0x01, 0xFF, 0x09, 0x00,
                          0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0xB8, 0x0D, 0x00, 0x00, 0x01};
    MessageReader reader(from(packet));
    Message m;
    ASSERT_TRUE(reader.next(m));
    EXPECT_EQ(m.type, kPrelogin);
    const Prelogin p = Prelogin::decode(m.payload);
    EXPECT_EQ(p.options.at(kOptVersion), (Bytes{0x09, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(p.options.at(kOptEncryption), Bytes{0x01});
    EXPECT_EQ(p.options.at(kOptInstOpt), Bytes{0x00});
    EXPECT_EQ(p.options.at(kOptThreadId), (Bytes{0xB8, 0x0D, 0x00, 0x00}));
    EXPECT_EQ(p.options.at(kOptMars), Bytes{0x01});
    EXPECT_EQ(p.encode(), m.payload) << "the server's encoder lays the table out the same way";
}

TEST(Prelogin, OptionPointingOutsideTheMessageIsRejected) {
    Bytes b = {kOptEncryption, 0x00, 0x40, 0x00, 0x01, kOptTerminator};
    EXPECT_THROW(Prelogin::decode(b), ProtocolError);
    Bytes noTerminator = {kOptEncryption, 0x00, 0x06};
    EXPECT_THROW(Prelogin::decode(noTerminator), ProtocolError);
}

TEST(Login7, RoundTripUnscramblesThePassword) {
    Login7 l;
    l.userName = u"sa";
    l.password = u"p\u00e4ss;{w}rd\U0001F642";
    l.database = u"Demo";
    l.appName = u"rowlark";
    l.packetSize = 8192;
    Bytes b = encodeLogin7(l);
    // the password is not in clear text on the wire
    Writer clear;
    clear.ucs2(l.password);
    EXPECT_EQ(std::search(b.begin(), b.end(), clear.bytes().begin(), clear.bytes().end()), b.end());
    Login7 back = Login7::decode(b);
    EXPECT_EQ(back.userName, l.userName);
    EXPECT_EQ(back.password, l.password);
    EXPECT_EQ(back.database, l.database);
    EXPECT_EQ(back.appName, l.appName);
    EXPECT_EQ(back.packetSize, 8192u);
    EXPECT_EQ(back.tdsVersion, 0x74000004u);
}

// The LOGIN7 record of the protocol's published examples (TDS 7.2, no password).
TEST(Login7, ThePublishedExampleDecodes) {
    const Bytes packet = {
        0x10, 0x01, 0x00, 0x90, 0x00, 0x00, 0x01, 0x00, 0x88, 0x00, 0x00, 0x00, 0x02, 0x00, 0x09,
        0x72, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0xE0, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x04, 0x00, 0x00, 0x5E,
        0x00, 0x08, 0x00, 0x6E, 0x00, 0x02, 0x00, 0x72, 0x00, 0x00, 0x00, 0x72, 0x00, 0x07, 0x00,
        0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x04, 0x00, 0x88, 0x00, 0x00,
        0x00, 0x88, 0x00, 0x00, 0x00, 0x00, 0x50, 0x8B, 0xE2, 0xB7, 0x8F, 0x88, 0x00, 0x00, 0x00,
        0x88, 0x00, 0x00, 0x00, 0x88, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x73, 0x00, 0x6B,
        0x00, 0x6F, 0x00, 0x73, 0x00, 0x74, 0x00, 0x6F, 0x00, 0x76, 0x00, 0x31, 0x00, 0x73, 0x00,
        0x61, 0x00, 0x4F, 0x00, 0x53, 0x00, 0x51, 0x00, 0x4C, 0x00, 0x2D, 0x00, 0x33, 0x00, 0x32,
        0x00, 0x4F, 0x00, 0x44, 0x00, 0x42, 0x00, 0x43, 0x00};
    MessageReader reader(from(packet));
    Message m;
    ASSERT_TRUE(reader.next(m));
    EXPECT_EQ(m.type, kLogin7);
    const Login7 l = Login7::decode(m.payload);
    EXPECT_EQ(l.tdsVersion, 0x72090002u);
    EXPECT_EQ(l.packetSize, 4096u);
    EXPECT_EQ(l.optionFlags1, 0xE0);
    EXPECT_EQ(l.hostName, u"skostov1");
    EXPECT_EQ(l.userName, u"sa");
    EXPECT_EQ(l.password, u"");
    EXPECT_EQ(l.appName, u"OSQL-32");
    EXPECT_EQ(l.serverName, u"");
    EXPECT_EQ(l.libraryName, u"ODBC");
    EXPECT_EQ(l.database, u"");
}

TEST(Login7, KnownScrambledByte) {
    Bytes b = {'a'}; // 0x61 -> swap nibbles 0x16 -> xor 0xA5 = 0xB3
    scramblePassword(b);
    EXPECT_EQ(b[0], 0xB3);
    unscramblePassword(b);
    EXPECT_EQ(b[0], 'a');
}

TEST(Login7, NameOutsideTheRecordIsRejected) {
    Login7 l;
    l.userName = u"sa";
    Bytes b = encodeLogin7(l);
    b[40] = 0xF0; // user name offset far past the end
    b[41] = 0x00;
    EXPECT_THROW(Login7::decode(b), ProtocolError);
    EXPECT_THROW(Login7::decode(Bytes(20, 0)), ProtocolError);
}

TEST(ColMetadata, RoundTripOfEveryType) {
    std::vector<ColumnInfo> cols = {
        {{kIntN, 4}, kFlagIdentity, u"id"},
        {{kNVarChar, 100}, kFlagNullable | kFlagUpdatable, u"name \u00e9"},
        {{kBigVarChar, kPlpMaxLen}, kFlagNullable, u"notes"},
        {{kDecimalN, 9, 12, 2}, kFlagUpdatable, u"price"},
        {{kDateN, 3}, kFlagNullable, u"d"},
        {{kDateTime2N, 0, 0, 3}, kFlagNullable, u"t"},
        {{kBigVarBinary, 16}, kFlagNullable, u"raw"},
        {{kGuid, 16}, kFlagNullable, u"g"},
    };
    Writer w;
    encodeColMetadata(w, cols);
    Reader r(w.bytes());
    ASSERT_EQ(r.u8(), kTokColMetadata);
    EXPECT_EQ(decodeColMetadata(r), cols);
    EXPECT_TRUE(r.atEnd());
}

TEST(Row, RoundTripOfValues) {
    std::vector<ColumnInfo> cols = {of({kIntN, 1}),
                                    of({kIntN, 2}),
                                    of({kIntN, 4}),
                                    of({kIntN, 8}),
                                    of({kBitN, 1}),
                                    of({kFltN, 8}),
                                    of({kFltN, 4}),
                                    of({kDecimalN, 17, 38, 4}),
                                    of({kMoneyN, 8}),
                                    of({kMoneyN, 4}),
                                    of({kNVarChar, 40}),
                                    of({kBigVarChar, 40}),
                                    of({kNVarChar, kPlpMaxLen}),
                                    of({kBigVarBinary, kPlpMaxLen}),
                                    of({kBigVarBinary, 8}),
                                    of({kDateN, 3}),
                                    of({kTimeN, 0, 0, 7}),
                                    of({kDateTime2N, 0, 0, 7}),
                                    of({kDateTimN, 8}),
                                    of({kGuid, 16}),
                                    of({kIntN, 4}),
                                    of({kNVarChar, 40})};
    __int128 big = 1;
    for (int i = 0; i < 37; ++i)
        big *= 10;
    std::vector<Value> row = {std::int64_t{255},
                              std::int64_t{-32768},
                              std::int64_t{-2147483648LL},
                              std::int64_t{INT64_MIN},
                              std::int64_t{1},
                              0.1 + 0.2,
                              1.5,
                              Decimal{-big},
                              Decimal{-92233720368547758LL},
                              Decimal{2147483647},
                              std::u16string(u"\u4e2d\u6587 \U0001F600"),
                              std::u16string(u"caf\u00e9 \u20ac"),
                              std::u16string(5000, u'x'),
                              Bytes(9000, 0xAB),
                              Bytes{},
                              DateTime{738000, 0},
                              DateTime{0, 86399999999900},
                              DateTime{1, 123456700},
                              DateTime{kDays1900 + 45000, 3'000'000'000},
                              Bytes(16, 7),
                              std::monostate{},
                              std::u16string()};
    Writer w;
    encodeRow(w, cols, row);
    Reader r(w.bytes());
    ASSERT_EQ(r.u8(), kTokRow);
    auto back = decodeRow(r, cols);
    EXPECT_TRUE(r.atEnd());
    EXPECT_EQ(back, row);
}

TEST(Row, NullIsNotEmpty) {
    std::vector<ColumnInfo> cols = {of({kNVarChar, 10}), of({kNVarChar, 10}),
                                    of({kNVarChar, kPlpMaxLen}), of({kNVarChar, kPlpMaxLen})};
    std::vector<Value> row = {std::monostate{}, std::u16string(), std::monostate{},
                              std::u16string()};
    Writer w;
    encodeRow(w, cols, row);
    Reader r(w.bytes());
    r.u8();
    EXPECT_EQ(decodeRow(r, cols), row);
}

TEST(Row, DatetimeRoundsToThreeHundredths) {
    Writer w;
    encodeValue(w, {kDateTimN, 8}, DateTime{kDays1900, 1'004'000'000}); // 00:00:01.004
    Reader r(w.bytes());
    auto v = std::get<DateTime>(decodeValue(r, {kDateTimN, 8}));
    EXPECT_EQ(v.nanos, 1'003'333'333); // .003, the nearest tick
}

TEST(Row, SmalldatetimeRoundsToTheMinute) {
    auto shown = [](DateTime d) {
        Writer w;
        encodeValue(w, {kDateTimN, 4}, d);
        Reader r(w.bytes());
        return std::get<DateTime>(decodeValue(r, {kDateTimN, 4}));
    };
    const std::int64_t minute = 60'000'000'000, second = 1'000'000'000;
    EXPECT_EQ(shown({kDays1900 + 5, 10 * minute + 29'998'000'000}).nanos, 10 * minute);
    EXPECT_EQ(shown({kDays1900 + 5, 10 * minute + 29'999'000'000}).nanos, 11 * minute);
    EXPECT_EQ(shown({kDays1900 + 5, 10 * minute + 59 * second}).nanos, 11 * minute);
    const DateTime midnight = shown({kDays1900 + 5, 1439 * minute + 45 * second});
    EXPECT_EQ(midnight.days, kDays1900 + 6) << "23:59:45 is the next day's 00:00";
    EXPECT_EQ(midnight.nanos, 0);
}

TEST(Row, ValueThatDoesNotFitItsTypeIsRefused) {
    Writer w;
    EXPECT_THROW(encodeValue(w, {kIntN, 4}, std::u16string(u"abc")), std::invalid_argument);
    EXPECT_THROW(encodeValue(w, {kNVarChar, 4}, std::u16string(u"abc")), std::invalid_argument);
}

TEST(Row, WindowsCodePageForVarchar) {
    Writer w;
    appendCp1252(w, u"\u20ac\u00e9\u4e2d");
    EXPECT_EQ(w.bytes(), (Bytes{0x80, 0xE9, '?'}));
    EXPECT_EQ(fromCp1252({0x80, 0xE9}), u"\u20ac\u00e9");
}

TEST(Tokens, DoneRoundTrip) {
    Done d{kTokDoneInProc, kDoneMore | kDoneCount, 0xC1, 1234567890123ull};
    Writer w;
    d.encode(w);
    EXPECT_EQ(w.size(), 13u);
    Reader r(w.bytes());
    std::uint8_t token = r.u8();
    EXPECT_EQ(decodeDone(r, token), d);
    // The final DONE of the protocol's published bulk-load example.
    Writer published;
    Done{}.encode(published);
    EXPECT_EQ(published.bytes(), (Bytes{0xFD, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    Writer counted;
    Done{kTokDone, kDoneCount, 0xC1, 2}.encode(counted);
    EXPECT_EQ(counted.bytes(), (Bytes{0xFD, 0x10, 0x00, 0xC1, 0x00, 2, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(Tokens, MessageRoundTripAndLengthCheck) {
    ServerMessage m;
    m.number = 208;
    m.text = u"Invalid object name 'x'.";
    m.server = u"S";
    m.line = 3;
    Writer w;
    m.encode(w);
    Reader r(w.bytes());
    ASSERT_EQ(r.u8(), kTokError);
    EXPECT_EQ(decodeServerMessage(r, true), m);

    Bytes bad = w.bytes();
    bad[1] += 2; // declared length longer than the fields
    bad.push_back(0);
    bad.push_back(0);
    Reader rb(bad);
    rb.u8();
    EXPECT_THROW(decodeServerMessage(rb, true), ProtocolError);
}

TEST(Tokens, EnvChangeRoundTrips) {
    EnvChange db;
    db.type = kEnvDatabase;
    db.newText = u"Demo";
    db.oldText = u"master";
    EnvChange collation;
    collation.type = kEnvCollation;
    collation.newBytes.assign(std::begin(kCollation), std::end(kCollation));
    for (const auto& e : {db, collation}) {
        Writer w;
        e.encode(w);
        Reader r(w.bytes());
        ASSERT_EQ(r.u8(), kTokEnvChange);
        EXPECT_EQ(decodeEnvChange(r), e);
    }
    Writer w;
    collation.encode(w);
    EXPECT_EQ(w.bytes(), (Bytes{0xE3, 0x08, 0x00, 0x07, 0x05, 0x09, 0x04, 0xD0, 0x00, 0x34, 0x00}));
}

TEST(Tokens, LoginAckAndReturnStatus) {
    LoginAck a;
    Writer w;
    a.encode(w);
    Reader r(w.bytes());
    ASSERT_EQ(r.u8(), kTokLoginAck);
    EXPECT_EQ(decodeLoginAck(r), a);

    Writer s;
    encodeReturnStatus(s, -6);
    Reader rs(s.bytes());
    ASSERT_EQ(rs.u8(), kTokReturnStatus);
    EXPECT_EQ(decodeReturnStatus(rs), -6);
}

// An output parameter's value, as SQL Server sends the handle of sp_prepare: ordinal, name, status
// 1, the user type (two bytes before 7.2, four after), flags, then the type and value of a column.
TEST(Tokens, ReturnValueRoundTripAndBytes) {
    const ReturnValue v{0, u"@h", 0x01, {kIntN, 4}, std::int64_t{7}};
    Writer w;
    v.encode(w, kTds74);
    const Bytes want74 = {0xAC, 0, 0, 2, '@',  0, 'h', 0, 0x01, 0, 0,
                          0,    0, 1, 0, 0x26, 4, 4,   7, 0,    0, 0};
    EXPECT_EQ(w.bytes(), want74);
    Reader r(w.bytes());
    const ReturnValue back = ReturnValue::decode(r, kTds74);
    EXPECT_EQ(back.name, u"@h");
    EXPECT_EQ(back.status, 0x01);
    EXPECT_EQ(back.value, Value{std::int64_t{7}});
    EXPECT_TRUE(r.atEnd());

    Writer old;
    v.encode(old, kTds71);
    EXPECT_EQ(old.bytes().size(), want74.size() - 2) << "a two-byte user type before 7.2";
    Reader ro(old.bytes());
    EXPECT_EQ(ReturnValue::decode(ro, kTds71).value, Value{std::int64_t{7}});

    Bytes cut = w.bytes();
    cut.pop_back();
    Reader rc(cut);
    EXPECT_THROW(ReturnValue::decode(rc, kTds74), ProtocolError);
}

TEST(Requests, SqlBatchRoundTripWithAndWithoutHeaders) {
    SqlBatch b{u"SELECT N'\u00e9' ; SELECT 2"};
    EXPECT_EQ(SqlBatch::decode(encodeSqlBatch(b)).text, b.text);
    Writer bare; // old clients send the text alone
    bare.ucs2(u"SELECT 1");
    EXPECT_EQ(SqlBatch::decode(bare.bytes()).text, u"SELECT 1");
}

TEST(Requests, RpcRoundTripAndParameterLookup) {
    RpcRequest rpc;
    rpc.procName = u"sp_tables";
    rpc.params.push_back({u"@table_name", 0, {kNVarChar, 200}, std::u16string(u"Ord%")});
    rpc.params.push_back({u"@table_type", 0, {kNVarChar, 200}, std::u16string(u"'TABLE','VIEW'")});
    RpcRequest back = RpcRequest::decodeAll(encodeRpc(rpc)).front();
    EXPECT_EQ(back.procName, u"sp_tables");
    ASSERT_EQ(back.params.size(), 2u);
    EXPECT_EQ(back.text(u"@TABLE_NAME"), "Ord%");
    EXPECT_EQ(back.text(u"@table_type"), "'TABLE','VIEW'");
    EXPECT_FALSE(back.text(u"@table_owner").has_value());

    // A value that runs past the message's end (as tedious sends a short binary(n)): the call is
    // still read, to be refused; a message cut before that is malformed.
    Bytes cut = encodeRpc(rpc);
    cut.resize(cut.size() - 3);
    back = RpcRequest::decodeAll(cut).front();
    EXPECT_FALSE(back.paramsComplete);
    EXPECT_EQ(back.badLength, 2u);
    EXPECT_EQ(back.badName, u"@table_type");
    EXPECT_EQ(back.badType, kNVarChar);
    cut.resize(10);
    EXPECT_THROW(RpcRequest::decodeAll(cut), ProtocolError);
}

TEST(Requests, TransactionManagerRoundTrip) {
    for (auto req : {kTmBegin, kTmCommit, kTmRollback})
        for (bool again : {false, true}) {
            TransactionManager back = TransactionManager::decode(
                encodeTransactionManager(TransactionManager{req, again, u"t\u00e4", u"next"}));
            EXPECT_EQ(back.request, req);
            EXPECT_EQ(back.beginAnother, again && req != kTmBegin);
            EXPECT_EQ(back.name, u"t\u00e4");
            EXPECT_EQ(back.newName, again && req != kTmBegin ? u"next" : u"");
        }
}

// A named commit as a client sends it: the name's length byte counts bytes (6 for "abc").
TEST(Requests, ANamedCommitReadsItsNameByBytes) {
    const Bytes named = {0x16, 0, 0, 0, 0x12, 0, 0,    0,    0x02, 0,   0, 0,   0, 0,   0, 0,
                         0,    0, 1, 0, 0,    0, 0x07, 0x00, 0x06, 'a', 0, 'b', 0, 'c', 0, 0x00};
    const TransactionManager tm = TransactionManager::decode(named);
    EXPECT_EQ(tm.request, kTmCommit);
    EXPECT_EQ(tm.name, u"abc");
    EXPECT_FALSE(tm.beginAnother);
    Bytes odd = named;
    odd[24] = 5;
    EXPECT_THROW(TransactionManager::decode(odd), ProtocolError);
}

// A request past the 64 MiB cap is read to its end and answered, not a reason to hang up.
TEST(Packet, AMessagePastTheCapIsReadToItsEndAndMarked) {
    const std::size_t packet = 32767, room = packet - kHeaderSize;
    const std::size_t packets = kMaxMessage / room + 2;
    std::size_t sent = 0;
    Bytes current;
    std::size_t at = 0;
    auto nextPacket = [&] {
        Writer w;
        const bool last = sent + 1 == packets;
        PacketHeader h{kSqlBatch,
                       static_cast<std::uint8_t>(last ? kStatusEom : 0),
                       static_cast<std::uint16_t>(packet),
                       51,
                       static_cast<std::uint8_t>(sent),
                       0};
        h.encode(w);
        w.bytes().resize(packet, 'x');
        ++sent;
        current = std::move(w.bytes());
        at = 0;
    };
    MessageReader reader([&](std::uint8_t* into, std::size_t n) {
        if (at == current.size()) {
            if (sent == packets) return false;
            nextPacket();
        }
        std::copy_n(current.begin() + static_cast<std::ptrdiff_t>(at), n, into);
        at += n;
        return true;
    });
    Message m;
    ASSERT_TRUE(reader.next(m));
    EXPECT_TRUE(m.oversized);
    EXPECT_TRUE(m.payload.empty());
    EXPECT_EQ(sent, packets) << "every packet of it was read";
    EXPECT_FALSE(reader.next(m)) << "and the stream goes on from the next message";
}

// What changes with the version a client logs in with.
TEST(Versions, OlderClientsGetTheFormsOfTheirVersion) {
    EXPECT_EQ(negotiateVersion(kTds71), kTds71);
    EXPECT_EQ(negotiateVersion(0x70000000), kTds71) << "7.0 is answered as 7.1";
    EXPECT_EQ(negotiateVersion(0x730B0003), kTds73B);
    EXPECT_EQ(negotiateVersion(0x75000000), kTds74);

    Writer done71, done74;
    Done{kTokDone, kDoneCount, 0xC1, 7}.encode(done71, kTds71);
    Done{kTokDone, kDoneCount, 0xC1, 7}.encode(done74, kTds74);
    EXPECT_EQ(done71.bytes(), (Bytes{0xFD, 0x10, 0x00, 0xC1, 0x00, 7, 0, 0, 0}))
        << "a four-byte count before 7.2";
    EXPECT_EQ(done74.size(), 13u);

    ServerMessage m;
    m.text = u"x";
    Writer message71, message74;
    m.encode(message71, kTds71);
    m.encode(message74, kTds74);
    EXPECT_EQ(message74.size() - message71.size(), 2u) << "a two-byte line number before 7.2";

    Writer columns71, columns74;
    encodeColMetadata(columns71, {of({kIntN, 4})}, kTds71);
    encodeColMetadata(columns74, {of({kIntN, 4})}, kTds74);
    EXPECT_EQ(columns74.size() - columns71.size(), 2u) << "a two-byte user type before 7.2";
}

TEST(Versions, NewerTypesGoOutAsTheOlderClientKnowsThem) {
    const TypeInfo date{kDateN, 3}, time{kTimeN, 0, 0, 3}, stamp{kDateTime2N, 0, 0, 7};
    EXPECT_EQ(typeForVersion(date, kTds72), (TypeInfo{kNVarChar, 20}));
    EXPECT_EQ(typeForVersion(time, kTds72), (TypeInfo{kNVarChar, 24}));
    EXPECT_EQ(typeForVersion(stamp, kTds72), (TypeInfo{kNVarChar, 54}));
    EXPECT_EQ(typeForVersion(stamp, kTds73A), stamp);
    EXPECT_EQ(typeForVersion({kNVarChar, kPlpMaxLen}, kTds71).type, kNText);
    EXPECT_EQ(typeForVersion({kBigVarChar, kPlpMaxLen}, kTds71).type, kText);
    EXPECT_EQ(typeForVersion({kBigVarBinary, kPlpMaxLen}, kTds71).type, kImage);
    EXPECT_EQ(typeForVersion({kNVarChar, kPlpMaxLen}, kTds72).type, kNVarChar);

    const DateTime leapDay{738944, 13 * 3600'000'000'000LL + 5 * 60'000'000'000LL + 7'120'000'000};
    EXPECT_EQ(valueForVersion(stamp, typeForVersion(stamp, kTds71), leapDay),
              Value(std::u16string(u"2024-02-29 13:05:07.1200000")));
    EXPECT_EQ(dateTimeText(date, leapDay), u"2024-02-29");
    EXPECT_EQ(dateTimeText(time, leapDay), u"13:05:07.120");
    EXPECT_EQ(dateTimeText({kDateTime2N, 0, 0, 0}, DateTime{0, 0}), u"0001-01-01 00:00:00");

    // ntext in a row: a text pointer and a timestamp before the value; NULL has no pointer.
    Writer w;
    encodeValue(w, {kNText}, std::u16string(u"ab"));
    encodeValue(w, {kNText}, std::monostate{});
    Bytes want = {16};
    want.insert(want.end(), 24, 0);
    want.insert(want.end(), {4, 0, 0, 0, 'a', 0, 'b', 0, 0});
    EXPECT_EQ(w.bytes(), want);
}

// Several calls in one message (a client's array of parameters), each after a batch flag.
TEST(Rpc, SeveralCallsInOneMessage) {
    tds::RpcRequest first, second;
    first.procId = 10;
    second.procName = u"sp_unprepare";
    first.params = {{u"@a", 0, {tds::kIntN, 4}, std::int64_t{1}}};
    second.params = {{u"", 0, {tds::kIntN, 4}, std::int64_t{2}}};
    tds::Bytes payload = tds::encodeRpc(first);
    const tds::Bytes next = tds::encodeRpc(second);
    const std::size_t headers = next[0] | (next[1] << 8); // ALL_HEADERS: only the first has them
    for (const std::uint8_t flag : {0xFF, 0x80}) {
        tds::Bytes both = payload;
        both.push_back(flag);
        both.insert(both.end(), next.begin() + static_cast<std::ptrdiff_t>(headers), next.end());
        const auto calls = tds::RpcRequest::decodeAll(both);
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].procId, 10);
        EXPECT_EQ(calls[0].params.at(0).value, tds::Value{std::int64_t{1}});
        EXPECT_EQ(calls[1].procName, u"sp_unprepare");
        EXPECT_EQ(calls[1].params.at(0).value, tds::Value{std::int64_t{2}});
    }
    EXPECT_EQ(tds::RpcRequest::decodeAll(payload).size(), 1u);
}
