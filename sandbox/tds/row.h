// ROW: one row of values, encoded by the column types of the COLMETADATA before it.
#pragma once

#include "colmetadata.h"

#include <variant>

namespace tds {

// An exact number scaled by the column's scale (12.50 in a scale-2 column is 1250).
struct Decimal {
    __int128 scaled = 0;
    friend bool operator==(const Decimal&, const Decimal&) = default;
};

// A point in time: days since 0001-01-01 and nanoseconds since midnight.
struct DateTime {
    std::int32_t days = 0;
    std::int64_t nanos = 0;
    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// Null, integers and bits, floats, exact numbers and money, text, binary and GUIDs, dates and
// times.
using Value =
    std::variant<std::monostate, std::int64_t, double, Decimal, std::u16string, Bytes, DateTime>;

// Days between 0001-01-01 and 1900-01-01, the epoch of the old datetime type.
constexpr std::int32_t kDays1900 = 693595;

// 10 to the power n: a fraction's unit, or an exact number's bound at its precision (in __int128).
template <class T = std::int64_t> constexpr T pow10(int n) {
    T p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

// Throws std::invalid_argument when the value does not fit the type (a text in an int column, say).
void encodeValue(Writer& w, const TypeInfo& type, const Value& v);
Value decodeValue(Reader& r, const TypeInfo& type);
// A value as a ROW token holds it: as decodeValue, but text, ntext and image with their text
// pointer and timestamp before the length.
Value decodeRowValue(Reader& r, const TypeInfo& type);

void encodeRow(Writer& w, const std::vector<ColumnInfo>& columns, const std::vector<Value>& row);

// Windows-1252, the code page of the varchar columns' collation.
void appendCp1252(Writer& w, std::u16string_view s);
std::u16string fromCp1252(const Bytes& b);

} // namespace tds
