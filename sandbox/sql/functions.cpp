// The store functions behind T-SQL's functions and operators where the store's SQL has none that
// does as the server does: string and date functions, whole-number arithmetic that overflows,
// exact decimal arithmetic, LIKE with its classes and collations, HASHBYTES, TOP ... PERCENT.
#include "functions.h"

#include "collation.h"
#include "store_values.h"
#include "text.h"
#include "types.h"

#include "tds/older_versions.h"

#include "db/utf16.h"

#include <nettle/nettle-meta.h>
#include <nettle/sha2.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
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
    tds::civil(t.days, y, m, d);
    const std::int64_t total = y * 12 + (m - 1) + months;
    y = total / 12;
    m = total % 12 + 1;
    // the month's last day where it is shorter (the 13th month is the next year's first)
    t.days = tds::daysOf(y, m, std::min(d, tds::daysOf(y, m + 1, 1) - tds::daysOf(y, m, 1)));
}

// A date part: the months it counts (year, quarter, month) or its nanoseconds (the others), and
// for the parts of the time what DATEPART counts them within.
struct Part {
    std::string_view name;
    std::int64_t months, nanos, cycle;
};

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
    if (!parseMoment(argv[2], t)) return resultError(ctx, 241, kBadDateText);
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
    if (t.days < 0 || t.days > tds::daysOf(9999, 12, 31))
        return resultError(ctx, 517, "Adding a value to a 'datetime' column caused an overflow.");
    sqlite3_result_text(ctx, text(t).c_str(), -1, SQLITE_TRANSIENT); // copied before it goes
}

// DATEDIFF(part, from, to): the part's boundaries crossed between the two (weeks start on Sunday).
void datediffFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Moment a, b;
    if (!parseMoment(argv[1], a) || !parseMoment(argv[2], b))
        return resultError(ctx, 241, kBadDateText);
    const Part& part = partOf(argv[0]);
    std::int64_t ya, ma, da, yb, mb, db;
    tds::civil(a.days, ya, ma, da);
    tds::civil(b.days, yb, mb, db);
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
void datepartFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const Part& part = partOf(argv[0]);
    Moment t;
    if (!parseMoment(argv[1], t)) return resultError(ctx, 241, kBadDateText);
    std::int64_t y, m, d;
    tds::civil(t.days, y, m, d);
    const std::int64_t jan1 = tds::daysOf(y, 1, 1);
    sqlite3_result_int64(ctx, part.cycle          ? t.nanos / part.nanos % part.cycle
                              : part.months == 12 ? y
                              : part.months       ? (m - 1) / part.months + 1 // quarter, month
                              : part.name == "dayofyear" ? t.days - jan1 + 1
                              : part.name == "day"       ? d
                              : part.name == "week"      ? (t.days + 1) / 7 - (jan1 + 1) / 7 + 1
                                                         : (t.days + 1) % 7 + 1); // weekday
}

// rowlark_integer(value, BaseType): a whole-number result in its type's range, or the server's
// overflow error (the store would go on in floating point past 64 bits).
void integerFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto base = static_cast<BaseType>(sqlite3_value_int(argv[1]));
    const SqlType t{base};
    const double d = sqlite3_value_double(argv[0]);
    const std::int64_t v = sqlite3_value_int64(argv[0]);
    if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && inWholeRange(base, v))
        return sqlite3_result_int64(ctx, v);
    if (base == BaseType::TinyInt || base == BaseType::SmallInt)
        return resultError(ctx, 220,
                           "Arithmetic overflow error for data type " + t.tsqlName() +
                               ", value = " + std::to_string(static_cast<long long>(d)) + ".");
    resultError(ctx, 8115, overflowText(t));
}

// An exact number: its digits as a whole number and how many of them follow the point.
struct Exact {
    __int128 digits = 0;
    int scale = 0;
};

bool readExact(sqlite3_value* v, Exact& out) {
    const int kind = sqlite3_value_type(v);
    if (kind == SQLITE_INTEGER) {
        out = {sqlite3_value_int64(v), 0};
        return true;
    }
    char buf[40];
    if (kind == SQLITE_FLOAT) std::snprintf(buf, sizeof buf, "%.15g", sqlite3_value_double(v));
    const std::string s = kind == SQLITE_FLOAT ? buf : std::string(trim(textOf(v)));
    // Digits as they stand, 38 at most: an exponent (a float's) or more is not exact here.
    const auto point = s.find('.');
    out.scale = point == std::string::npos ? 0 : static_cast<int>(s.size() - point - 1);
    return s.find_first_of("eEn") == std::string::npos &&
           std::count_if(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }) <= 38 &&
           parseDecimal(s, out.scale, out.digits);
}

bool scaleTo(__int128& v, int from, int to, bool truncate) {
    for (; from < to; ++from)
        if (__builtin_mul_overflow(v, 10, &v)) return false;
    for (; from > to; --from) {
        const int last = static_cast<int>(v % 10);
        v /= 10;
        if (!truncate && from == to + 1 && (last >= 5 || last <= -5))
            v += v < 0 || last < 0 ? -1 : 1;
    }
    return true;
}

