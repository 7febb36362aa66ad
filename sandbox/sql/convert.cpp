// rowlark_convert(value, 'from type' ('': as the store holds it), 'to type', style (NULL: none),
// mode: 0 CAST, 1 TRY_CAST (a failure is NULL), 2 an assignment to a column (cutting text or bytes
// is error 8152)): CAST, CONVERT and the server's implicit conversions, knowing the type the value
// comes from: text of numbers and dates by style, dates from text by style, the binary forms of
// text and numbers.
#include "conversions.h"

#include "store_values.h"
#include "tds/row.h"
#include "text.h"
#include "types.h"

#include <sqlite3.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <new>
#include <type_traits>

namespace sandbox {
namespace {

// The type a value came from, as its error words name it: the declared one, or the store's.
std::string sourceName(const SqlType* from, int kind) {
    if (from) {
        const std::string n = from->tsqlName();
        return n.substr(0, n.find('('));
    }
    return kind == SQLITE_INTEGER ? "int"
           : kind == SQLITE_FLOAT ? "float"
           : kind == SQLITE_BLOB  ? "varbinary"
                                  : "varchar";
}

// One conversion: its types, its style (below 0: none), and what a failure gives: the server's
// number and words, or NULL for TRY_CAST.
struct Call {
    sqlite3_context* ctx;
    const SqlType* from; // the type the value came from; nullptr: as the store holds it
    const SqlType& to;
    long style;
    bool tryCast;
    bool strict; // an assignment to a column: cutting text or bytes is an error
    void fail(int number, const std::string& message) const {
        if (tryCast) return sqlite3_result_null(ctx);
        resultError(ctx, number, message);
    }
    // 8114, a value of the store's kind that is no number of the type named
    void refused(int kind, const std::string& type) const {
        fail(8114, "Error converting data type " + sourceName(from, kind) + " to " + type + ".");
    }
};

// The value as the text of an exact number: a double printed at the scale, others as they are.
std::string exactText(sqlite3_value* v, int scale) {
    if (sqlite3_value_type(v) != SQLITE_FLOAT) return textOf(v);
    char buf[80];
    std::snprintf(buf, sizeof buf, "%.*f", scale, sqlite3_value_double(v));
    return buf;
}

// The value's moment: from the store's text of a date type, or from text to be read.
void toDateTime(sqlite3_value* v, const Call& c) {
    const SqlType& to = c.to;
    tds::DateTime dt;
    const std::string s = textOf(v);
    const bool fromDate = c.from && c.from->isDateTime();
    if (sqlite3_value_type(v) == SQLITE_BLOB ||
        !(fromDate ? parseDateTime(s, c.from->base, dt) || parseDateTime(s, to.base, dt, -1)
                   : parseDateTime(s, to.base, dt, c.style)))
        return c.fail(241, kBadDateText);
    if (to.base == BaseType::Date) dt.nanos = 0;
    if (to.base == BaseType::Time) dt.days = 0;
    if (to.base == BaseType::DateTime) { // to the nearest 1/300 of a second: .000, .003, .007
        const std::int64_t ticks = (dt.nanos * 3 + 5'000'000) / 10'000'000;
        dt.nanos = (ticks * 10 + 1) / 3 * 1'000'000;
    }
    if (to.base == BaseType::SmallDateTime)
        dt.nanos = (dt.nanos + 29'999'000'000) / 60'000'000'000 * 60'000'000'000;
    if (to.base == BaseType::DateTime2 || to.base == BaseType::Time) {
        const std::int64_t unit = tds::pow10(9 - to.scale);
        dt.nanos = (dt.nanos + unit / 2) / unit * unit;
    }
    if (dt.nanos >= 86'400'000'000'000) dt.nanos -= 86'400'000'000'000, ++dt.days;
    std::string out;
    formatDateTime(dt, to, -1, out);
    sqlite3_result_text(c.ctx, out.c_str(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// The bytes of a value in its binary form: text in its code page or UTF-16LE, whole numbers and
// floating-point numbers most significant byte first.
bool binaryForm(sqlite3_value* v, const SqlType* from, tds::Writer& out, bool& number) {
    number = false;
    if (sqlite3_value_type(v) == SQLITE_BLOB || (from && isBinary(*from))) {
        const void* p = sqlite3_value_blob(v);
        out.raw(p, static_cast<std::size_t>(sqlite3_value_bytes(v)));
        return true;
    }
    if (from && from->isText() && !isUnicode(*from)) { // char, varchar, text: their code page
        tds::appendCp1252(out, utf16Of(v));
        return true;
    }
    if (!from || from->isText()) { // UTF-16LE as the store hands it out, converted once
        const void* p = sqlite3_value_text16le(v);
        out.raw(p, static_cast<std::size_t>(sqlite3_value_bytes16(v)));
        return true;
    }
    number = true;
    if (!isNumber(*from) || from->isExactNumber()) return false;
    std::uint64_t bits = static_cast<std::uint64_t>(sqlite3_value_int64(v));
    if (from->base == BaseType::Bit) bits = bits != 0;
    if (from->base == BaseType::Float) bits = std::bit_cast<std::uint64_t>(sqlite3_value_double(v));
    if (from->base == BaseType::Real)
        bits = std::bit_cast<std::uint32_t>(static_cast<float>(sqlite3_value_double(v)));
    out.put(bits, from->wire().maxLen, true); // bit and the whole numbers' bytes; float 8, real 4
    return true;
}

void toBinary(sqlite3_value* v, const Call& c) {
    tds::Writer w;
    bool number = false;
    if (!binaryForm(v, c.from, w, number)) // a from of none is bytes or text
        return c.fail(40000, "The sandbox does not support the binary form of " +
                                 c.from->tsqlName() + ".");
    tds::Bytes& b = w.bytes();
    const std::size_t n = static_cast<std::size_t>(c.to.length);
    if (c.strict && c.to.length != SqlType::kMax && b.size() > n) return c.fail(8152, kTruncated);
    if (c.to.length != SqlType::kMax && b.size() > n) // numbers keep their last bytes
        b.erase(number ? b.begin() : b.begin() + static_cast<std::ptrdiff_t>(n),
                number ? b.end() - static_cast<std::ptrdiff_t>(n) : b.end());
    if (isFixedLength(c.to) && b.size() < n)
        b.insert(number ? b.begin() : b.end(), n - b.size(), 0);
    resultBytes(c.ctx, b.data(), b.size());
}

// A number, a date or a uniqueidentifier as text: style 0 for floating-point numbers (six
// digits), two decimals for money, the digits of a decimal at its scale. All of it is ASCII.
bool textOfValue(sqlite3_value* v, const SqlType& from, long style, std::string& s) {
    if (from.isDateTime()) {
        tds::DateTime dt;
        return parseDateTime(textOf(v), from.base, dt) && formatDateTime(dt, from, style, s);
    }
    if (isFloat(from)) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.6g", sqlite3_value_double(v));
        s = buf;
        const auto e = s.find('e');
        if (e != std::string::npos && s.size() - e == 4) s.insert(e + 2, "0");
    } else if (from.isExactNumber()) {
        const bool money = from.base == BaseType::Money || from.base == BaseType::SmallMoney;
        const int scale = scaleOf(from);
        __int128 scaled = 0;
        if (!parseDecimal(exactText(v, scale), scale, scaled)) return false;
        if (money && style != 2) scaled = (scaled + (scaled < 0 ? -50 : 50)) / 100;
        s = decimalText(scaled, money && style != 2 ? 2 : scale);
    } else if (from.isInteger() || from.base == BaseType::Bit) {
        char buf[24];
        s.assign(buf, std::to_chars(buf, buf + sizeof buf, sqlite3_value_int64(v)).ptr);
    } else {
        s = textOf(v);
    }
    return true;
}

// The text cut or padded to the type's length, as the call's result: UTF-16 from text and bytes,
// and the ASCII of numbers and dates as it stands, with no conversion to UTF-16 and back.
template <class String> void resultText(String s, const Call& c) {
    const bool numeric = c.from && isNumber(*c.from);
    const std::size_t length = static_cast<std::size_t>(c.to.length);
    if (c.to.length != SqlType::kMax && !isLargeObject(c.to) && s.size() > length) {
        if (numeric && (isUnicode(c.to) || !(c.from->isInteger() || c.from->base == BaseType::Bit)))
            return c.fail(8115, overflowText(c.to)); // only a whole number in varchar becomes *
        if (!numeric && c.strict && s.find_first_not_of(' ', length) != s.npos)
            return c.fail(8152, kTruncated); // an assignment may drop trailing blanks only
        // a number too long for the text becomes the server's mark, other text is cut
        s = numeric ? String(1, '*') : s.substr(0, length);
    }
    if (isFixedLength(c.to) && s.size() < length) s.resize(length, ' ');
    if constexpr (std::is_same_v<String, std::string>)
        sqlite3_result_text(c.ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    else
        resultUtf16(c.ctx, s);
}

void toText(sqlite3_value* v, const Call& c) {
    if (!c.from || c.from->isText()) return resultText(utf16Of(v), c);
    if (isBinary(*c.from)) { // bytes as UTF-16LE to Unicode text, else a character each
        const auto* p = static_cast<const std::uint8_t*>(sqlite3_value_blob(v));
        const tds::Bytes b(p, p + sqlite3_value_bytes(v));
        return resultText(isUnicode(c.to) ? tds::Reader(b).ucs2(b.size() / 2) : tds::fromCp1252(b),
                          c);
    }
    std::string s;
    if (!textOfValue(v, *c.from, c.style, s))
        return c.fail(40000, "The sandbox does not support the style " + std::to_string(c.style) +
                                 " for this conversion.");
    resultText(std::move(s), c);
}

void castToInteger(sqlite3_value* v, const Call& c) {
    const SqlType& t = c.to;
    const int kind = sqlite3_value_type(v);
    std::int64_t n = 0;
    if (kind == SQLITE_INTEGER) {
        n = sqlite3_value_int64(v);
    } else if (kind == SQLITE_FLOAT) {
        const double d = std::trunc(sqlite3_value_double(v));
        if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0))
            return c.fail(8115, overflowText(t));
        n = static_cast<std::int64_t>(d);
    } else if (kind == SQLITE_BLOB) {
        // The last bytes, most significant first, as the server reads binary as a number.
        const auto* b = static_cast<const std::uint8_t*>(sqlite3_value_blob(v));
        const std::size_t size = static_cast<std::size_t>(sqlite3_value_bytes(v));
        const std::size_t last = std::min<std::size_t>(size, 8);
        n = static_cast<std::int64_t>(tds::Reader(b + size - last, last).get(last, true));
    } else {
        // blank text is 0, but not as the text of an exact number
        const std::string s = textOf(v);
        const std::string_view word = trim(s);
        std::optional<std::int64_t> parsed = parseNumber<std::int64_t>(s);
        if (word.empty() && !(c.from && c.from->isExactNumber())) parsed = 0;
        if (t.base == BaseType::Bit && (iequals(word, "true") || iequals(word, "false")))
            parsed = iequals(word, "true");
        if (!parsed)
            return c.fail(245, "Conversion failed when converting the " + sourceName(c.from, kind) +
                                   " value '" + s + "' to data type " + t.tsqlName() + ".");
        n = *parsed;
    }
    if (t.base == BaseType::Bit) n = n != 0;
    if (!inWholeRange(t.base, n)) return c.fail(8115, overflowText(t));
    sqlite3_result_int64(c.ctx, n);
}

// decimal(p, s), numeric, money: rounded to the scale, refused past the precision (the result
// as resultExact keeps it).
void castToExact(sqlite3_value* v, const Call& c) {
    const SqlType& t = c.to;
    const int kind = sqlite3_value_type(v);
    const bool money = t.base == BaseType::Money || t.base == BaseType::SmallMoney;
    const int scale = scaleOf(t), precision = digitsOf(t);
    __int128 scaled = 0;
    if (kind == SQLITE_BLOB || !parseDecimal(exactText(v, scale), scale, scaled))
        return c.refused(kind, t.base == BaseType::Numeric ? "numeric" : t.tsqlName());
    const __int128 limit = tds::pow10<__int128>(precision);
    const bool tooBig = t.base == BaseType::Money        ? scaled > INT64_MAX || scaled < INT64_MIN
                        : t.base == BaseType::SmallMoney ? scaled > INT32_MAX || scaled < INT32_MIN
                                                         : scaled >= limit || scaled <= -limit;
    if (tooBig)
        return c.fail(8115, "Arithmetic overflow error converting " + sourceName(nullptr, kind) +
                                " to data type " + (money ? t.tsqlName() : "numeric") + ".");
    resultExact(c.ctx, decimalText(scaled, scale));
}

// The types of a call, parsed once for each statement.
const SqlType* cachedType(sqlite3_context* ctx, sqlite3_value** argv, int i) {
    if (auto* t = static_cast<SqlType*>(sqlite3_get_auxdata(ctx, i))) return t;
    const auto parsed = SqlType::fromDeclared(textOf(argv[i]));
    if (!parsed) return nullptr;
    sqlite3_set_auxdata(ctx, i, new SqlType(*parsed),
                        [](void* p) { delete static_cast<SqlType*>(p); });
    // Where the store could not keep the type it has deleted it already: out of memory.
    auto* kept = static_cast<SqlType*>(sqlite3_get_auxdata(ctx, i));
    if (!kept) throw std::bad_alloc();
    return kept;
}

void convertFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const SqlType* to = cachedType(ctx, argv, 2);
    const SqlType* from = sqlite3_value_bytes(argv[1]) ? cachedType(ctx, argv, 1) : nullptr;
    if (!to) return sqlite3_result_null(ctx);
    const long style = sqlite3_value_type(argv[3]) == SQLITE_NULL ? -1 : sqlite3_value_int(argv[3]);
    const int mode = sqlite3_value_int(argv[4]);
    const Call c{ctx, from, *to, style, mode == 1, mode == 2};
    sqlite3_value* v = argv[0];
    if (sqlite3_value_type(v) == SQLITE_NULL) return sqlite3_result_null(ctx);
    if (to->isText()) return toText(v, c);
    if (isBinary(*to)) return toBinary(v, c);
    if (to->isDateTime()) return toDateTime(v, c);
    if (to->base == BaseType::UniqueIdentifier) {
        tds::Bytes b;
        if (sqlite3_value_type(v) == SQLITE_BLOB && sqlite3_value_bytes(v) >= 16) {
            const auto* p = static_cast<const std::uint8_t*>(sqlite3_value_blob(v));
            b.assign(p, p + 16);
        } else if (!parseGuid(textOf(v), b)) {
            return c.fail(8169, kBadGuidText);
        }
        const std::string s = guidText(b);
        return sqlite3_result_text(ctx, s.c_str(), 36, SQLITE_TRANSIENT);
    }
    if (isFloat(*to) && sqlite3_value_type(v) == SQLITE_TEXT) {
        const std::string s = textOf(v);
        const auto d = trim(s).empty() ? 0.0 : parseNumber<double>(s);
        if (!d) return c.refused(SQLITE_TEXT, "float");
        return sqlite3_result_double(ctx, *d);
    }
    if (isFloat(*to)) return sqlite3_result_double(ctx, sqlite3_value_double(v));
    if (to->isInteger() || to->base == BaseType::Bit) return castToInteger(v, c);
    if (to->isExactNumber()) return castToExact(v, c);
    sqlite3_result_value(ctx, v);
}

} // namespace

void registerConvert(sqlite3* db) {
    static const StoreFunction kFunctions[] = {{"rowlark_convert", 5, convertFn}};
    registerFunctions(db, kFunctions);
}

} // namespace sandbox
