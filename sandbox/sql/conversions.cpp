#include "conversions.h"

#include "convert.h"

#include "collation.h"
#include "store_values.h"
#include "text.h"
#include "types.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace sandbox {
namespace {

// What a failed conversion says: the server's number and words, or NULL for TRY_CAST.
struct Failure {
    sqlite3_context* ctx;
    bool tryCast;
    std::string source; // the type the value came from, in the error's words; "" unknown
    void operator()(int number, const std::string& message) const {
        if (tryCast) return sqlite3_result_null(ctx);
        const std::string text = "Msg " + std::to_string(number) + ": " + message;
        sqlite3_result_error(ctx, text.c_str(), -1);
    }
};

// The T-SQL name of a value's type as the store holds it, for the words of an error.
const char* sourceName(int kind) {
    switch (kind) {
    case SQLITE_INTEGER:
        return "int";
    case SQLITE_FLOAT:
        return "float";
    case SQLITE_BLOB:
        return "varbinary";
    default:
        return "varchar";
    }
}

void castToInteger(sqlite3_context* ctx, sqlite3_value* v, const SqlType& t, const Failure& fail) {
    const int kind = sqlite3_value_type(v);
    std::int64_t n = 0;
    if (kind == SQLITE_INTEGER) {
        n = sqlite3_value_int64(v);
    } else if (kind == SQLITE_FLOAT) {
        const double d = std::trunc(sqlite3_value_double(v));
        if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0))
            return fail(8115, "Arithmetic overflow error converting expression to data type " +
                                  t.tsqlName() + ".");
        n = static_cast<std::int64_t>(d);
    } else if (kind == SQLITE_BLOB) {
        // The last bytes, most significant first, as the server reads binary as a number.
        const auto* b = static_cast<const unsigned char*>(sqlite3_value_blob(v));
        const int size = sqlite3_value_bytes(v);
        std::uint64_t u = 0;
        for (int i = size > 8 ? size - 8 : 0; i < size; ++i)
            u = (u << 8) | b[i];
        n = static_cast<std::int64_t>(u);
    } else {
        const std::string s = textOf(v);
        const std::string_view digits = trim(s);
        std::optional<std::int64_t> parsed;
        if (t.base == BaseType::Bit && (iequals(digits, "true") || iequals(digits, "false")))
            parsed = iequals(digits, "true");
        else
            parsed = parseWholeNumber(!digits.empty() && digits.front() == '+' ? digits.substr(1)
                                                                               : digits);
        if (!parsed)
            return fail(245, "Conversion failed when converting the " +
                                 (fail.source.empty() ? std::string("varchar") : fail.source) +
                                 " value '" + s + "' to data type " + t.tsqlName() + ".");
        n = *parsed;
    }
    std::int64_t lo = INT64_MIN, hi = INT64_MAX;
    if (t.base == BaseType::TinyInt) lo = 0, hi = 255;
    if (t.base == BaseType::SmallInt) lo = INT16_MIN, hi = INT16_MAX;
    if (t.base == BaseType::Int) lo = INT32_MIN, hi = INT32_MAX;
    if (t.base == BaseType::Bit) n = n != 0;
    if (n < lo || n > hi)
        return fail(8115, "Arithmetic overflow error converting expression to data type " +
                              t.tsqlName() + ".");
    sqlite3_result_int64(ctx, n);
}

// decimal(p, s), numeric, money: rounded to the scale, refused past the precision (the result
// as resultExact keeps it).
void castToExact(sqlite3_context* ctx, sqlite3_value* v, const SqlType& t, const Failure& fail) {
    const int kind = sqlite3_value_type(v);
    const bool money = t.base == BaseType::Money || t.base == BaseType::SmallMoney;
    const int scale = money ? 4 : t.scale;
    const int precision = t.base == BaseType::Money        ? 19
                          : t.base == BaseType::SmallMoney ? 10
                                                           : t.precision;
    std::string text;
    if (kind == SQLITE_FLOAT) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "%.*f", scale, sqlite3_value_double(v));
        text = buf;
    } else {
        text = textOf(v);
    }
    __int128 scaled = 0;
    if (kind == SQLITE_BLOB || !parseDecimal(text, scale, scaled))
        return fail(8114, "Error converting data type " +
                              (fail.source.empty() ? std::string(sourceName(kind)) : fail.source) +
                              " to " + (t.base == BaseType::Numeric ? "numeric" : t.tsqlName()) +
                              ".");
    __int128 limit = 1;
    for (int i = 0; i < precision; ++i)
        limit *= 10;
    const bool tooBig = money
                            ? (t.base == BaseType::Money ? scaled > INT64_MAX || scaled < INT64_MIN
                                                         : scaled > INT32_MAX || scaled < INT32_MIN)
                            : scaled >= limit || scaled <= -limit;
    if (tooBig)
        return fail(8115, std::string("Arithmetic overflow error converting ") + sourceName(kind) +
                              " to data type " + (money ? t.tsqlName() : "numeric") + ".");
    resultExact(ctx, decimalText(scaled, scale));
}

