#include "colmetadata.h"

#include "tokens.h"

namespace tds {

bool TypeInfo::isPlp() const {
    return maxLen == kPlpMaxLen &&
           (type == kBigVarChar || type == kNVarChar || type == kBigVarBinary);
}

bool TypeInfo::isLongText() const {
    return type == kText || type == kNText || type == kImage;
}

bool TypeInfo::hasCollation() const {
    return type == kBigVarChar || type == kBigChar || type == kNVarChar || type == kNChar ||
           type == kText || type == kNText;
}

void encodeTypeInfo(Writer& w, const TypeInfo& t) {
    w.u8(t.type);
    switch (t.type) {
    case kIntN:
    case kBitN:
    case kFltN:
    case kMoneyN:
    case kDateTimN:
    case kGuid:
        w.u8(static_cast<std::uint8_t>(t.maxLen));
        break;
    case kDecimalN:
    case kNumericN:
        w.u8(static_cast<std::uint8_t>(t.maxLen));
        w.u8(t.precision);
        w.u8(t.scale);
        break;
    case kDateN:
        break;
    case kTimeN:
    case kDateTime2N:
        w.u8(t.scale);
        break;
    case kText:
    case kNText:
    case kImage:
        w.u32le(t.type == kNText ? 0x7FFFFFFE : 0x7FFFFFFF);
        if (t.hasCollation()) w.raw(kCollation, sizeof kCollation);
        break;
    default:
        w.u16le(t.maxLen);
        if (t.hasCollation()) w.raw(kCollation, sizeof kCollation);
    }
}

TypeInfo decodeTypeInfo(Reader& r) {
    TypeInfo t;
    t.type = r.u8();
    switch (t.type) {
    case kIntN:
    case kBitN:
    case kFltN:
    case kMoneyN:
    case kDateTimN:
    case kGuid:
        t.maxLen = r.u8();
        break;
    case kDecimalN:
    case kNumericN:
        t.maxLen = r.u8();
        t.precision = r.u8();
        t.scale = r.u8();
        break;
    case kDateN:
        t.maxLen = 3;
        break;
    case kTimeN:
    case kDateTime2N:
        t.scale = r.u8();
        t.maxLen = 0;
        break;
    case kBigVarChar:
    case kBigChar:
    case kNVarChar:
    case kNChar:
    case kBigVarBinary:
    case kBigBinary:
        t.maxLen = r.u16le();
        if (t.hasCollation()) r.skip(sizeof kCollation);
        break;
    case kText:
    case kNText:
    case kImage:
        r.u32le();
        t.maxLen = 0;
        if (t.hasCollation()) r.skip(sizeof kCollation);
        break;
    default:
        throw UnknownType("unknown data type");
    }
    return t;
}

void encodeColMetadata(Writer& w, const std::vector<ColumnInfo>& columns, std::uint32_t version) {
    w.u8(kTokColMetadata);
    if (columns.empty()) {
        w.u16le(0xFFFF);
        return;
    }
    w.u16le(static_cast<std::uint16_t>(columns.size()));
    for (const auto& c : columns) {
        if (hasLongCounts(version))
            w.u32le(0); // user type
        else
            w.u16le(0);
        w.u16le(c.flags);
        encodeTypeInfo(w, c.type);
        if (c.type.isLongText()) { // the table's name, which no one asks for
            if (hasLongCounts(version))
                w.u8(0);
            else
                w.u16le(0);
        }
        w.bVarchar(c.name);
    }
}

} // namespace tds
