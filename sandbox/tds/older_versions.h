// What a column goes out as to a client of an older TDS version: before 7.3 date, time and
// datetime2 as nvarchar text (as the server sends them to such clients), before 7.2 the (max)
// types as text, ntext and image.
#pragma once

#include "row.h"
#include "version.h"

namespace tds {

// Days since 0001-01-01 of a date of the proleptic Gregorian calendar, and back.
std::int64_t daysOf(std::int64_t y, std::int64_t m, std::int64_t d);
void civil(std::int64_t days, std::int64_t& y, std::int64_t& m, std::int64_t& d);

TypeInfo typeForVersion(const TypeInfo& type, std::uint32_t version);
// The value in the type typeForVersion chose for its column's type.
Value valueForVersion(const TypeInfo& type, const TypeInfo& sent, const Value& v);

// "2024-02-29", "13:05:07.1234567", "2024-02-29 13:05:07.1234567": the value as such a client
// reads it (as many fraction digits as the scale).
std::u16string dateTimeText(const TypeInfo& type, const DateTime& value);

} // namespace tds
