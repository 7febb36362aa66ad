// Values as the store holds them: exact numbers and dates as text, and their reading into the
// values a client is sent.
#include "types.h"

#include "tds/older_versions.h"
#include "text.h"

#include "db/utf16.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <sqlite3.h>

namespace sandbox {
namespace {

// The stored text without a copy: read at once, before the statement moves on.
std::string_view textOf(sqlite3_stmt* st, int i) {
    auto p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
    return p ? std::string_view(p, sqlite3_column_bytes(st, i)) : std::string_view();
}

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string padded(std::int64_t v, int width, char fill = '0') {
    const std::string digits = std::to_string(v);
    return std::string(std::max(0, width - static_cast<int>(digits.size())), fill) + digits;
}

// A value that does not convert: the error, and false.
bool failed(ConversionError& err, int number, std::string what) {
    err = {number, std::move(what)};
    return false;
}

// A whole, floating-point or exact number of the type, from whatever the store holds.
bool readNumber(sqlite3_stmt* st, int i, const SqlType& t, tds::Value& out, ConversionError& err) {
    const int kind = sqlite3_column_type(st, i);
    auto conversion = [&]() {
        return failed(err, 245,
                      "Conversion failed when converting the nvarchar value '" +
                          std::string(textOf(st, i)) + "' to data type " + t.tsqlName() + ".");
    };
    if (t.isInteger() || t.base == BaseType::Bit) {
        std::int64_t v;
        if (kind == SQLITE_INTEGER)
            v = sqlite3_column_int64(st, i);
        else if (kind == SQLITE_FLOAT)
            v = static_cast<std::int64_t>(sqlite3_column_double(st, i));
        else if (const auto parsed = parseNumber<std::int64_t>(textOf(st, i)))
            v = *parsed;
        else
            return conversion();
        if (t.base == BaseType::Bit) v = v != 0;
        if (!inWholeRange(t.base, v)) return failed(err, 8115, overflowText(t));
        out = v;
        return true;
    }
    if (isFloat(t)) {
        const auto d = kind == SQLITE_TEXT || kind == SQLITE_BLOB
                           ? parseNumber<double>(textOf(st, i))
                           : std::optional(sqlite3_column_double(st, i));
        if (!d) return conversion();
        out = *d;
        return true;
    }
    if (t.isExactNumber()) {
        // a whole number's digits and others' text as they stand, a double's at the scale
        char buf[64];
        const std::string_view text =
            kind == SQLITE_FLOAT
                ? std::string_view(buf,
                                   std::to_chars(buf, std::end(buf), sqlite3_column_double(st, i),
                                                 std::chars_format::fixed, t.scale)
                                       .ptr)
                : textOf(st, i);
        __int128 v;
        if (!parseDecimal(text, t.scale, v)) return conversion();
        // Money is a scaled 64-bit integer (smallmoney 32): past it the server refuses the value.
        const bool tooBig = (t.base == BaseType::Money && (v > INT64_MAX || v < INT64_MIN)) ||
                            (t.base == BaseType::SmallMoney && (v > INT32_MAX || v < INT32_MIN));
        if (tooBig) return failed(err, 8115, overflowText(t));
        out = tds::Decimal{v};
        return true;
    }
    return false;
}

} // namespace

bool parseDecimal(std::string_view s, int scale, __int128& out) {
    s = trim(s);
    bool neg = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) neg = s[0] == '-', s.remove_prefix(1);
    if (s.empty()) return false;
    __int128 v = 0;
    int frac = -1;
    bool digits = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '.' && frac < 0) {
            frac = 0;
            continue;
        }
        if (c == 'e' || c == 'E') {
            // exponent form, as a float prints it: go through double
            double d = std::strtod(std::string(s).c_str(), nullptr);
            out = static_cast<__int128>(std::llround(d * std::pow(10.0, scale)));
            if (neg) out = -out;
            return true;
        }
        if (c < '0' || c > '9') return false;
        digits = true;
        if (frac >= 0) {
            if (frac == scale) {
                if (c >= '5') ++v; // round half away from zero, once
                while (++i < s.size())
                    if (s[i] < '0' || s[i] > '9') return false;
                break;
            }
            ++frac;
        }
        v = v * 10 + (c - '0');
    }
    if (!digits) return false;
    for (int f = frac < 0 ? 0 : frac; f < scale; ++f)
        v *= 10;
    out = neg ? -v : v;
    return true;
}

