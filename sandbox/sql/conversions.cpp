#include "conversions.h"

#include "collation.h"
#include "store_values.h"
#include "types.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace sandbox {
namespace {

// The right operand of / and %: zero is the server's error, where the store would give NULL.
void divisorFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int kind = sqlite3_value_type(argv[0]);
    if ((kind == SQLITE_INTEGER || kind == SQLITE_FLOAT) && sqlite3_value_double(argv[0]) == 0.0)
        return resultError(ctx, 8134, "Divide by zero error encountered.");
    sqlite3_result_value(ctx, argv[0]);
}

// AVG keeps its argument's type: of whole numbers it is a whole number, cut toward zero. The sum
// is a bigint's, as the server's is: past it the average is an overflow error.
struct Average {
    std::int64_t sum = 0;
    double realSum = 0;
    std::int64_t count = 0;
    bool real = false;
    bool overflow = false;
};

void averageStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int kind = sqlite3_value_type(argv[0]);
    if (kind == SQLITE_NULL) return;
    auto* a = static_cast<Average*>(sqlite3_aggregate_context(ctx, sizeof(Average)));
    if (!a) return sqlite3_result_error_nomem(ctx);
    ++a->count;
    if (kind == SQLITE_INTEGER) {
        const std::int64_t v = sqlite3_value_int64(argv[0]);
        a->overflow = a->overflow || __builtin_add_overflow(a->sum, v, &a->sum);
        a->realSum += static_cast<double>(v);
    } else {
        a->real = true;
        a->realSum += sqlite3_value_double(argv[0]);
    }
}

void averageFinal(sqlite3_context* ctx) {
    auto* a = static_cast<Average*>(sqlite3_aggregate_context(ctx, 0));
    if (!a || a->count == 0) return sqlite3_result_null(ctx);
    if (a->real) return sqlite3_result_double(ctx, a->realSum / static_cast<double>(a->count));
    if (a->overflow) return resultError(ctx, 8115, overflowText(SqlType{BaseType::BigInt}));
    sqlite3_result_int64(ctx, a->sum / a->count);
}

// Each UTF-16 unit through the map: letter case beyond ASCII.
template <char32_t (*kMap)(char32_t)> std::u16string mapped(std::u16string s) {
    std::ranges::transform(s, s.begin(), [](char16_t c) { return static_cast<char16_t>(kMap(c)); });
    return s;
}

template <char32_t (*kMap)(char32_t)> void caseFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    resultUtf16(ctx, mapped<kMap>(utf16Of(argv[0])));
}

// REPLACE(text, pattern, replacement): the pattern is found without regard to letter case, as
// under the server's default collation.
void replaceFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const std::u16string s = utf16Of(argv[0]), pattern = utf16Of(argv[1]),
                         replacement = utf16Of(argv[2]);
    if (pattern.empty()) return resultUtf16(ctx, s);
    const std::u16string hay = mapped<lowerCase>(s), needle = mapped<lowerCase>(pattern);
    std::u16string out;
    std::size_t from = 0;
    for (std::size_t at = hay.find(needle); at != std::u16string::npos;
         at = hay.find(needle, from)) {
        out.append(s, from, at - from);
        out += replacement;
        from = at + needle.size();
    }
    out.append(s, from, std::u16string::npos);
    resultUtf16(ctx, out);
}

// CHARINDEX(pattern, text [, start]): found without regard to letter case.
void charindexFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const std::u16string needle = mapped<lowerCase>(utf16Of(argv[0])),
                         hay = mapped<lowerCase>(utf16Of(argv[1]));
    const sqlite3_int64 start =
        argc > 2 ? std::max<sqlite3_int64>(1, sqlite3_value_int64(argv[2])) : 1;
    if (needle.empty()) return sqlite3_result_int(ctx, 0);
    const auto at = hay.find(needle, static_cast<std::size_t>(start - 1));
    sqlite3_result_int64(ctx, at == std::u16string::npos ? 0 : sqlite3_int64(at) + 1);
}

// DATALENGTH(value, bytes per character): text takes one byte a character as varchar (the
// server's code page) and two a UTF-16 unit as nvarchar; numbers their type's size.
void datalengthFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const int kind = sqlite3_value_type(argv[0]);
    if (kind == SQLITE_TEXT) {
        const int perChar = argc > 1 && sqlite3_value_int(argv[1]) == 1 ? 1 : 2;
        return sqlite3_result_int(ctx, sqlite3_value_bytes16(argv[0]) / 2 * perChar);
    }
    if (kind == SQLITE_INTEGER)
        return sqlite3_result_int(
            ctx, inWholeRange(BaseType::Int, sqlite3_value_int64(argv[0])) ? 4 : 8);
    if (kind == SQLITE_FLOAT) return sqlite3_result_int(ctx, 8);
    sqlite3_result_int(ctx, sqlite3_value_bytes(argv[0]));
}

} // namespace

void registerConversions(sqlite3* db) {
    static const StoreFunction kFunctions[] = {
        {"rowlark_divisor", 1, divisorFn},          {"rowlark_upper", 1, caseFn<upperCase>, 1},
        {"rowlark_lower", 1, caseFn<lowerCase>, 1}, {"rowlark_replace", 3, replaceFn, 7},
        {"rowlark_charindex", 2, charindexFn, 3},   {"rowlark_charindex", 3, charindexFn, 3},
        {"rowlark_datalength", 1, datalengthFn, 1}, {"rowlark_datalength", 2, datalengthFn, 1},
    };
    registerFunctions(db, kFunctions);
    sqlite3_create_function(db, "rowlark_avg", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            nullptr, averageStep, averageFinal);
}

} // namespace sandbox
