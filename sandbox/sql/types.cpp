#include "types.h"

#include "text.h"

#include "db/utf16.h"

#include <cmath>
#include <cstring>
#include <sqlite3.h>

namespace sandbox {
namespace {

struct Named {
    const char* name;
    BaseType base;
};

constexpr Named kNames[] = {
    {"tinyint", BaseType::TinyInt},
    {"smallint", BaseType::SmallInt},
    {"int", BaseType::Int},
    {"integer", BaseType::Int},
    {"bigint", BaseType::BigInt},
    {"bit", BaseType::Bit},
    {"decimal", BaseType::Decimal},
    {"dec", BaseType::Decimal},
    {"numeric", BaseType::Numeric},
    {"money", BaseType::Money},
    {"smallmoney", BaseType::SmallMoney},
    {"float", BaseType::Float},
    {"real", BaseType::Real},
    {"char", BaseType::Char},
    {"varchar", BaseType::VarChar},
    {"nchar", BaseType::NChar},
    {"nvarchar", BaseType::NVarChar},
    {"text", BaseType::Text},
    {"ntext", BaseType::NText},
    {"binary", BaseType::Binary},
    {"varbinary", BaseType::VarBinary},
    {"date", BaseType::Date},
    {"time", BaseType::Time},
    {"datetime", BaseType::DateTime},
    {"datetime2", BaseType::DateTime2},
    {"smalldatetime", BaseType::SmallDateTime},
    {"uniqueidentifier", BaseType::UniqueIdentifier},
    {"image", BaseType::Image},
    {"sysname", BaseType::NVarChar},
};

const char* canonicalName(BaseType b) {
    for (const auto& n : kNames)
        if (n.base == b) return n.name;
    return "int";
}

bool toInt(std::string_view s, int& out) {
    if (s.empty()) return false;
    long v = 0;
    bool neg = s[0] == '-';
    for (std::size_t i = neg ? 1 : 0; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9' || v > 100000) return false;
        v = v * 10 + (s[i] - '0');
    }
    out = static_cast<int>(neg ? -v : v);
    return true;
}

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468; // days since 1970-01-01
}

constexpr std::int64_t kDays0001To1970 = 719162;

std::string textOf(sqlite3_stmt* st, int i) {
    auto p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
    return p ? std::string(p, sqlite3_column_bytes(st, i)) : std::string();
}

bool parseGuid(std::string_view s, tds::Bytes& out) {
    if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
    if (s.size() != 36) return false;
    std::uint8_t b[16];
    int k = 0;
    for (std::size_t i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (s[i++] != '-') return false;
            continue;
        }
        auto hex = [](char c) {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        int hi = hex(s[i]), lo = hex(s[i + 1]);
        if (hi < 0 || lo < 0) return false;
        b[k++] = static_cast<std::uint8_t>(hi * 16 + lo);
        i += 2;
    }
    // the first three groups go out little-endian
    out = {b[3], b[2], b[1],  b[0],  b[5],  b[4],  b[7],  b[6],
           b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]};
    return true;
}

} // namespace

std::optional<SqlType> SqlType::fromTsql(std::string_view name,
                                         const std::vector<std::string>& args) {
    std::string lower = toLower(name);
    if (lower == "double precision") lower = "float";
    const Named* found = nullptr;
    for (const auto& n : kNames)
        if (lower == n.name) found = &n;
    if (!found) return std::nullopt;
    SqlType t;
    t.base = found->base;
    auto arg = [&](std::size_t i, int& out) {
        if (i >= args.size()) return false;
        if (toLower(args[i]) == "max") return out = kMax, true;
        return toInt(args[i], out);
    };
    switch (t.base) {
    case BaseType::Char:
    case BaseType::VarChar:
    case BaseType::NChar:
    case BaseType::NVarChar:
    case BaseType::Binary:
    case BaseType::VarBinary:
        t.length = 1;
        if (lower == "sysname") t.length = 128;
        if (!args.empty() && !arg(0, t.length)) return std::nullopt;
        if (t.length == kMax &&
            (t.base == BaseType::Char || t.base == BaseType::NChar || t.base == BaseType::Binary))
            return std::nullopt;
        if (t.length != kMax &&
            (t.length < 1 ||
             t.length >
                 ((t.base == BaseType::NChar || t.base == BaseType::NVarChar) ? 4000 : 8000)))
            return std::nullopt;
        break;
    case BaseType::Decimal:
    case BaseType::Numeric:
        t.precision = 18;
        if (!args.empty() && !arg(0, t.precision)) return std::nullopt;
        if (args.size() > 1 && !arg(1, t.scale)) return std::nullopt;
        if (t.precision < 1 || t.precision > 38 || t.scale < 0 || t.scale > t.precision)
            return std::nullopt;
        break;
    case BaseType::Money:
        t.precision = 19, t.scale = 4;
        break;
    case BaseType::SmallMoney:
        t.precision = 10, t.scale = 4;
        break;
    case BaseType::Float:
        t.precision = 53;
        if (!args.empty() && arg(0, t.precision) && t.precision <= 24) t.base = BaseType::Real;
        break;
    case BaseType::Time:
    case BaseType::DateTime2:
        t.scale = 7;
        if (!args.empty() && (!arg(0, t.scale) || t.scale < 0 || t.scale > 7)) return std::nullopt;
        break;
    case BaseType::Image:
        t.length = kMax;
        if (!args.empty()) return std::nullopt;
        break;
    default:
        if (!args.empty()) return std::nullopt;
    }
    return t;
}