bool parseDateTime(std::string_view s, BaseType base, tds::DateTime& out,
                   std::optional<long> style) {
    s = trim(s);
    std::size_t i = 0;
    // from least to most digits
    auto num = [&](std::size_t least, std::size_t most, int& v) {
        const std::size_t from = i;
        for (v = 0; i < s.size() && i - from < most && s[i] >= '0' && s[i] <= '9'; ++i)
            v = v * 10 + (s[i] - '0');
        return i - from >= least;
    };
    auto skip = [&](char c) {
        if (i >= s.size() || s[i] != c) return false;
        return ++i, true;
    };
    // CONVERT reads a date for date as datetime2 does, and drops its time.
    if (style && base == BaseType::Date) base = BaseType::DateTime2;
    const bool old = base == BaseType::DateTime || base == BaseType::SmallDateTime;
    out = {};
    int y = 0, m = 0, d = 0;
    bool hasDate = true;
    if (style && s.size() >= 8 && (s[2] == '/' || s[1] == '/')) {
        // mm/dd/yyyy (the default, us_english) or dd/mm/yyyy (3, 103), the time after a blank
        if (*style >= 0 && *style != 1 && *style != 101 && *style != 3 && *style != 103)
            return false;
        if (!num(1, 4, m) || !skip('/') || !num(1, 4, d) || !skip('/')) return false;
        const std::size_t yearAt = i;
        if (!num(1, 4, y) || (i < s.size() && s[i] != ' ')) return false;
        if (i - yearAt == 2) y += y < 50 ? 2000 : 1900;
        if (*style == 3 || *style == 103) std::swap(m, d);
    } else if (style && s.size() >= 10 && std::isalpha(static_cast<unsigned char>(s[0]))) {
        // Mon dd yyyy, its time left out
        while (m < 12 && !iequals(s.substr(0, 3), kMonths[m]))
            ++m;
        if (++m > 12 || std::sscanf(std::string(s.substr(3)).c_str(), "%d %d", &d, &y) != 2)
            return false;
        i = s.size();
    } else if (base != BaseType::Time || (s.size() >= 10 && s[4] == '-')) {
        const bool year = num(4, 4, y), dashed = skip('-');
        if (!year || !num(2, 2, m) || (dashed && !skip('-')) || !num(2, 2, d)) return false;
    } else {
        hasDate = false;
    }
    if (hasDate) {
        static const int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        if (m < 1 || m > 12 || d < 1 || d > kMonthDays[m - 1] || y < 1 || y > 9999) return false;
        if (m == 2 && d == 29 && !std::chrono::year(y).is_leap()) return false;
        out.days = static_cast<std::int32_t>(tds::daysOf(y, m, d));
        if (i < s.size() && (s[i] == ' ' || s[i] == 'T')) ++i;
    }
    if (i < s.size()) {
        int h, mi, sec = 0;
        if (!num(2, 2, h) || !skip(':') || !num(2, 2, mi) || (skip(':') && !num(2, 2, sec)))
            return false;
        if (h > 23 || mi > 59 || sec > 59) return false;
        out.nanos = (h * 3600ll + mi * 60ll + sec) * 1'000'000'000;
        if (skip('.')) {
            const std::size_t from = i;
            for (std::int64_t unit = 100'000'000; i < s.size() && s[i] >= '0' && s[i] <= '9';
                 unit /= 10)
                out.nanos += (s[i++] - '0') * unit;
            // datetime and smalldatetime keep three digits at most
            if (style && old && i - from > 3) return false;
        }
        if (i != s.size()) return false;
    } else if (!hasDate) {
        return false;
    }
    if (style && old && out.days < tds::daysOf(1753, 1, 1)) return false;
    return base != BaseType::Date || out.nanos == 0;
}

