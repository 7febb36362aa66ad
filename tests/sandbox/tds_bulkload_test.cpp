// The rows of a bulk load as clients send them: encoded and decoded side by side, FreeTDS's own
// bytes, NULLs by bitmap, and corrupt messages.
#include "tds/bulkload.h"
#include "tds/wire.h"

#include <gtest/gtest.h>

namespace tds {
namespace {

BulkLoad sample() {
    BulkLoad b;
    b.columns = {{{kNVarChar, 20}, kFlagNullable, u"n"},
                 {{kIntN, 4}, kFlagNullable, u"v"},
                 {{kDecimalN, 5, 9, 2}, kFlagNullable, u"d"},
                 {{kNText, 0}, kFlagNullable, u"old"}};
    b.rows = {
        {std::u16string(u"\u00e9t\u00e9"), std::int64_t{7}, Decimal{1250}, std::u16string(u"x")},
        {Value{}, Value{}, Value{}, Value{}}};
    return b;
}

TEST(BulkLoad, RoundTripAtBothVersionsWithALongTextColumnsTableName) {
    for (const std::uint32_t version : {kTds71, kTds74}) {
        Writer w;
        sample().encode(w, version);
        const BulkLoad back = BulkLoad::decode(w.bytes(), version);
        EXPECT_EQ(back.columns, sample().columns);
        EXPECT_EQ(back.rows, sample().rows);
    }
}

// What FreeTDS's freebcp sent for two rows of (nvarchar(10), int): no DONE token at the end.
TEST(BulkLoad, FreeTdsRowsEndWithTheMessage) {
    const Bytes sent = {0x81, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x00, 0xe7, 0x14,
                        0x00, 0x09, 0x04, 0xd0, 0x00, 0x34, 0x01, 0x6e, 0x00, 0x00, 0x00,
                        0x00, 0x00, 0x09, 0x00, 0x26, 0x04, 0x01, 0x76, 0x00, 0xd1, 0x04,
                        0x00, 0x63, 0x00, 0x31, 0x00, 0x04, 0x05, 0x00, 0x00, 0x00, 0xd1,
                        0x04, 0x00, 0x63, 0x00, 0x32, 0x00, 0x04, 0x06, 0x00, 0x00, 0x00};
    const BulkLoad b = BulkLoad::decode(sent);
    ASSERT_EQ(b.columns.size(), 2u);
    EXPECT_EQ(b.columns[0].name, u"n");
    EXPECT_EQ(b.columns[1].type, (TypeInfo{kIntN, 4}));
    ASSERT_EQ(b.rows.size(), 2u);
    EXPECT_EQ(b.rows[1][0], Value{std::u16string(u"c2")});
    EXPECT_EQ(b.rows[1][1], Value{std::int64_t{6}});
}

// NBCROW: a bitmap marks the NULLs, and only the other values follow.
TEST(BulkLoad, NullBitmapRows) {
    Writer w;
    w.u8(0x81);
    w.u16le(2);
    for (const char16_t* name : {u"a", u"b"}) {
        w.u32le(0);
        w.u16le(kFlagNullable);
        encodeTypeInfo(w, {kIntN, 4});
        w.bVarchar(name);
    }
    w.u8(0xD2);
    w.u8(0x01); // a is NULL
    encodeValue(w, {kIntN, 4}, std::int64_t{9});
    w.u8(0xFD);
    w.raw(Bytes(12, 0));
    const BulkLoad b = BulkLoad::decode(w.bytes());
    ASSERT_EQ(b.rows.size(), 1u);
    EXPECT_EQ(b.rows[0], (std::vector<Value>{Value{}, std::int64_t{9}}));
}

TEST(BulkLoad, CorruptMessagesAreProtocolErrors) {
    Writer w;
    sample().encode(w);
    Bytes cut = w.bytes();
    cut.resize(cut.size() / 2);
    EXPECT_THROW(BulkLoad::decode(cut), ProtocolError);
    Bytes noMetadata = w.bytes();
    noMetadata[0] = 0xD1;
    EXPECT_THROW(BulkLoad::decode(noMetadata), ProtocolError);
    Bytes strayToken = w.bytes();
    strayToken.insert(strayToken.end() - 13, 0xAA);
    EXPECT_THROW(BulkLoad::decode(strayToken), ProtocolError);
    EXPECT_THROW(BulkLoad::decode(Bytes{0x81, 0x00, 0x00}), ProtocolError) << "no columns";
}

} // namespace
} // namespace tds
