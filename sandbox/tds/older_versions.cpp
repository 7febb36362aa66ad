#include "older_versions.h"

#include <cinttypes>
#include <cstdio>

namespace tds {
namespace {

// Characters of the text form of each date and time type.
std::uint16_t textChars(const TypeInfo& t) {
    if (t.type == kDateN) return 10;
    const int fraction = t.scale ? t.scale + 1 : 0; // the point and the digits
    return static_cast<std::uint16_t>((t.type == kTimeN ? 8 : 19) + fraction);
}

} // namespace

std::int64_t daysOf(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 306;
}

// Howard Hinnant's algorithm, from days since 0000-03-01.
void civil(std::int64_t days, std::int64_t& y, std::int64_t& m, std::int64_t& d) {
    const std::int64_t z = days + 306;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = yoe + era * 400 + (m <= 2);
}

TypeInfo typeForVersion(const TypeInfo& t, std::uint32_t version) {
    if (!hasDateTypes(version) && (t.type == kDateN || t.type == kTimeN || t.type == kDateTime2N))
        return {kNVarChar, static_cast<std::uint16_t>(2 * textChars(t))};
    if (!hasMaxTypes(version) && t.isPlp())
        return {t.type == kNVarChar ? kNText : t.type == kBigVarChar ? kText : kImage};
    return t;
}

Value valueForVersion(const TypeInfo& type, const TypeInfo& sent, const Value& v) {
    if (sent.type == kNVarChar && type.type != kNVarChar)
        if (auto dt = std::get_if<DateTime>(&v)) return dateTimeText(type, *dt);
    return v;
}

std::u16string dateTimeText(const TypeInfo& t, const DateTime& v) {
    char text[64];
    int n = 0;
    if (t.type != kTimeN) {
        std::int64_t y, m, d;
        civil(v.days, y, m, d);
        n = std::snprintf(text, sizeof text, "%04" PRId64 "-%02" PRId64 "-%02" PRId64 "%s", y, m, d,
                          t.type == kDateN ? "" : " ");
    }
    if (t.type != kDateN) {
        const std::int64_t seconds = v.nanos / 1'000'000'000;
        n += std::snprintf(text + n, sizeof text - n,
                           "%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%09" PRId64, seconds / 3600,
                           seconds / 60 % 60, seconds % 60, v.nanos % 1'000'000'000);
        n -= t.scale ? 9 - t.scale : 10; // as many digits of the fraction as the scale
    }
    return std::u16string(text, text + n);
}

} // namespace tds