// The right operand of / and %: zero is the server's error, where the store would give NULL.
void divisorFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int kind = sqlite3_value_type(argv[0]);
    if ((kind == SQLITE_INTEGER && sqlite3_value_int64(argv[0]) == 0) ||
        (kind == SQLITE_FLOAT && sqlite3_value_double(argv[0]) == 0.0))
        return sqlite3_result_error(ctx, "Msg 8134: Divide by zero error encountered.", -1);
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
    if (a->overflow)
        return sqlite3_result_error(
            ctx, "Msg 8115: Arithmetic overflow error converting expression to data type bigint.",
            -1);
    sqlite3_result_int64(ctx, a->sum / a->count);
}

template <char32_t (*kMap)(char32_t)> void caseFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    std::u16string s = utf16Of(argv[0]);
    for (char16_t& c : s)
        c = static_cast<char16_t>(kMap(c));
    resultUtf16(ctx, s);
}

std::u16string folded(std::u16string s) {
    for (char16_t& c : s)
        c = static_cast<char16_t>(lowerCase(c));
    return s;
}

// REPLACE(text, pattern, replacement): the pattern is found without regard to letter case, as
// under the server's default collation.
void replaceFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    for (int i = 0; i < 3; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    const std::u16string s = utf16Of(argv[0]), pattern = utf16Of(argv[1]),
                         replacement = utf16Of(argv[2]);
    if (pattern.empty()) return resultUtf16(ctx, s);
    const std::u16string hay = folded(s), needle = folded(pattern);
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
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const std::u16string needle = folded(utf16Of(argv[0])), hay = folded(utf16Of(argv[1]));
    const std::size_t from =
        argc > 2
            ? static_cast<std::size_t>(std::max<sqlite3_int64>(1, sqlite3_value_int64(argv[2])) - 1)
            : 0;
    if (needle.empty()) return sqlite3_result_int(ctx, 0);
    const auto at = hay.find(needle, from);
    sqlite3_result_int64(ctx, at == std::u16string::npos ? 0 : sqlite3_int64(at) + 1);
}

// DATALENGTH(value, bytes per character): text takes one byte a character as varchar (the
// server's code page) and two a UTF-16 unit as nvarchar; numbers their type's size.
void datalengthFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const int kind = sqlite3_value_type(argv[0]);
    if (kind == SQLITE_NULL) return sqlite3_result_null(ctx);
    if (kind == SQLITE_TEXT) {
        const int perChar = argc > 1 ? sqlite3_value_int(argv[1]) : 2;
        const int units = sqlite3_value_bytes16(argv[0]) / 2;
        return sqlite3_result_int(ctx, perChar == 1 ? units : 2 * units);
    }
    if (kind == SQLITE_INTEGER) {
        const std::int64_t n = sqlite3_value_int64(argv[0]);
        return sqlite3_result_int(ctx, n >= INT32_MIN && n <= INT32_MAX ? 4 : 8);
    }
    if (kind == SQLITE_FLOAT) return sqlite3_result_int(ctx, 8);
    sqlite3_result_int(ctx, sqlite3_value_bytes(argv[0]));
}

} // namespace

void castLegacy(sqlite3_context* ctx, sqlite3_value* v, const SqlType& to, bool tryCast,
                const std::string& source) {
    const Failure fail{ctx, tryCast, source};
    if (to.isInteger() || to.base == BaseType::Bit) return castToInteger(ctx, v, to, fail);
    if (to.isExactNumber()) return castToExact(ctx, v, to, fail);
    sqlite3_result_value(ctx, v);
}

void registerConversions(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "rowlark_divisor", 1, flags, nullptr, divisorFn, nullptr, nullptr);
    sqlite3_create_function(db, "rowlark_avg", 1, flags, nullptr, nullptr, averageStep,
                            averageFinal);
    sqlite3_create_function(db, "rowlark_upper", 1, flags, nullptr, caseFn<upperCase>, nullptr,
                            nullptr);
    sqlite3_create_function(db, "rowlark_lower", 1, flags, nullptr, caseFn<lowerCase>, nullptr,
                            nullptr);
    sqlite3_create_function(db, "rowlark_replace", 3, flags, nullptr, replaceFn, nullptr, nullptr);
    for (int argc : {2, 3})
        sqlite3_create_function(db, "rowlark_charindex", argc, flags, nullptr, charindexFn, nullptr,
                                nullptr);
    for (int argc : {1, 2})
        sqlite3_create_function(db, "rowlark_datalength", argc, flags, nullptr, datalengthFn,
                                nullptr, nullptr);
}

} // namespace sandbox