// "(50)", "(10,2)", "(7)" or nothing; (max) written as maxText.
static std::string arguments(const SqlType& t, const std::string& maxText) {
    switch (t.base) {
    case BaseType::Char:
    case BaseType::VarChar:
    case BaseType::NChar:
    case BaseType::NVarChar:
    case BaseType::Binary:
    case BaseType::VarBinary:
        return "(" + (t.length == SqlType::kMax ? maxText : std::to_string(t.length)) + ")";
    case BaseType::Decimal:
    case BaseType::Numeric:
        return "(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
    case BaseType::Time:
    case BaseType::DateTime2:
        return "(" + std::to_string(t.scale) + ")";
    default:
        return "";
    }
}

std::string SqlType::declared() const {
    std::string s = canonicalName(base);
    // Decimals and money are kept as their text, so that every digit stays (money's 19 do not fit
    // a double); the column's collation compares them as numbers.
    if (isDateTime() || base == BaseType::UniqueIdentifier || isExactNumber()) s += " text";
    if (base == BaseType::Binary || base == BaseType::VarBinary || base == BaseType::Image)
        s += " blob";
    return s + arguments(*this, "-1"); // the store's type names take numbers only
}

std::optional<SqlType> SqlType::fromDeclared(std::string_view d) {
    // The store's own row key (INTEGER PRIMARY KEY, written only for numbering columns): bigint.
    // T-SQL's "integer" reaches the store as "int", so this spelling means nothing else.
    if (d == kRowKeyType) return SqlType{BaseType::BigInt};
    std::size_t open = d.find('(');
    std::string_view head = d.substr(0, open);
    std::string name(head.substr(0, head.find(' ')));
    std::vector<std::string> args;
    if (open != std::string_view::npos) {
        std::string_view inner = d.substr(open + 1, d.rfind(')') - open - 1);
        for (std::size_t at = 0;;) {
            std::size_t comma = inner.find(',', at);
            std::string a(trim(inner.substr(at, comma - at)));
            args.push_back(a == "-1" ? "max" : a);
            if (comma == std::string_view::npos) break;
            at = comma + 1;
        }
    }
    return fromTsql(name, args);
}

std::string SqlType::tsqlName() const {
    return canonicalName(base) + arguments(*this, "max");
}

const char* SqlType::castTarget() const {
    if (isInteger() || base == BaseType::Bit) return "INTEGER";
    if (base == BaseType::Float || base == BaseType::Real || isExactNumber()) return "REAL";
    if (base == BaseType::Binary || base == BaseType::VarBinary || base == BaseType::Image)
        return "BLOB";
    return "TEXT";
}

bool SqlType::isInteger() const {
    return base == BaseType::TinyInt || base == BaseType::SmallInt || base == BaseType::Int ||
           base == BaseType::BigInt;
}
bool SqlType::isText() const {
    return base == BaseType::Char || base == BaseType::VarChar || base == BaseType::NChar ||
           base == BaseType::NVarChar || base == BaseType::Text || base == BaseType::NText;
}
bool SqlType::isExactNumber() const {
    return base == BaseType::Decimal || base == BaseType::Numeric || base == BaseType::Money ||
           base == BaseType::SmallMoney;
}
bool SqlType::isDateTime() const {
    return base == BaseType::Date || base == BaseType::Time || base == BaseType::DateTime ||
           base == BaseType::DateTime2 || base == BaseType::SmallDateTime;
}

