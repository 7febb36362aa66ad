#include "functions.h"

#include "store_values.h"
#include "tds/older_versions.h"
#include "types.h"

#include <sqlite3.h>

#include <algorithm>

#include <cstdint>
#include <string>

namespace sandbox {

namespace {

// CONCAT(a, b, ...): NULLs count as empty text.
void concatFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    std::string out;
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) != SQLITE_NULL) {
            const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[i]));
            out.append(p, static_cast<std::size_t>(sqlite3_value_bytes(argv[i])));
        }
    sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// REPLICATE(text, n): NULL for a NULL argument or a negative count.
void replicateFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const sqlite3_int64 n = sqlite3_value_int64(argv[1]);
    if (n < 0) return sqlite3_result_null(ctx);
    const std::u16string unit = utf16Of(argv[0]);
    if (static_cast<std::uint64_t>(n) * unit.size() > 1'073'741'823)
        return sqlite3_result_error_toobig(ctx);
    std::u16string out;
    out.reserve(unit.size() * static_cast<std::size_t>(n));
    for (sqlite3_int64 i = 0; i < n; ++i)
        out += unit;
    resultUtf16(ctx, out);
}

// LEFT(text, n) and RIGHT(text, n), in characters; a negative n is the server's error 536.
template <bool kLeft> void sideFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const sqlite3_int64 n = sqlite3_value_int64(argv[1]);
    if (n < 0)
        return resultError(ctx, 536,
                           std::string("Invalid length parameter passed to the ") +
                               (kLeft ? "left" : "right") + " function.");
    const std::u16string s = utf16Of(argv[0]);
    const std::size_t k = std::min<std::size_t>(s.size(), static_cast<std::size_t>(n));
    resultUtf16(ctx, kLeft ? s.substr(0, k) : s.substr(s.size() - k));
}

void badDate(sqlite3_context* ctx) {
    resultError(ctx, 241, kBadDateText);
}

// YEAR, MONTH, DAY of a date as the store keeps it ('YYYY-MM-DD...'); NULL stays NULL.
template <int kFrom, int kLength> void datePartFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::string s = textOf(argv[0]);
    int value = 0;
    bool ok = s.size() >= 10 && s[4] == '-' && s[7] == '-';
    for (int i = kFrom; ok && i < kFrom + kLength; ++i) {
        ok = s[static_cast<std::size_t>(i)] >= '0' && s[static_cast<std::size_t>(i)] <= '9';
        value = value * 10 + (s[static_cast<std::size_t>(i)] - '0');
    }
    if (!ok) return badDate(ctx);
    sqlite3_result_int(ctx, value);
}

// A point in time as the store keeps it: days since 0001-01-01, nanoseconds into the day, and
// how it was written (with a time part, and how many digits of a second).
struct Moment {
    std::int64_t days = 0;
    std::int64_t nanos = 0;
    bool hasTime = false;
    int digits = 3;
};

constexpr std::int64_t kDay = 86'400'000'000'000;

bool parseMoment(sqlite3_value* v, Moment& out) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    const std::string_view s = p ? p : "";
    auto digitsAt = [&](std::size_t at, std::size_t n, std::int64_t& value) {
        value = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
            value = value * 10 + (s[i] - '0');
        }
        return true;
    };
    std::int64_t y, m, d;
    if (s.size() < 10 || s[4] != '-' || s[7] != '-' || !digitsAt(0, 4, y) || !digitsAt(5, 2, m) ||
        !digitsAt(8, 2, d) || m < 1 || m > 12 || d < 1 || d > 31)
        return false;
    out = {daysOf(y, m, d), 0, false, 3};
    if (s.size() == 10) return true;
    std::int64_t h, mi, sec = 0;
    if (s.size() < 16 || !digitsAt(11, 2, h) || s[13] != ':' || !digitsAt(14, 2, mi)) return false;
    if (s.size() >= 19 && s[16] == ':' && !digitsAt(17, 2, sec)) return false;
    out.hasTime = true;
    out.nanos = ((h * 60 + mi) * 60 + sec) * 1'000'000'000;
    if (s.size() > 20 && s[19] == '.') {
        std::int64_t unit = 100'000'000;
        out.digits = 0;
        for (std::size_t i = 20; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, unit /= 10) {
            out.nanos += (s[i] - '0') * unit;
            ++out.digits;
        }
    }
    return true;
}

std::string text(const Moment& t) {
    const tds::TypeInfo shape{t.hasTime ? tds::kDateTime2N : tds::kDateN, 0, 0,
                              static_cast<std::uint8_t>(t.digits)};
    return tds::utf8(tds::dateTimeText(shape, {static_cast<std::int32_t>(t.days), t.nanos}));
}

void addMonths(Moment& t, std::int64_t months) {
    std::int64_t y, m, d;
    civil(t.days, y, m, d);
    std::int64_t total = y * 12 + (m - 1) + months;
    y = total / 12;
    m = total % 12 + 1;
    const std::int64_t last = daysOf(m == 12 ? y + 1 : y, m == 12 ? 1 : m + 1, 1) - daysOf(y, m, 1);
    t.days = daysOf(y, m, std::min(d, last));
}

// Nanoseconds in one of the time parts; 0 for the parts counted in days or months.
std::int64_t unitOf(std::string_view part) {
    if (part == "hour") return 3'600'000'000'000;
    if (part == "minute") return 60'000'000'000;
    if (part == "second") return 1'000'000'000;
    if (part == "millisecond") return 1'000'000;
    if (part == "microsecond") return 1'000;
    if (part == "nanosecond") return 1;
    return 0;
}

