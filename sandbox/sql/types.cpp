#include "types.h"

#include "text.h"

#include <algorithm>
#include <climits>
#include <ranges>
#include <sqlite3.h>

namespace sandbox {
namespace {

using B = BaseType;
enum Kind : std::uint8_t { Whole, Exact, Approximate, Chars, Bytes, Moment, Other };

// Each type, in BaseType's order: its T-SQL name, its kind, its rank in the server's data type
// precedence (higher wins), how it travels (the wire type, and its length where that is fixed;
// 0: the declared length's bytes), and a whole number's or money's digits as a decimal's.
struct Facts {
    const char* name;
    Kind kind;
    int rank;
    std::uint8_t wire;
    std::uint16_t size;
    int digits;
};

constexpr Facts kFacts[] = {
    {"tinyint", Whole, 11, tds::kIntN, 1, 3},
    {"smallint", Whole, 12, tds::kIntN, 2, 5},
    {"int", Whole, 13, tds::kIntN, 4, 10},
    {"bigint", Whole, 14, tds::kIntN, 8, 19},
    {"bit", Other, 10, tds::kBitN, 1, 3},
    {"decimal", Exact, 17, tds::kDecimalN, 0, 0},
    {"numeric", Exact, 18, tds::kNumericN, 0, 0},
    {"money", Exact, 16, tds::kMoneyN, 8, 19},
    {"smallmoney", Exact, 15, tds::kMoneyN, 4, 10},
    {"float", Approximate, 20, tds::kFltN, 8, 0},
    {"real", Approximate, 19, tds::kFltN, 4, 0},
    {"char", Chars, 2, tds::kBigChar, 0, 0},
    {"varchar", Chars, 3, tds::kBigVarChar, 0, 0},
    {"nchar", Chars, 4, tds::kNChar, 0, 0},
    {"nvarchar", Chars, 5, tds::kNVarChar, 0, 0},
    // text, ntext and image go out as their (max) successors, which clients read the same way
    {"text", Chars, 8, tds::kBigVarChar, tds::kPlpMaxLen, 0},
    {"ntext", Chars, 9, tds::kNVarChar, tds::kPlpMaxLen, 0},
    {"binary", Bytes, 0, tds::kBigBinary, 0, 0},
    {"varbinary", Bytes, 1, tds::kBigVarBinary, 0, 0},
    {"date", Moment, 22, tds::kDateN, 3, 0},
    {"time", Moment, 21, tds::kTimeN, 0, 0},
    {"datetime", Moment, 24, tds::kDateTimN, 8, 0},
    {"datetime2", Moment, 25, tds::kDateTime2N, 0, 0},
    {"smalldatetime", Moment, 23, tds::kDateTimN, 4, 0},
    {"uniqueidentifier", Other, 6, tds::kGuid, 16, 0},
    {"image", Bytes, 7, tds::kBigVarBinary, tds::kPlpMaxLen, 0},
};

const Facts& facts(BaseType b) {
    return kFacts[static_cast<int>(b)];
}

} // namespace

bool hasLength(BaseType b) {
    return (facts(b).kind == Chars || facts(b).kind == Bytes) && facts(b).size == 0;
}

std::optional<SqlType> SqlType::fromTsql(std::string_view name,
                                         const std::vector<std::string>& args) {
    static const std::pair<const char*, const char*> kAliases[] = {
        {"integer", "int"}, {"dec", "decimal"}, {"double precision", "float"}, {"sysname", ""}};
    std::string lower = toLower(name);
    const bool sysname = lower == "sysname";
    for (const auto& [alias, type] : kAliases)
        if (lower == alias) lower = sysname ? "nvarchar" : type;
    const auto found = std::find_if(std::begin(kFacts), std::end(kFacts),
                                    [&](const Facts& f) { return lower == f.name; });
    if (found == std::end(kFacts)) return std::nullopt;
    SqlType t{static_cast<B>(found - kFacts)};
    auto arg = [&](std::size_t i, int& out) { // false for a bad one; one not given leaves out
        if (i >= args.size()) return true;
        if (toLower(args[i]) == "max") return out = kMax, true;
        const auto v = parseWholeNumber(args[i]);
        if (!v || *v < INT_MIN || *v > INT_MAX) return false;
        return out = static_cast<int>(*v), true;
    };
    if (hasLength(t.base)) {
        t.length = sysname ? 128 : 1;
        if (!arg(0, t.length)) return std::nullopt;
        if (t.length == kMax) return isFixedLength(t) ? std::nullopt : std::optional(t);
        if (t.length < 1 || t.length > (isUnicode(t) ? 4000 : 8000)) return std::nullopt;
        return t;
    }
    switch (t.base) {
    case B::Decimal:
    case B::Numeric:
        t.precision = 18;
        if (!arg(0, t.precision) || !arg(1, t.scale)) return std::nullopt;
        if (t.precision < 1 || t.precision > 38 || t.scale < 0 || t.scale > t.precision)
            return std::nullopt;
        return t;
    case B::Money:
    case B::SmallMoney:
        t.precision = facts(t.base).digits, t.scale = 4;
        return t;
    case B::Float:
        t.precision = 53;
        if (arg(0, t.precision) && t.precision <= 24) t.base = B::Real;
        return t;
    case B::Time:
    case B::DateTime2:
        t.scale = 7;
        if (!arg(0, t.scale) || t.scale < 0 || t.scale > 7) return std::nullopt;
        return t;
    case B::Image:
        t.length = kMax;
        break;
    default:
        break;
    }
    return args.empty() ? std::optional(t) : std::nullopt;
}

// "(50)", "(10,2)", "(7)" or nothing; (max) written as maxText.
static std::string arguments(const SqlType& t, const std::string& maxText) {
    if (hasLength(t.base))
        return "(" + (t.length == SqlType::kMax ? maxText : std::to_string(t.length)) + ")";
    if (t.isDecimal())
        return "(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
    if (t.base == B::Time || t.base == B::DateTime2) return "(" + std::to_string(t.scale) + ")";
    return "";
}

std::string SqlType::declared() const {
    std::string s = facts(base).name;
    // Decimals and money are kept as their text, so that every digit stays (money's 19 do not fit
    // a double); the column's collation compares them as numbers.
    if (isDateTime() || base == B::UniqueIdentifier || isExactNumber()) s += " text";
    if (facts(base).kind == Bytes) s += " blob";
    return s + arguments(*this, "-1"); // the store's type names take numbers only
}

std::optional<SqlType> SqlType::fromDeclared(std::string_view d) {
    // The store's own row key (INTEGER PRIMARY KEY, written only for numbering columns): bigint.
    // T-SQL's "integer" reaches the store as "int", so this spelling means nothing else.
    if (d == kRowKeyType) return SqlType{B::BigInt};
    const std::size_t open = d.find('(');
    const std::string name(d.substr(0, d.find_first_of(" (")));
    std::vector<std::string> args;
    if (open != std::string_view::npos)
        for (const auto part : std::views::split(d.substr(open + 1, d.rfind(')') - open - 1), ','))
            args.emplace_back(trim(std::string_view(part.begin(), part.end())));
    return fromTsql(name, args);
}

std::string SqlType::tsqlName() const {
    return facts(base).name + arguments(*this, "max");
}

bool SqlType::isInteger() const {
    return facts(base).kind == Whole;
}
bool SqlType::isText() const {
    return facts(base).kind == Chars;
}
bool SqlType::isExactNumber() const {
    return facts(base).kind == Exact;
}
bool SqlType::isDateTime() const {
    return facts(base).kind == Moment;
}
bool isBinary(const SqlType& t) {
    return facts(t.base).kind == Bytes;
}
bool isNumber(const SqlType& t) {
    return facts(t.base).kind <= Approximate || t.base == B::Bit;
}
bool isFloat(const SqlType& t) {
    return facts(t.base).kind == Approximate;
}
bool isUnicode(const SqlType& t) {
    return t.base == B::NChar || t.base == B::NVarChar || t.base == B::NText;
}
bool isFixedLength(const SqlType& t) {
    return t.base == B::Char || t.base == B::NChar || t.base == B::Binary;
}
bool isLargeObject(const SqlType& t) {
    return facts(t.base).size == tds::kPlpMaxLen;
}
int precedence(BaseType b) {
    return facts(b).rank;
}
int digitsOf(const SqlType& t) {
    return facts(t.base).digits ? facts(t.base).digits : t.precision;
}

std::string overflowText(const SqlType& t) {
    return "Arithmetic overflow error converting expression to data type " + t.tsqlName() + ".";
}

int scaleOf(const SqlType& t) {
    return t.base == B::Money || t.base == B::SmallMoney ? 4 : t.scale;
}

tds::TypeInfo SqlType::wire() const {
    const Facts& f = facts(base);
    if (isDecimal())
        return {f.wire, std::uint16_t(tds::TypeInfo::decimalBytes(precision) + 1),
                std::uint8_t(precision), std::uint8_t(scale)};
    if (base == B::Time || base == B::DateTime2)
        return {f.wire, 0, 0, static_cast<std::uint8_t>(scale)};
    if (f.size) return {f.wire, f.size};
    return {f.wire, length == kMax
                        ? tds::kPlpMaxLen
                        : static_cast<std::uint16_t>(length * (isUnicode(*this) ? 2 : 1))};
}

bool inWholeRange(BaseType b, std::int64_t v) {
    if (facts(b).kind != Whole || facts(b).size == 8) return true;
    const std::int64_t half = std::int64_t(1) << (8 * facts(b).size - 1); // tinyint: 0 to 255
    return b == B::TinyInt ? v >= 0 && v < 2 * half : v >= -half && v < half;
}

SqlType inferType(int sqliteType) {
    return sqliteType == SQLITE_INTEGER ? SqlType{B::BigInt}
           : sqliteType == SQLITE_FLOAT ? SqlType{B::Float, 0, 53}
           : sqliteType == SQLITE_BLOB  ? SqlType{B::VarBinary, SqlType::kMax}
                                        : SqlType{B::NVarChar, 4000};
}

SqlType fromWire(const tds::TypeInfo& w) {
    using namespace tds;
    // text and ntext arrive as their (max) successors; image and the unknown as varbinary(max)
    const std::uint8_t type = w.type == kText    ? std::uint8_t(kBigVarChar)
                              : w.type == kNText ? std::uint8_t(kNVarChar)
                                                 : w.type;
    const int chars = w.maxLen == kPlpMaxLen || type != w.type ? SqlType::kMax : w.maxLen;
    // The type that travels so: of that size where the size tells them apart (IntN of 4 bytes is
    // int), the widest of them for a size none has.
    const auto fit = [&](const Facts& f) {
        return f.wire != type || f.size == kPlpMaxLen ? -1 : f.size == w.maxLen ? 1 << 16 : f.size;
    };
    const Facts* found = std::ranges::max_element(kFacts, {}, fit);
    if (fit(*found) < 0) return {B::VarBinary, SqlType::kMax};
    const auto base = static_cast<B>(found - kFacts);
    SqlType t{base, hasLength(base) ? chars : 0, w.precision, w.scale};
    if (isUnicode(t) && t.length != SqlType::kMax) t.length /= 2; // two bytes a character
    if (isFloat(t)) t.precision = t.base == B::Real ? 24 : 53;
    t.scale = scaleOf(t); // money's 4
    return t;
}

} // namespace sandbox