// A point in time as text of the type (the store's form), or in a style of CONVERT's. The styles
// by their pattern: Y the year's four digits, y its last two, m d the month and the day, M the
// month's name, e the day after a blank, D the date (Y-m-d), H the time (hh:mi:ss), F the
// fraction of a second the type keeps, I the hour of twelve after a blank, i the minutes, p AM or
// PM.
bool formatDateTime(const tds::DateTime& dt, const SqlType& type, long style, std::string& out) {
    std::int64_t y, m, d;
    tds::civil(dt.days, y, m, d);
    const std::int64_t secs = dt.nanos / 1'000'000'000, fraction = dt.nanos % 1'000'000'000;
    const std::int64_t h = secs / 3600, mi = secs / 60 % 60;
    const bool old = type.base == BaseType::DateTime || type.base == BaseType::SmallDateTime;
    int digits = type.base == BaseType::DateTime        ? 3
                 : type.base == BaseType::SmallDateTime ? 0
                                                        : type.scale;
    if (style == 126 && old && fraction == 0) digits = 0;
    const char* pattern = type.base == BaseType::Date   ? "D"
                          : type.base == BaseType::Time ? "HF"
                                                        : "D HF";
    // 0 and 100 are the default of the newer types; 21, 121 and 25 (nullptr) are the default.
    static const std::pair<long, const char*> kStyles[] = {
        {0, "M e Y I:ip"}, {100, "M e Y I:ip"}, {126, "DTHF"}, {1, "m/d/y"}, {101, "m/d/Y"},
        {3, "d/m/y"},      {103, "d/m/Y"},      {23, "D"},     {8, "H"},     {108, "H"},
        {12, "ymd"},       {112, "Ymd"},        {20, "D H"},   {120, "D H"}, {21, nullptr},
        {121, nullptr},    {25, nullptr}};
    if (style >= 0 && (old || (style != 0 && style != 100))) {
        const auto* found = std::find_if(std::begin(kStyles), std::end(kStyles),
                                         [&](const auto& k) { return k.first == style; });
        if (found == std::end(kStyles)) return false;
        if (found->second) pattern = found->second;
    }
    out.clear();
    for (const char* p = pattern; *p; ++p)
        out += *p == 'Y'   ? padded(y, 4)
               : *p == 'y' ? padded(y % 100, 2)
               : *p == 'm' ? padded(m, 2)
               : *p == 'd' ? padded(d, 2)
               : *p == 'M' ? std::string(kMonths[m - 1])
               : *p == 'e' ? padded(d, 2, ' ')
               : *p == 'D' ? padded(y, 4) + "-" + padded(m, 2) + "-" + padded(d, 2)
               : *p == 'H' ? padded(h, 2) + ":" + padded(mi, 2) + ":" + padded(secs % 60, 2)
               : *p == 'F' ? (digits ? "." + padded(fraction, 9).substr(0, digits) : "")
               : *p == 'I' ? padded(h % 12 == 0 ? 12 : h % 12, 2, ' ')
               : *p == 'i' ? padded(mi, 2)
               : *p == 'p' ? std::string(h < 12 ? "AM" : "PM")
                           : std::string(1, *p);
    return true;
}

