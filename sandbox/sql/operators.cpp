// The store functions behind typed operators and a few functions: whole-number arithmetic that
// overflows as the server's does, exact decimal arithmetic, LIKE with its classes and the
// column's collation, SUBSTRING, HASHBYTES, TOP ... PERCENT.
#include "functions.h"

#include "collation.h"
#include "store_values.h"
#include "text.h"
#include "types.h"

#include "db/utf16.h"

#include <nettle/nettle-meta.h>
#include <nettle/sha2.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace sandbox {
namespace {

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

char32_t folded(char32_t c, int collation) {
    if (collation == kCiAi || collation == kCsAi) c = withoutAccent(c);
    if (collation == kCiAs || collation == kCiAi) c = lowerCase(c);
    return c;
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
    const std::u32string esc =
        sqlite3_value_type(argv[2]) == SQLITE_NULL ? U"" : codePoints(argv[2]);
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

void registerOperators(sqlite3* db) {
    static const StoreFunction kFunctions[] = {
        {"rowlark_integer", 2, integerFn, 1},     {"rowlark_decimal", 4, decimalFn, 6},
        {"rowlark_hashbytes", 2, hashbytesFn, 3}, {"rowlark_like", 4, likeFn, 3},
        {"rowlark_substring", 3, substringFn, 7}, {"rowlark_percent", 1, percentFn},
        {"rowlark_reverse", 1, reverseFn, 1}};
    registerFunctions(db, kFunctions);
}

} // namespace sandbox
