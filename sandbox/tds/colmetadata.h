// COLMETADATA: the description of a result's columns.
#pragma once

#include "version.h"
#include "wire.h"

namespace tds {

enum WireType : std::uint8_t {
    kImage = 0x22, // these three only for clients before 7.2, which know no (max) types
    kText = 0x23,
    kNText = 0x63,
    kGuid = 0x24,
    kIntN = 0x26,
    kDateN = 0x28,
    kTimeN = 0x29,
    kDateTime2N = 0x2A,
    kBitN = 0x68,
    kDecimalN = 0x6A,
    kNumericN = 0x6C,
    kFltN = 0x6D,
    kMoneyN = 0x6E,
    kDateTimN = 0x6F,
    kBigVarBinary = 0xA5,
    kBigVarChar = 0xA7,
    kBigBinary = 0xAD,
    kBigChar = 0xAF,
    kNVarChar = 0xE7,
    kNChar = 0xEF,
};

enum ColumnFlags : std::uint16_t {
    kFlagNullable = 0x0001,
    kFlagUpdatable = 0x0008,
    kFlagIdentity = 0x0010,
};

constexpr std::uint16_t kPlpMaxLen = 0xFFFF;

struct TypeInfo {
    std::uint8_t type = kIntN;
    std::uint16_t maxLen = 4; // bytes; kPlpMaxLen for the (max) types
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;

    // the (max) types, sent in parts
    bool isPlp() const {
        return maxLen == kPlpMaxLen &&
               (type == kBigVarChar || type == kNVarChar || type == kBigVarBinary);
    }
    bool isLongText() const { return type == kText || type == kNText || type == kImage; }
    bool isUnicode() const { return type == kNVarChar || type == kNChar || type == kNText; }
    bool isBinary() const { return type == kBigVarBinary || type == kBigBinary || type == kImage; }
    bool hasCollation() const {
        return isUnicode() || type == kBigVarChar || type == kBigChar || type == kText;
    }
    // The bytes of a decimal's magnitude (its sign takes one more), and of a time's units of a
    // day: both grow with the digits declared.
    static int decimalBytes(int p) { return p <= 9 ? 4 : p <= 19 ? 8 : p <= 28 ? 12 : 16; }
    static int timeBytes(int scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }
    friend bool operator==(const TypeInfo&, const TypeInfo&) = default;
};

struct ColumnInfo {
    TypeInfo type;
    std::uint16_t flags = kFlagNullable | kFlagUpdatable;
    std::u16string name;
    friend bool operator==(const ColumnInfo&, const ColumnInfo&) = default;
};

void encodeTypeInfo(Writer& w, const TypeInfo& t);
TypeInfo decodeTypeInfo(Reader& r);

// A column's user type, always 0: four bytes, before 7.2 two.
void encodeUserType(Writer& w, std::uint32_t version);
void skipUserType(Reader& r, std::uint32_t version);

// text, ntext and image columns carry the name of their table: none unless one is given.
void encodeColMetadata(Writer& w, const std::vector<ColumnInfo>& columns,
                       std::uint32_t version = kTds74, std::u16string_view table = {});

} // namespace tds