// rowlark_decimal(op, a, b, scale): + - * / % of exact numbers, exactly, rounded to the scale
// (a quotient cut to it, as the server cuts); past 38 digits in floating point.
void decimalFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const char op = textOf(argv[0]).at(0);
    const int scale = sqlite3_value_int(argv[3]);
    Exact a, b;
    __int128 r = 0;
    bool ok = readExact(argv[1], a) && readExact(argv[2], b);
    if (ok && (op == '/' || op == '%') && b.digits == 0)
        return resultError(ctx, 8134, "Divide by zero error encountered.");
    const int common = std::max(a.scale, b.scale);
    if (ok && (op == '+' || op == '-' || op == '%')) {
        ok = scaleTo(a.digits, a.scale, common, false) && scaleTo(b.digits, b.scale, common, false);
        if (ok && op == '%') r = a.digits % b.digits;
        if (ok && op != '%')
            ok = !(op == '+' ? __builtin_add_overflow(a.digits, b.digits, &r)
                             : __builtin_sub_overflow(a.digits, b.digits, &r));
        ok = ok && scaleTo(r, common, scale, false);
    } else if (ok && op == '*') {
        ok = !__builtin_mul_overflow(a.digits, b.digits, &r) &&
             scaleTo(r, a.scale + b.scale, scale, false);
    } else if (ok && op == '/') {
        __int128 n = a.digits, d = b.digits;
        const int shift = scale + b.scale - a.scale;
        ok = shift >= 0 ? scaleTo(n, 0, shift, true) : scaleTo(d, 0, -shift, true);
        if (ok) r = n / d;
    }
    if (!ok) {
        const double x = sqlite3_value_double(argv[1]), y = sqlite3_value_double(argv[2]);
        return sqlite3_result_double(ctx, op == '+'   ? x + y
                                          : op == '-' ? x - y
                                          : op == '*' ? x * y
                                          : op == '/' ? x / y
                                                      : std::fmod(x, y));
    }
    resultExact(ctx, decimalText(r, scale));
}

// rowlark_round(x, length, function): ROUND, exactly, to the left of the point for a negative
// length (the store's round reads that as 0), cut instead of rounded where function is not 0.
void roundFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int length = std::clamp(sqlite3_value_int(argv[1]), -40, 40);
    const bool cut = sqlite3_value_int(argv[2]) != 0;
    Exact x;
    const bool exact = readExact(argv[0], x);
    if (exact && length >= x.scale) return sqlite3_result_value(ctx, argv[0]);
    if (exact && scaleTo(x.digits, x.scale, length, cut) &&
        scaleTo(x.digits, length, x.scale, false))
        return resultExact(ctx, decimalText(x.digits, x.scale));
    const double scale = std::pow(10.0, length), v = sqlite3_value_double(argv[0]) * scale;
    sqlite3_result_double(ctx, (cut ? std::trunc(v) : std::round(v)) / scale);
}

// rowlark_hashbytes(algorithm, bytes): the digest as the server's HASHBYTES gives it; an
// algorithm it does not know gives NULL.
void hashbytesFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    static const std::pair<const char*, const nettle_hash*> kAlgorithms[] = {
        {"md2", &nettle_md2},        {"md4", &nettle_md4},   {"md5", &nettle_md5},
        {"sha", &nettle_sha1},       {"sha1", &nettle_sha1}, {"sha2_256", &nettle_sha256},
        {"sha2_512", &nettle_sha512}};
    const std::string name = toLower(trim(textOf(argv[0])));
    for (const auto& [n, hash] : kAlgorithms) {
        if (name != n) continue;
        // on the stack, as this runs for every row: sha512's state is the largest of them
        alignas(sha512_ctx) std::uint8_t state[sizeof(sha512_ctx)], digest[SHA512_DIGEST_SIZE];
        hash->init(state);
        hash->update(state, static_cast<std::size_t>(sqlite3_value_bytes(argv[1])),
                     static_cast<const std::uint8_t*>(sqlite3_value_blob(argv[1])));
        hash->digest(state, hash->digest_size, digest);
        return sqlite3_result_blob(ctx, digest, static_cast<int>(hash->digest_size),
                                   SQLITE_TRANSIENT);
    }
    sqlite3_result_null(ctx);
}

