#include "colmetadata.h"

#include "tokens.h"

#include <utility>

namespace tds {

namespace {

// How a type's description goes after its identifier.
enum class Form { Length8, Decimal, None, Scale, Length32, Length16 };

// The form of each type this side knows.
constexpr std::pair<std::uint8_t, Form> kForms[] = {
    {kIntN, Form::Length8},          {kBitN, Form::Length8},      {kFltN, Form::Length8},
    {kMoneyN, Form::Length8},        {kDateTimN, Form::Length8},  {kGuid, Form::Length8},
    {kDecimalN, Form::Decimal},      {kNumericN, Form::Decimal},  {kDateN, Form::None},
    {kTimeN, Form::Scale},           {kDateTime2N, Form::Scale},  {kText, Form::Length32},
    {kNText, Form::Length32},        {kImage, Form::Length32},    {kBigVarChar, Form::Length16},
    {kBigChar, Form::Length16},      {kNVarChar, Form::Length16}, {kNChar, Form::Length16},
    {kBigVarBinary, Form::Length16}, {kBigBinary, Form::Length16}};

Form formOf(std::uint8_t type) {
    for (const auto& [t, form] : kForms)
        if (t == type) return form;
    throw UnknownType("unknown data type");
}

} // namespace

void encodeTypeInfo(Writer& w, const TypeInfo& t) {
    w.u8(t.type);
    const Form form = formOf(t.type);
    if (form == Form::Length8 || form == Form::Decimal) w.u8(static_cast<std::uint8_t>(t.maxLen));
    if (form == Form::Decimal) w.u8(t.precision);
    if (form == Form::Decimal || form == Form::Scale) w.u8(t.scale);
    if (form == Form::Length32) w.u32le(t.type == kNText ? 0x7FFFFFFE : 0x7FFFFFFF);
    if (form == Form::Length16) w.u16le(t.maxLen);
    if (t.hasCollation()) w.raw(kCollation, sizeof kCollation);
}

TypeInfo decodeTypeInfo(Reader& r) {
    TypeInfo t;
    t.type = r.u8();
    const Form form = formOf(t.type);
    t.maxLen = form == Form::None ? 3 : 0;
    if (form == Form::Length8 || form == Form::Decimal) t.maxLen = r.u8();
    if (form == Form::Decimal) t.precision = r.u8();
    if (form == Form::Decimal || form == Form::Scale) t.scale = r.u8();
    if (form == Form::Length32) r.u32le();
    if (form == Form::Length16) t.maxLen = r.u16le();
    if (t.hasCollation()) r.skip(sizeof kCollation);
    return t;
}

void encodeUserType(Writer& w, std::uint32_t version) {
    w.put(0, hasLongCounts(version) ? 4 : 2);
}

void skipUserType(Reader& r, std::uint32_t version) {
    r.skip(hasLongCounts(version) ? 4 : 2);
}

void encodeColMetadata(Writer& w, const std::vector<ColumnInfo>& columns, std::uint32_t version,
                       std::u16string_view table) {
    w.u8(kTokColMetadata);
    if (columns.empty()) return w.u16le(0xFFFF);
    w.u16le(static_cast<std::uint16_t>(columns.size()));
    for (const auto& c : columns) {
        encodeUserType(w, version);
        w.u16le(c.flags);
        encodeTypeInfo(w, c.type);
        if (c.type.isLongText()) { // the table's name: its parts, then each (none before 7.2)
            if (hasLongCounts(version)) w.u8(table.empty() ? 0 : 1);
            if (!hasLongCounts(version) || !table.empty()) w.usVarchar(table);
        }
        w.bVarchar(c.name);
    }
}

} // namespace tds