tds::TypeInfo SqlType::wire() const {
    using namespace tds;
    auto bytesLen = [&](int perChar) -> std::uint16_t {
        return length == kMax ? kPlpMaxLen : static_cast<std::uint16_t>(length * perChar);
    };
    switch (base) {
    case BaseType::TinyInt:
        return {kIntN, 1};
    case BaseType::SmallInt:
        return {kIntN, 2};
    case BaseType::Int:
        return {kIntN, 4};
    case BaseType::BigInt:
        return {kIntN, 8};
    case BaseType::Bit:
        return {kBitN, 1};
    case BaseType::Decimal:
    case BaseType::Numeric: {
        std::uint8_t n = precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
        return {static_cast<std::uint8_t>(base == BaseType::Decimal ? kDecimalN : kNumericN), n,
                static_cast<std::uint8_t>(precision), static_cast<std::uint8_t>(scale)};
    }
    case BaseType::Money:
        return {kMoneyN, 8};
    case BaseType::SmallMoney:
        return {kMoneyN, 4};
    case BaseType::Float:
        return {kFltN, 8};
    case BaseType::Real:
        return {kFltN, 4};
    case BaseType::Char:
        return {kBigChar, bytesLen(1)};
    case BaseType::VarChar:
        return {kBigVarChar, bytesLen(1)};
    case BaseType::NChar:
        return {kNChar, bytesLen(2)};
    case BaseType::NVarChar:
        return {kNVarChar, bytesLen(2)};
    // text and ntext go out as their (max) successors, which clients read the same way
    case BaseType::Text:
        return {kBigVarChar, kPlpMaxLen};
    case BaseType::NText:
        return {kNVarChar, kPlpMaxLen};
    case BaseType::Binary:
        return {kBigBinary, bytesLen(1)};
    case BaseType::VarBinary:
        return {kBigVarBinary, bytesLen(1)};
    case BaseType::Date:
        return {kDateN, 3};
    case BaseType::Time:
        return {kTimeN, 0, 0, static_cast<std::uint8_t>(scale)};
    case BaseType::DateTime2:
        return {kDateTime2N, 0, 0, static_cast<std::uint8_t>(scale)};
    case BaseType::DateTime:
        return {kDateTimN, 8};
    case BaseType::SmallDateTime:
        return {kDateTimN, 4};
    case BaseType::UniqueIdentifier:
        return {kGuid, 16};
    case BaseType::Image: // as varbinary(max), as text goes as varchar(max)
        return {kBigVarBinary, kPlpMaxLen};
    }
    return {};
}

SqlType inferType(int sqliteType) {
    switch (sqliteType) {
    case SQLITE_INTEGER:
        return {BaseType::BigInt};
    case SQLITE_FLOAT:
        return {BaseType::Float, 0, 53};
    case SQLITE_BLOB:
        return {BaseType::VarBinary, SqlType::kMax};
    default:
        return {BaseType::NVarChar, 4000};
    }
}

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

bool parseDateTime(std::string_view s, BaseType base, tds::DateTime& out) {
    s = trim(s);
    std::size_t i = 0;
    auto num = [&](int width, int& v) {
        v = 0;
        for (int k = 0; k < width; ++k, ++i) {
            if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
            v = v * 10 + (s[i] - '0');
        }
        return true;
    };
    out = {};
    bool hasDate = false;
    if (base != BaseType::Time || (s.size() >= 10 && s[4] == '-')) {
        int y, m, d;
        if (!num(4, y)) return false;
        bool dashed = i < s.size() && s[i] == '-';
        if (dashed) ++i;
        if (!num(2, m)) return false;
        if (dashed && (i >= s.size() || s[i++] != '-')) return false;
        if (!num(2, d)) return false;
        static const int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        if (m < 1 || m > 12 || d < 1 || d > kMonthDays[m - 1] || y < 1) return false;
        if (m == 2 && d == 29 && !(y % 4 == 0 && (y % 100 != 0 || y % 400 == 0))) return false;
        out.days = static_cast<std::int32_t>(daysFromCivil(y, m, d) + kDays0001To1970);
        hasDate = true;
        if (i < s.size() && (s[i] == ' ' || s[i] == 'T')) ++i;
    }
    if (i < s.size()) {
        int h, mi, sec = 0;
        if (!num(2, h) || i >= s.size() || s[i++] != ':' || !num(2, mi)) return false;
        if (i < s.size() && s[i] == ':') {
            ++i;
            if (!num(2, sec)) return false;
        }
        if (h > 23 || mi > 59 || sec > 59) return false;
        std::int64_t nanos = (h * 3600ll + mi * 60ll + sec) * 1'000'000'000;
        if (i < s.size() && s[i] == '.') {
            ++i;
            std::int64_t unit = 100'000'000;
            while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
                nanos += (s[i++] - '0') * unit;
                unit /= 10;
            }
        }
        if (i != s.size()) return false;
        out.nanos = nanos;
    } else if (!hasDate) {
        return false;
    }
    if (base == BaseType::Date && out.nanos) return false;
    return true;
}

