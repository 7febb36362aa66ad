// The parameters of sp_executesql and prepared statements: their declarations, the variables
// they become, and their values as literals.
#include "rpc_parameters.h"

#include <gtest/gtest.h>

namespace sandbox {
namespace {

tds::RpcParam param(const char16_t* name, tds::TypeInfo type, tds::Value value) {
    tds::RpcParam p;
    p.name = name;
    p.type = type;
    p.value = std::move(value);
    return p;
}

TEST(RpcParameters, DeclarationsReadAsTsqlAndTypeTheValues) {
    const auto d = parseDeclarations(u"@P1 decimal(10, 2),@P2 nvarchar(4) OUTPUT, @p3 AS int OUT");
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].name, "@P1");
    EXPECT_EQ(d[0].type.tsqlName(), "decimal(10,2)");
    EXPECT_FALSE(d[0].output);
    EXPECT_TRUE(d[1].output);
    EXPECT_TRUE(d[2].output);
    EXPECT_TRUE(parseDeclarations(u"").empty());
    EXPECT_THROW(parseDeclarations(u"@a int @b int"), SqlError);
    EXPECT_THROW(parseDeclarations(u"@a nosuchtype"), SqlError);

    const std::vector<tds::RpcParam> sent = {param(u"@P1", {tds::kNVarChar, 8}, u"1.5"),
                                             param(u"@p2", {tds::kNVarChar, 8}, std::monostate{}),
                                             param(u"@P3", {tds::kIntN, 4}, std::int64_t{3}),
                                             param(u"@extra", {tds::kIntN, 2}, std::int64_t{4})};
    const Variables vars = parameterVariables(d, sent);
    EXPECT_EQ(vars.at("@p1").type.tsqlName(), "decimal(10,2)") << "the declared type";
    EXPECT_EQ(vars.at("@p1").value, tds::Value{std::u16string(u"1.5")}) << "the value as sent";
    EXPECT_EQ(vars.at("@extra").type.tsqlName(), "smallint") << "undeclared: its wire type";
    try {
        parameterVariables(d, {sent[0], sent[1]});
        ADD_FAILURE() << "a declared parameter without a value";
    } catch (const SqlError& e) {
        EXPECT_EQ(e.number, 8178);
    }
}

TEST(RpcParameters, LiteralsOfEveryType) {
    EXPECT_EQ(literal({tds::kIntN, 4}, std::monostate{}), "NULL");
    EXPECT_EQ(literal({tds::kIntN, 8}, std::int64_t{-9007199254740993}), "-9007199254740993");
    EXPECT_EQ(literal({tds::kFltN, 8}, 0.1), "1.00000000000000006E-01");
    EXPECT_EQ(literal({tds::kDecimalN, 17, 38, 4}, tds::Decimal{-12345}), "-1.2345");
    EXPECT_EQ(literal({tds::kDecimalN, 17, 38, 4}, tds::Decimal{5}), "0.0005");
    EXPECT_EQ(literal({tds::kMoneyN, 8}, tds::Decimal{-123456789}), "-12345.6789");
    EXPECT_EQ(literal({tds::kBigVarChar, 40}, u"caf\u00e9"), "'caf\u00e9'");
    EXPECT_EQ(literal({tds::kBigVarBinary, 8}, tds::Bytes{0x00, 0xAB}), "0x00AB");
    EXPECT_EQ(literal({tds::kGuid, 16}, tds::Bytes{0xFF, 0x19, 0x96, 0x6F, 0x86, 0x8B, 0x11, 0xD0,
                                                   0xB4, 0x2D, 0x00, 0xC0, 0x4F, 0xC9, 0x64, 0xFF}),
              "'6F9619FF-8B86-D011-B42D-00C04FC964FF'")
        << "the first three groups travel little-endian";
    const tds::DateTime leapDay{738944, (13 * 3600 + 5 * 60 + 7) * 1'000'000'000LL + 120'000'000};
    EXPECT_EQ(literal({tds::kDateTimN, 8}, leapDay), "'2024-02-29 13:05:07.120'");
    EXPECT_EQ(literal({tds::kDateN, 3}, leapDay), "'2024-02-29'");
    EXPECT_EQ(literal({tds::kTimeN, 0, 0, 7}, leapDay), "'13:05:07.1200000'");
}

// sp_execute's values may come without names: each takes the name declared at its place, past
// the commas inside a type such as decimal(10, 2).
TEST(PreparedStatements, ValuesTakeTheirNamesFromTheDeclarations) {
    std::vector<tds::RpcParam> values = {param(u"", {tds::kIntN, 4}, std::int64_t{1}),
                                         param(u"", {tds::kNVarChar, 8}, u"x"),
                                         param(u"@own", {tds::kIntN, 4}, std::int64_t{3})};
    const auto named = namedByDeclaration(
        parseDeclarations(u"@P1 decimal(10, 2),@P2 nvarchar(4) OUTPUT, @P3 int"), values);
    ASSERT_EQ(named.size(), 3u);
    EXPECT_EQ(named[0].name, u"@P1");
    EXPECT_EQ(named[1].name, u"@P2");
    EXPECT_EQ(named[2].name, u"@own");
}

} // namespace
} // namespace sandbox
