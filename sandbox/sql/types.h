// The server's column types: how each is declared in the store, sent on the wire and read back.
#pragma once

#include "tds/colmetadata.h"
#include "tds/row.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3_stmt;

namespace sandbox {

enum class BaseType {
    TinyInt,
    SmallInt,
    Int,
    BigInt,
    Bit,
    Decimal,
    Numeric,
    Money,
    SmallMoney,
    Float,
    Real,
    Char,
    VarChar,
    NChar,
    NVarChar,
    Text,
    NText,
    Binary,
    VarBinary,
    Date,
    Time,
    DateTime,
    DateTime2,
    SmallDateTime,
    UniqueIdentifier,
    Image,
};

// The declared type of a column that is the store's own row key: rows are stored in its order and
// found by it without an index. Only numbering columns (IDENTITY() in SELECT ... INTO) use it.
inline constexpr std::string_view kRowKeyType = "INTEGER";

struct SqlType {
    BaseType base = BaseType::Int;
    int length = 0; // characters or bytes; kMax for (max)
    int precision = 0;
    int scale = 0;

    static constexpr int kMax = -1;
    bool operator==(const SqlType&) const = default;

    // From T-SQL words such as "nvarchar", "50" or "decimal", "10", "2"; nullopt for bad ones.
    static std::optional<SqlType> fromTsql(std::string_view name,
                                           const std::vector<std::string>& args);
    // From the type text this sandbox declares in the store (see declared()).
    static std::optional<SqlType> fromDeclared(std::string_view declared);

    // The type as the store declares it: the T-SQL name, a word that gives the store the right
    // affinity where the name alone would not, and the arguments.
    std::string declared() const;
    // The type as a server would name it: nvarchar(50), decimal(10,2), varbinary(max).
    std::string tsqlName() const;
    tds::TypeInfo wire() const;

    bool isInteger() const;
    bool isText() const;
    bool isExactNumber() const;
    bool isDecimal() const { return base == BaseType::Decimal || base == BaseType::Numeric; }
    bool isDateTime() const;
};

bool isBinary(const SqlType& t);
bool isNumber(const SqlType& t); // bit among them
bool isFloat(const SqlType& t);  // float or real
bool isUnicode(const SqlType& t);
bool isFixedLength(const SqlType& t); // char, nchar, binary: padded to their length
bool isLargeObject(const SqlType& t); // text, ntext, image
// char, varchar, nchar, nvarchar, binary and varbinary: their length is declared (CAST's is 30).
bool hasLength(BaseType b);
// The server's data type precedence: the operand of the lower type converts to the higher.
int precedence(BaseType b);
// An exact number's precision: the whole-number types and money as decimals of their digits.
int digitsOf(const SqlType& t);
// An exact number's scale: money's is always 4.
int scaleOf(const SqlType& t);
// Whether v fits a whole-number type (bigint and bit: any 64-bit value).
bool inWholeRange(BaseType b, std::int64_t v);

// "Arithmetic overflow error converting expression to data type int."
std::string overflowText(const SqlType& t);

// The words of the conversion errors 241, 8152 and 8169.
inline constexpr const char* kBadDateText =
    "Conversion failed when converting date and/or time from character string.";
inline constexpr const char* kTruncated = "String or binary data would be truncated.";
inline constexpr const char* kBadGuidText =
    "Conversion failed when converting from a character string to uniqueidentifier.";

// A failed conversion of a stored value to its column type.
struct ConversionError {
    int number;
    std::string message;
};

// Column i of the current row as a value of the type; false, with err, where it does not convert.
bool readValue(sqlite3_stmt* st, int i, const SqlType& type, tds::Value& out, ConversionError& err);

// The type a column without a declared type gets, from the store's type of its first value.
SqlType inferType(int sqliteType);

// Text as a date and time: yyyy-mm-dd or yyyymmdd and a time hh:mm[:ss][.fraction] after a blank
// or a T (a time alone for time), as the store keeps it. Given a style (below 0: none), as CONVERT
// reads text: also m/d/yyyy where the style is none, 1 or 101, d/m/yyyy in 3 and 103 (a two-digit
// year is 1950 to 2049), and Mon dd yyyy (its time left out); datetime and smalldatetime keep
// their range and three digits of a second, and a date may carry a time (dropped later).
bool parseDateTime(std::string_view text, BaseType base, tds::DateTime& out,
                   std::optional<long> style = std::nullopt);
// A point in time as text of the type (the store's form, style below 0), or in a style of
// CONVERT's; false for a style it does not know.
bool formatDateTime(const tds::DateTime& dt, const SqlType& type, long style, std::string& out);
bool parseDecimal(std::string_view text, int scale, __int128& out);
// A scaled exact number as text: -1.2345, 0.0005.
std::string decimalText(__int128 scaled, int scale);
// Bytes as hexadecimal digits: 0A0B.
std::string hexText(const tds::Bytes& bytes);
// A uniqueidentifier's 16 bytes as text; the first three groups travel little-endian.
std::string guidText(const tds::Bytes& bytes);
// And back: 36 characters, or 38 in braces, of either letter case.
bool parseGuid(std::string_view text, tds::Bytes& out);

// The value as a T-SQL literal of its wire type: NULL, 42, 1.5E+00, N'it''s', 0x0A0B, '2024-02-29'.
std::string literal(const tds::TypeInfo& type, const tds::Value& value);

// The type a value of that wire type has: IntN of 4 bytes is int, NVarChar of 80 nvarchar(40).
SqlType fromWire(const tds::TypeInfo& wire);

} // namespace sandbox