bool readValue(sqlite3_stmt* st, int i, const SqlType& t, tds::Value& out, ConversionError& err) {
    int kind = sqlite3_column_type(st, i);
    if (kind == SQLITE_NULL) {
        out = std::monostate{};
        return true;
    }
    auto fail = [&](int number, const std::string& what) {
        err = {number, what};
        return false;
    };
    auto conversion = [&]() {
        return fail(245, "Conversion failed when converting the nvarchar value '" + textOf(st, i) +
                             "' to data type " + t.tsqlName() + ".");
    };
    if (t.isInteger() || t.base == BaseType::Bit) {
        std::int64_t v;
        if (kind == SQLITE_INTEGER)
            v = sqlite3_column_int64(st, i);
        else if (kind == SQLITE_FLOAT)
            v = static_cast<std::int64_t>(sqlite3_column_double(st, i));
        else {
            std::string s = std::string(trim(textOf(st, i)));
            char* end = nullptr;
            errno = 0;
            v = std::strtoll(s.c_str(), &end, 10);
            if (s.empty() || *end || errno) return conversion();
        }
        std::int64_t lo = INT64_MIN, hi = INT64_MAX;
        switch (t.base) {
        case BaseType::TinyInt:
            lo = 0, hi = 255;
            break;
        case BaseType::SmallInt:
            lo = INT16_MIN, hi = INT16_MAX;
            break;
        case BaseType::Int:
            lo = INT32_MIN, hi = INT32_MAX;
            break;
        case BaseType::Bit:
            v = v != 0;
            break;
        default:
            break;
        }
        if (v < lo || v > hi)
            return fail(8115, "Arithmetic overflow error converting expression to data type " +
                                  t.tsqlName() + ".");
        out = v;
        return true;
    }
    if (t.base == BaseType::Float || t.base == BaseType::Real) {
        if (kind == SQLITE_TEXT || kind == SQLITE_BLOB) {
            std::string s = textOf(st, i);
            char* end = nullptr;
            double d = std::strtod(s.c_str(), &end);
            if (s.empty() || *end) return conversion();
            out = d;
        } else {
            out = sqlite3_column_double(st, i);
        }
        return true;
    }
    if (t.isExactNumber()) {
        __int128 v;
        if (kind == SQLITE_INTEGER) {
            v = sqlite3_column_int64(st, i);
            for (int k = 0; k < t.scale; ++k)
                v *= 10;
        } else if (kind == SQLITE_FLOAT) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.*f", t.scale, sqlite3_column_double(st, i));
            if (!parseDecimal(buf, t.scale, v)) return conversion();
        } else if (!parseDecimal(textOf(st, i), t.scale, v)) {
            return conversion();
        }
        // Money is a scaled 64-bit integer (smallmoney 32): past it the server refuses the value.
        const bool tooBig = (t.base == BaseType::Money && (v > INT64_MAX || v < INT64_MIN)) ||
                            (t.base == BaseType::SmallMoney && (v > INT32_MAX || v < INT32_MIN));
        if (tooBig)
            return fail(8115, "Arithmetic overflow error converting expression to data type " +
                                  t.tsqlName() + ".");
        out = tds::Decimal{v};
        return true;
    }
    if (t.isText()) {
        // The stored UTF-8, turned into the string the value already holds: SQLite's own UTF-16
        // would be a conversion and an allocation inside it for every value.
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        std::size_t n = static_cast<std::size_t>(sqlite3_column_bytes(st, i));
        std::u16string* s = std::get_if<std::u16string>(&out);
        if (!s) s = &out.emplace<std::u16string>();
        s->clear();
        if (p) rowlark::utf::appendUtf16(*s, std::string_view(p, n));
        if ((t.base == BaseType::Char || t.base == BaseType::NChar) &&
            s->size() < std::size_t(t.length))
            s->resize(t.length, u' ');
        if (t.length != SqlType::kMax && t.base != BaseType::Text && t.base != BaseType::NText &&
            s->size() > std::size_t(t.length))
            return fail(8152, "String or binary data would be truncated.");
        return true;
    }
    if (t.base == BaseType::Binary || t.base == BaseType::VarBinary || t.base == BaseType::Image) {
        auto p = static_cast<const std::uint8_t*>(sqlite3_column_blob(st, i));
        std::size_t n = static_cast<std::size_t>(sqlite3_column_bytes(st, i));
        tds::Bytes b(p, p + n);
        if (t.base == BaseType::Binary && b.size() < std::size_t(t.length)) b.resize(t.length, 0);
        if (t.length != SqlType::kMax && b.size() > std::size_t(t.length))
            return fail(8152, "String or binary data would be truncated.");
        out = std::move(b);
        return true;
    }
    if (t.base == BaseType::UniqueIdentifier) {
        tds::Bytes b;
        if (kind == SQLITE_BLOB && sqlite3_column_bytes(st, i) == 16) {
            auto p = static_cast<const std::uint8_t*>(sqlite3_column_blob(st, i));
            b.assign(p, p + 16);
        } else if (!parseGuid(textOf(st, i), b)) {
            return fail(
                8169,
                "Conversion failed when converting from a character string to uniqueidentifier.");
        }
        out = std::move(b);
        return true;
    }
    tds::DateTime dt;
    if (!parseDateTime(textOf(st, i), t.base, dt))
        return fail(241,
                    "Conversion failed when converting date and/or time from character string.");
    out = dt;
    return true;
}