bool readValue(sqlite3_stmt* st, int i, const SqlType& t, tds::Value& out, ConversionError& err) {
    int kind = sqlite3_column_type(st, i);
    if (kind == SQLITE_NULL) {
        out = std::monostate{};
        return true;
    }
    if (isNumber(t)) return readNumber(st, i, t, out, err);
    if (t.isText()) {
        // The stored UTF-8, turned into the string the value already holds: SQLite's own UTF-16
        // would be a conversion and an allocation inside it for every value.
        std::u16string* s = std::get_if<std::u16string>(&out);
        if (!s) s = &out.emplace<std::u16string>();
        s->clear();
        rowlark::utf::appendUtf16(*s, textOf(st, i));
        if ((t.base == BaseType::Char || t.base == BaseType::NChar) &&
            s->size() < std::size_t(t.length))
            s->resize(t.length, u' ');
        if (t.length != SqlType::kMax && t.base != BaseType::Text && t.base != BaseType::NText &&
            s->size() > std::size_t(t.length))
            return failed(err, 8152, kTruncated);
        return true;
    }
    if (isBinary(t)) {
        auto p = static_cast<const std::uint8_t*>(sqlite3_column_blob(st, i));
        tds::Bytes b(p, p + sqlite3_column_bytes(st, i));
        if (t.base == BaseType::Binary && b.size() < std::size_t(t.length)) b.resize(t.length, 0);
        if (t.length != SqlType::kMax && b.size() > std::size_t(t.length))
            return failed(err, 8152, kTruncated);
        out = std::move(b);
        return true;
    }
    if (t.base == BaseType::UniqueIdentifier) {
        tds::Bytes b;
        if (kind == SQLITE_BLOB && sqlite3_column_bytes(st, i) == 16) {
            auto p = static_cast<const std::uint8_t*>(sqlite3_column_blob(st, i));
            b.assign(p, p + 16);
        } else if (!parseGuid(textOf(st, i), b)) {
            return failed(err, 8169, kBadGuidText);
        }
        out = std::move(b);
        return true;
    }
    tds::DateTime dt;
    if (!parseDateTime(textOf(st, i), t.base, dt)) return failed(err, 241, kBadDateText);
    out = dt;
    return true;
}

bool parseGuid(std::string_view s, tds::Bytes& out) {
    if (s.size() == 38 && s.front() == '{') s = s.substr(1, 36);
    if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') return false;
    std::uint8_t b[16];
    // two digits a byte, read where they stand, past the four hyphens
    for (std::size_t k = 0, at = 0; k < 16;
         ++k, at += at == 6 || at == 11 || at == 16 || at == 21 ? 3 : 2)
        if (std::from_chars(s.data() + at, s.data() + at + 2, b[k], 16).ptr != s.data() + at + 2)
            return false;
    // the first three groups go out little-endian
    out = {b[3], b[2], b[1],  b[0],  b[5],  b[4],  b[7],  b[6],
           b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]};
    return true;
}

std::string decimalText(__int128 scaled, int scale) {
    unsigned __int128 m = scaled < 0 ? -static_cast<unsigned __int128>(scaled) : scaled;
    // from the last digit back into room for 39 digits or the scale's, a zero, the point, a sign
    std::string s(static_cast<std::size_t>(std::max(scale, 39)) + 3, '0');
    auto p = s.end();
    for (int i = 0; m || i <= scale; ++i, m /= 10) {
        if (i == scale && scale > 0) *--p = '.';
        *--p = static_cast<char>('0' + static_cast<int>(m % 10));
    }
    if (scaled < 0) *--p = '-';
    s.erase(s.begin(), p);
    return s;
}

std::string hexText(const tds::Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (auto byte : bytes)
        s += digits[byte >> 4], s += digits[byte & 0xF];
    return s;
}

std::string guidText(const tds::Bytes& b) {
    if (b.size() != 16) return "";
    std::string h = hexText({b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10],
                             b[11], b[12], b[13], b[14], b[15]});
    for (const std::size_t at : {8, 13, 18, 23})
        h.insert(at, 1, '-');
    return h;
}

std::string literal(const tds::TypeInfo& type, const tds::Value& v) {
    if (std::holds_alternative<std::monostate>(v)) return "NULL";
    if (auto i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17E", *d);
        return buf;
    }
    if (auto d = std::get_if<tds::Decimal>(&v))
        return decimalText(d->scaled, type.type == tds::kMoneyN ? 4 : type.scale);
    if (auto s = std::get_if<std::u16string>(&v))
        return (type.type == tds::kBigVarChar || type.type == tds::kText ? "" : "N") +
               quoteString(tds::utf8(*s));
    if (auto b = std::get_if<tds::Bytes>(&v)) {
        if (type.type == tds::kGuid && b->size() == 16) return "'" + guidText(*b) + "'";
        return "0x" + hexText(*b);
    }
    tds::TypeInfo shape = type;
    if (shape.type == tds::kDateTimN) shape = {tds::kDateTime2N, 0, 0, 3};
    return "'" + tds::utf8(tds::dateTimeText(shape, std::get<tds::DateTime>(v))) + "'";
}

} // namespace sandbox
