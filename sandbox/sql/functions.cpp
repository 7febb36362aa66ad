#include "functions.h"

#include "store_values.h"
#include "types.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace sandbox {

namespace {

// CONCAT(a, b, ...): NULLs count as empty text. This runs for every row of a fingerprint: the
// result is written once into a buffer the store takes over.
void concatFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    sqlite3_uint64 size = 0;
    for (int i = 0; i < argc; ++i)
        size += static_cast<sqlite3_uint64>(sqlite3_value_bytes(argv[i])); // NULL: 0
    auto* out = static_cast<char*>(sqlite3_malloc64(size + 1));
    if (!out) return sqlite3_result_error_nomem(ctx);
    char* at = out;
    for (int i = 0; i < argc; ++i)
        if (const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[i])))
            at = std::copy_n(p, sqlite3_value_bytes(argv[i]), at);
    sqlite3_result_text64(ctx, out, static_cast<sqlite3_uint64>(at - out), sqlite3_free,
                          SQLITE_UTF8);
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
    tds::DateTime dt;
    if (!parseDateTime(s, BaseType::DateTime2, dt)) return false;
    const auto point = s.find('.');
    out = {dt.days, dt.nanos, s.size() > 10,
           point == s.npos ? 3 : static_cast<int>(s.size() - point - 1)};
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
    const std::int64_t total = y * 12 + (m - 1) + months;
    y = total / 12;
    m = total % 12 + 1;
    // the month's last day where it is shorter (the 13th month is the next year's first)
    t.days = daysOf(y, m, std::min(d, daysOf(y, m + 1, 1) - daysOf(y, m, 1)));
}

// A date part: the months it counts (year, quarter, month) or its nanoseconds (the others), and
// for the parts of the time what DATEPART counts them within.
struct Part {
    std::string_view name;
    std::int64_t months, nanos, cycle;
};

// In YEAR, MONTH and DAY's order at the start: they are DATEPART of those parts.
constexpr Part kParts[] = {{"year", 12, 0, 0},
                           {"month", 1, 0, 0},
                           {"day", 0, kDay, 0},
                           {"quarter", 3, 0, 0},
                           {"dayofyear", 0, kDay, 0},
                           {"week", 0, 7 * kDay, 0},
                           {"weekday", 0, kDay, 0},
                           {"hour", 0, 3'600'000'000'000, 24},
                           {"minute", 0, 60'000'000'000, 60},
                           {"second", 0, 1'000'000'000, 60},
                           {"millisecond", 0, 1'000'000, 1000},
                           {"microsecond", 0, 1'000, 1'000'000},
                           {"nanosecond", 0, 1, 1'000'000'000}};

const Part& partOf(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    for (const Part& part : kParts)
        if (part.name == (p ? p : "")) return part;
    throw std::invalid_argument("not a date part"); // the binder passes only these
}

// DATEADD(part, n, date): the date moved by n parts, in the form it came in.
void dateaddFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Moment t;
    if (!parseMoment(argv[2], t)) return badDate(ctx);
    const Part& part = partOf(argv[0]);
    const std::int64_t n = sqlite3_value_int64(argv[1]);
    if (n > INT32_MAX || n < INT32_MIN)
        return resultError(ctx, 8115, overflowText(SqlType{BaseType::Int}));
    if (part.months) {
        addMonths(t, part.months * n);
    } else {
        // 2^31 hours in nanoseconds pass 64 bits: the sum is kept in 128.
        const __int128 total =
            static_cast<__int128>(t.nanos) + static_cast<__int128>(n) * part.nanos;
        const __int128 days = total >= 0 ? total / kDay : -((-total + kDay - 1) / kDay);
        t.days += static_cast<std::int64_t>(days);
        t.nanos = static_cast<std::int64_t>(total - days * kDay);
        t.hasTime = t.hasTime || part.nanos < kDay; // days and weeks keep a date a date
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
    const Part& part = partOf(argv[0]);
    std::int64_t ya, ma, da, yb, mb, db;
    civil(a.days, ya, ma, da);
    civil(b.days, yb, mb, db);
    __int128 diff;
    if (const std::int64_t k = part.months) {
        diff = (yb * 12 + mb - 1) / k - (ya * 12 + ma - 1) / k;
    } else if (part.name == "week") {
        diff = (b.days + 1) / 7 - (a.days + 1) / 7; // 0001-01-01 is a Monday
    } else {
        // Nanoseconds since year 1 pass 64 bits: counted in 128 (days as they stand).
        const auto units = [unit = part.nanos](const Moment& t) {
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
void datepart(sqlite3_context* ctx, const Part& part, sqlite3_value* date) {
    Moment t;
    if (!parseMoment(date, t)) return badDate(ctx);
    std::int64_t y, m, d;
    civil(t.days, y, m, d);
    std::int64_t v = 0;
    if (part.cycle)
        v = t.nanos / part.nanos % part.cycle;
    else if (part.months) // year, quarter, month
        v = part.months == 12 ? y : (m - 1) / part.months + 1;
    else if (part.name == "dayofyear")
        v = t.days - daysOf(y, 1, 1) + 1;
    else if (part.name == "day")
        v = d;
    else if (part.name == "week")
        v = (t.days + 1) / 7 - (daysOf(y, 1, 1) + 1) / 7 + 1;
    else
        v = (t.days + 1) % 7 + 1; // weekday
    sqlite3_result_int64(ctx, v);
}

void datepartFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    datepart(ctx, partOf(argv[0]), argv[1]);
}

// YEAR, MONTH, DAY: the first three of kParts.
template <int kPart> void datePartFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    datepart(ctx, kParts[kPart], argv[0]);
}

} // namespace

void registerTsqlFunctions(sqlite3* db) {
    static const StoreFunction kFunctions[] = {
        {"rowlark_concat", -1, concatFn},       {"rowlark_replicate", 2, replicateFn, 3},
        {"rowlark_left", 2, sideFn<true>, 3},   {"rowlark_right", 2, sideFn<false>, 3},
        {"rowlark_year", 1, datePartFn<0>, 1},  {"rowlark_month", 1, datePartFn<1>, 1},
        {"rowlark_day", 1, datePartFn<2>, 1},   {"rowlark_dateadd", 3, dateaddFn, 6},
        {"rowlark_datediff", 3, datediffFn, 6}, {"rowlark_datepart", 2, datepartFn, 2},
    };
    registerFunctions(db, kFunctions);
}

} // namespace sandbox