std::string decimalText(__int128 scaled, int scale) {
    const bool negative = scaled < 0;
    unsigned __int128 m = negative ? -static_cast<unsigned __int128>(scaled) : scaled;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    } while (m);
    while (static_cast<int>(digits.size()) <= scale)
        digits.insert(digits.begin(), '0');
    if (scale > 0) digits.insert(digits.end() - scale, '.');
    return (negative ? "-" : "") + digits;
}

std::string guidText(const tds::Bytes& b) {
    static const char digits[] = "0123456789ABCDEF";
    static const int order[] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string s;
    for (int k = 0; k < 16 && b.size() == 16; ++k) {
        const std::uint8_t byte = b[static_cast<std::size_t>(order[k])];
        s += digits[byte >> 4];
        s += digits[byte & 0xF];
        if (k == 3 || k == 5 || k == 7 || k == 9) s += '-';
    }
    return s;
}

SqlType fromWire(const tds::TypeInfo& w) {
    using namespace tds;
    const int chars = w.maxLen == kPlpMaxLen ? SqlType::kMax : w.maxLen;
    switch (w.type) {
    case kIntN:
        return {w.maxLen == 1   ? BaseType::TinyInt
                : w.maxLen == 2 ? BaseType::SmallInt
                : w.maxLen == 4 ? BaseType::Int
                                : BaseType::BigInt};
    case kBitN:
        return {BaseType::Bit};
    case kFltN:
        return w.maxLen == 4 ? SqlType{BaseType::Real, 0, 24} : SqlType{BaseType::Float, 0, 53};
    case kDecimalN:
    case kNumericN:
        return {w.type == kDecimalN ? BaseType::Decimal : BaseType::Numeric, 0, w.precision,
                w.scale};
    case kMoneyN:
        return {w.maxLen == 4 ? BaseType::SmallMoney : BaseType::Money, 0, 0, 4};
    case kDateTimN:
        return {w.maxLen == 4 ? BaseType::SmallDateTime : BaseType::DateTime};
    case kDateN:
        return {BaseType::Date};
    case kTimeN:
        return {BaseType::Time, 0, 0, w.scale};
    case kDateTime2N:
        return {BaseType::DateTime2, 0, 0, w.scale};
    case kGuid:
        return {BaseType::UniqueIdentifier};
    case kBigVarChar:
        return {BaseType::VarChar, chars};
    case kBigChar:
        return {BaseType::Char, chars};
    case kNVarChar:
        return {BaseType::NVarChar, chars == SqlType::kMax ? chars : chars / 2};
    case kNChar:
        return {BaseType::NChar, chars / 2};
    case kBigVarBinary:
        return {BaseType::VarBinary, chars};
    case kBigBinary:
        return {BaseType::Binary, chars};
    case kText:
        return {BaseType::VarChar, SqlType::kMax};
    case kNText:
        return {BaseType::NVarChar, SqlType::kMax};
    default:
        return {BaseType::VarBinary, SqlType::kMax};
    }
}

} // namespace sandbox