// Months in one of the parts counted in months; 0 for the others.
std::int64_t monthsIn(std::string_view part) {
    return part == "year" ? 12 : part == "quarter" ? 3 : part == "month" ? 1 : 0;
}

std::string_view partOf(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? p : "";
}

// DATEADD(part, n, date): the date moved by n parts, in the form it came in.
void dateaddFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Moment t;
    if (!parseMoment(argv[2], t)) return badDate(ctx);
    const std::string_view part = partOf(argv[0]);
    const std::int64_t n = sqlite3_value_int64(argv[1]);
    if (n > INT32_MAX || n < INT32_MIN)
        return resultError(ctx, 8115,
                           "Arithmetic overflow error converting expression to data type int.");
    if (monthsIn(part))
        addMonths(t, monthsIn(part) * n);
    else if (part == "week")
        t.days += 7 * n;
    else if (part == "day" || part == "dayofyear" || part == "weekday")
        t.days += n;
    else {
        // 2^31 hours in nanoseconds pass 64 bits: the sum is kept in 128.
        const __int128 total =
            static_cast<__int128>(t.nanos) + static_cast<__int128>(n) * unitOf(part);
        const __int128 days = total >= 0 ? total / kDay : -((-total + kDay - 1) / kDay);
        t.days += static_cast<std::int64_t>(days);
        t.nanos = static_cast<std::int64_t>(total - days * kDay);
        t.hasTime = true;
    }
    if (t.days < 0 || t.days > daysOf(9999, 12, 31))
        return resultError(ctx, 517, "Adding a value to a 'datetime' column caused an overflow.");
    const std::string out = text(t);
    sqlite3_result_text(ctx, out.c_str(), -1, SQLITE_TRANSIENT);
}

// DATEDIFF(part, from, to): the part's boundaries crossed between the two (weeks start on Sunday).
void datediffFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Moment a, b;
    if (!parseMoment(argv[1], a) || !parseMoment(argv[2], b)) return badDate(ctx);
    const std::string_view part = partOf(argv[0]);
    std::int64_t ya, ma, da, yb, mb, db;
    civil(a.days, ya, ma, da);
    civil(b.days, yb, mb, db);
    __int128 diff;
    if (const std::int64_t k = monthsIn(part))
        diff = (yb * 12 + mb - 1) / k - (ya * 12 + ma - 1) / k;
    else if (part == "week")
        diff = (b.days + 1) / 7 - (a.days + 1) / 7; // 0001-01-01 is a Monday
    else if (part == "day" || part == "dayofyear" || part == "weekday")
        diff = b.days - a.days;
    else {
        const std::int64_t unit = unitOf(part);
        // Nanoseconds since year 1 pass 64 bits: counted in 128.
        const auto units = [unit](const Moment& t) {
            return static_cast<__int128>(t.days) * (kDay / unit) + t.nanos / unit;
        };
        diff = units(b) - units(a);
    }
    if (diff > INT32_MAX || diff < INT32_MIN)
        return resultError(ctx, 535,
                           "The datediff function resulted in an overflow. The number of dateparts "
                           "separating two date/time instances is too large. Try to use datediff "
                           "with a less precise datepart.");
    sqlite3_result_int64(ctx, static_cast<std::int64_t>(diff));
}

// DATEPART(part, date) as a number (weekday 1 for Sunday, as the server's default DATEFIRST 7).
void datepartFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Moment t;
    if (!parseMoment(argv[1], t)) return badDate(ctx);
    const std::string_view part = partOf(argv[0]);
    std::int64_t y, m, d;
    civil(t.days, y, m, d);
    const std::int64_t dayOfYear = t.days - daysOf(y, 1, 1) + 1;
    std::int64_t v = 0;
    if (part == "year")
        v = y;
    else if (part == "quarter")
        v = (m - 1) / 3 + 1;
    else if (part == "month")
        v = m;
    else if (part == "dayofyear")
        v = dayOfYear;
    else if (part == "day")
        v = d;
    else if (part == "week")
        v = (t.days + 1) / 7 - (daysOf(y, 1, 1) + 1) / 7 + 1;
    else if (part == "weekday")
        v = (t.days + 1) % 7 + 1;
    else
        v = t.nanos / unitOf(part) %
            (part == "hour"          ? 24
             : part == "millisecond" ? 1000
             : part == "microsecond" ? 1'000'000
             : part == "nanosecond"  ? 1'000'000'000
                                     : 60);
    sqlite3_result_int64(ctx, v);
}

} // namespace

void registerTsqlFunctions(sqlite3* db) {
    static const StoreFunction kFunctions[] = {
        {"rowlark_concat", -1, concatFn},         {"rowlark_replicate", 2, replicateFn, 3},
        {"rowlark_left", 2, sideFn<true>, 3},     {"rowlark_right", 2, sideFn<false>, 3},
        {"rowlark_year", 1, datePartFn<0, 4>, 1}, {"rowlark_month", 1, datePartFn<5, 2>, 1},
        {"rowlark_day", 1, datePartFn<8, 2>, 1},  {"rowlark_dateadd", 3, dateaddFn, 6},
        {"rowlark_datediff", 3, datediffFn, 6},   {"rowlark_datepart", 2, datepartFn, 2},
    };
    registerFunctions(db, kFunctions);
}

} // namespace sandbox
