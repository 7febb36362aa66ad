#include "types.h"

#include "functions.h"
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