// One element of a LIKE pattern at p: whether it matches c; p moves past it.
bool matchesOne(const std::u32string& pat, std::size_t& p, char32_t c, int collation,
                char32_t escape) {
    const char32_t x = folded(c, collation);
    if (pat[p] == escape && p + 1 < pat.size()) return folded(pat[(p += 2) - 1], collation) == x;
    if (pat[p] == U'_') return ++p, true;
    if (pat[p] != U'[') return folded(pat[p++], collation) == x;
    const std::size_t close = pat.find(U']', p + 2);
    if (close == std::u32string::npos) return folded(pat[p++], collation) == x;
    std::size_t i = p + 1;
    const bool negate = pat[i] == U'^' && close > i + 1;
    if (negate) ++i;
    bool found = false;
    for (; i < close; ++i) {
        if (i + 2 < close && pat[i + 1] == U'-')
            found = found || (x >= folded(pat[i], collation) && x <= folded(pat[i + 2], collation)),
            i += 2;
        else
            found = found || folded(pat[i], collation) == x;
    }
    p = close + 1;
    return found != negate;
}

std::u32string codePoints(sqlite3_value* v) {
    const std::u16string s = utf16Of(v);
    std::u32string out;
    for (std::size_t i = 0; i < s.size(); ++i)
        out.push_back(rowlark::utf::codePointAt(s.data(), s.size(), i));
    return out;
}

// rowlark_like(value, pattern, escape, collation): % _ [a-z] [^b] and the escape character.
void likeFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::u32string s = codePoints(argv[0]), pat = codePoints(argv[1]);
    const std::u32string esc = codePoints(argv[2]); // NULL: none
    const char32_t escape = esc.empty() ? 0xFFFFFFFF : esc[0];
    const int collation = sqlite3_value_int(argv[3]);
    std::size_t i = 0, p = 0, starP = std::u32string::npos, starI = 0;
    while (i < s.size()) {
        std::size_t q = p;
        if (p < pat.size() && pat[p] == U'%') {
            starP = ++p, starI = i;
            continue;
        }
        if (p < pat.size() && matchesOne(pat, q, s[i], collation, escape)) {
            p = q, ++i;
            continue;
        }
        if (starP == std::u32string::npos) return sqlite3_result_int(ctx, 0);
        p = starP, i = ++starI;
    }
    while (p < pat.size() && pat[p] == U'%')
        ++p;
    sqlite3_result_int(ctx, p == pat.size());
}

// SUBSTRING(value, start, length): a start below 1 counts the characters before the first.
void substringFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::int64_t start = sqlite3_value_int64(argv[1]), length = sqlite3_value_int64(argv[2]);
    if (length < 0)
        return resultError(ctx, 537, "Invalid length parameter passed to the substring function.");
    const std::int64_t from = std::max<std::int64_t>(start, 1);
    const std::int64_t count = std::max<std::int64_t>(0, start + length - from);
    // a blob's bytes, or the text's UTF-16 units as the store gives them
    const bool blob = sqlite3_value_type(argv[0]) == SQLITE_BLOB;
    const auto* p = static_cast<const char*>(blob ? sqlite3_value_blob(argv[0])
                                                  : sqlite3_value_text16(argv[0]));
    const std::int64_t size =
        blob ? sqlite3_value_bytes(argv[0]) : sqlite3_value_bytes16(argv[0]) / 2;
    const std::int64_t at = std::min(from - 1, size), n = std::min(count, size - at);
    if (blob) return resultBytes(ctx, p + at, static_cast<std::size_t>(n));
    sqlite3_result_text16(ctx, p + 2 * at, static_cast<int>(2 * n), SQLITE_TRANSIENT);
}

// REVERSE(text), by characters.
void reverseFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    std::u16string s = utf16Of(argv[0]);
    std::reverse(s.begin(), s.end());
    for (std::size_t i = 0; i + 1 < s.size(); ++i) // a surrogate pair keeps its order
        if (s[i] >= 0xDC00 && s[i] < 0xE000 && s[i + 1] >= 0xD800 && s[i + 1] < 0xDC00)
            std::swap(s[i], s[i + 1]), ++i;
    resultUtf16(ctx, s);
}

void percentFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const double p = sqlite3_value_double(argv[0]);
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || p < 0 || p > 100)
        return resultError(ctx, 1031, "Percent values must be between 0 and 100.");
    sqlite3_result_double(ctx, p);
}

} // namespace

void registerTsqlFunctions(sqlite3* db) {
    static const StoreFunction kFunctions[] = {
        {"rowlark_concat", -1, concatFn},       {"rowlark_replicate", 2, replicateFn, 3},
        {"rowlark_left", 2, sideFn<true>, 3},   {"rowlark_right", 2, sideFn<false>, 3},
        {"rowlark_dateadd", 3, dateaddFn, 6},   {"rowlark_datediff", 3, datediffFn, 6},
        {"rowlark_datepart", 2, datepartFn, 2}, {"rowlark_integer", 2, integerFn, 1},
        {"rowlark_decimal", 4, decimalFn, 6},   {"rowlark_hashbytes", 2, hashbytesFn, 3},
        {"rowlark_like", 4, likeFn, 3},         {"rowlark_substring", 3, substringFn, 7},
        {"rowlark_percent", 1, percentFn},      {"rowlark_reverse", 1, reverseFn, 1},
        {"rowlark_round", 3, roundFn, 3},
    };
    registerFunctions(db, kFunctions);
}

} // namespace sandbox
