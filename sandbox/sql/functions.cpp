#include "functions.h"

#include <sqlite3.h>

#include <algorithm>

#include <cstdint>
#include <string>

namespace sandbox {
namespace {

std::u16string utf16Of(sqlite3_value* v) {
    return {static_cast<const char16_t*>(sqlite3_value_text16(v)),
            static_cast<std::size_t>(sqlite3_value_bytes16(v)) / 2};
}

void resultUtf16(sqlite3_context* ctx, const std::u16string& s) {
    sqlite3_result_text16(ctx, s.data(), static_cast<int>(s.size() * 2), SQLITE_TRANSIENT);
}

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
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
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
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const sqlite3_int64 n = sqlite3_value_int64(argv[1]);
    if (n < 0)
        return sqlite3_result_error(ctx,
                                    kLeft ? "Msg 536: Invalid length parameter passed to the left "
                                            "function."
                                          : "Msg 536: Invalid length parameter passed to the right "
                                            "function.",
                                    -1);
    const std::u16string s = utf16Of(argv[0]);
    const std::size_t k = std::min<std::size_t>(s.size(), static_cast<std::size_t>(n));
    resultUtf16(ctx, kLeft ? s.substr(0, k) : s.substr(s.size() - k));
}

// YEAR, MONTH, DAY of a date as the store keeps it ('YYYY-MM-DD...'); NULL stays NULL.
template <int kFrom, int kLength> void datePartFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const std::string s = p ? p : "";
    int value = 0;
    bool ok = s.size() >= 10 && s[4] == '-' && s[7] == '-';
    for (int i = kFrom; ok && i < kFrom + kLength; ++i) {
        ok = s[static_cast<std::size_t>(i)] >= '0' && s[static_cast<std::size_t>(i)] <= '9';
        value = value * 10 + (s[static_cast<std::size_t>(i)] - '0');
    }
    if (!ok)
        return sqlite3_result_error(
            ctx,
            "Msg 241: Conversion failed when converting date and/or time from character string.",
            -1);
    sqlite3_result_int(ctx, value);
}

} // namespace

void registerTsqlFunctions(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "rowlark_concat", -1, flags, nullptr, concatFn, nullptr, nullptr);
    sqlite3_create_function(db, "rowlark_replicate", 2, flags, nullptr, replicateFn, nullptr,
                            nullptr);
    sqlite3_create_function(db, "rowlark_left", 2, flags, nullptr, sideFn<true>, nullptr, nullptr);
    sqlite3_create_function(db, "rowlark_right", 2, flags, nullptr, sideFn<false>, nullptr,
                            nullptr);
    sqlite3_create_function(db, "rowlark_year", 1, flags, nullptr, datePartFn<0, 4>, nullptr,
                            nullptr);
    sqlite3_create_function(db, "rowlark_month", 1, flags, nullptr, datePartFn<5, 2>, nullptr,
                            nullptr);
    sqlite3_create_function(db, "rowlark_day", 1, flags, nullptr, datePartFn<8, 2>, nullptr,
                            nullptr);
}

} // namespace sandbox
