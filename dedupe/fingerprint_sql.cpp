#include "fingerprint_sql.h"

#include <sqlext.h>

namespace rowlark::dedupe {
namespace {

// The server's own ODBC types, as its drivers report them.
constexpr SQLSMALLINT kTime2 = -154;
constexpr SQLSMALLINT kDateTimeOffset = -155;

std::string asBytes(const std::string& e) {
    return "CAST(" + e + " AS varbinary(max))";
}

// Zero as one byte of its own: +0 and -0 are one value, and no other value's form is 0x00.
std::string zeroApart(const std::string& value, const std::string& nonZero) {
    return "CASE WHEN " + value + " = 0 THEN 0x00 ELSE " + nonZero + " END";
}

// Whether a column's form is its stored bytes, whose DATALENGTH the server knows without making
// the form.
bool storedBytes(const db::ColumnMeta& c) {
    switch (c.sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return true;
    default:
        return false;
    }
}

std::optional<std::string> bareForm(const db::ColumnMeta& c, const std::string& v) {
    // Text and bytes as stored: case, accents and trailing blanks all count.
    if (storedBytes(c)) return asBytes(v);
    switch (c.sqlType) {
    // ntext and nvarchar(max); xml where a driver reports it so, by its text.
    case SQL_WLONGVARCHAR:
        return asBytes("CAST(" + v + " AS nvarchar(max))");
    // Whole numbers in 8 bytes, floating-point values by their bytes with -0 written as +0 (all
    // zero).
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
        return "CAST(" + v + " AS binary(8))";
    case SQL_REAL:
        return "CASE WHEN " + v + " = 0 THEN 0x00000000 ELSE CAST(" + v + " AS binary(4)) END";
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return "CASE WHEN " + v + " = 0 THEN 0x0000000000000000 ELSE CAST(" + v +
               " AS binary(8)) END";
    // decimal, numeric, money, smallmoney: every digit of the scale, as text.
    case SQL_DECIMAL:
    case SQL_NUMERIC: {
        const int scale = c.decimalDigits < 0 ? 0 : c.decimalDigits > 38 ? 38 : c.decimalDigits;
        return asBytes(zeroApart(v, "CAST(CAST(CAST(" + v + " AS decimal(38, " +
                                        std::to_string(scale) +
                                        ")) AS varchar(60)) AS varbinary(max))"));
    }
    // Dates and times to their last digit, as text.
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case kTime2:
    case kDateTimeOffset:
        return asBytes("CONVERT(varchar(60), " + v + ", 121)");
    case SQL_GUID:
        return asBytes("CAST(" + v + " AS char(36))");
    default:
        return std::nullopt;
    }
}

// Bytes a column's form may take, at most; 0: no bound.
std::uint64_t formWidth(const db::ColumnMeta& c) {
    switch (c.sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
        return c.size > 0 && c.size <= 8000 ? c.size : 0;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
        return c.size > 0 && c.size <= 4000 ? 2 * c.size : 0;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_LONGVARBINARY:
        return 0;
    default:
        return 60;
    }
}

std::string numberList(const std::vector<std::int64_t>& numbers) {
    std::string s;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i) s += ", ";
        s += std::to_string(numbers[i]);
    }
    return s;
}

// Whether a column's values are equal exactly when the server's `=` says so.
bool equalByValue(const db::ColumnMeta& c) {
    switch (c.sqlType) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DECIMAL: // one column has one scale: equal values have equal digits
    case SQL_NUMERIC:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case kTime2:
    case SQL_GUID:
        return true;
    default: // datetimeoffset: equal instants at other offsets are different values here
        return false;
    }
}

// How a value goes into its row's hashed input: as text in one CONCAT (NULL as empty text, so
// NULL and an empty value agree), or as bytes after it. Only equal values must give equal input:
// rows whose input agrees by chance are told apart by the exact comparison.
struct HashArgument {
    std::string text, bytes; // one of them
};

std::optional<HashArgument> hashArgument(const db::ColumnMeta& c, const std::string& v) {
    switch (c.sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_GUID:
        return HashArgument{v, {}};
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
        return HashArgument{"CAST(" + v + " AS nvarchar(max))", {}};
    // -0 written as 0, every digit of the scale.
    case SQL_DECIMAL:
    case SQL_NUMERIC: {
        const int scale = c.decimalDigits < 0 ? 0 : c.decimalDigits > 38 ? 38 : c.decimalDigits;
        return HashArgument{"CAST(CASE WHEN " + v + " = 0 THEN 0 ELSE " + v +
                                " END AS decimal(38, " + std::to_string(scale) + "))",
                            {}};
    }
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case kTime2:
    case kDateTimeOffset:
        return HashArgument{"CONVERT(varchar(60), " + v + ", 121)", {}};
    // Floating-point values by their bytes (no text rounds them), -0 written as +0.
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return HashArgument{{}, *valueForm(c, v)};
    default:
        return std::nullopt;
    }
}

// Parts joined by +, pairwise, so the expression nests as deep as the logarithm of the parts: a
// parser's depth limit stays far away for many columns.
std::string joined(std::vector<std::string> parts) {
    while (parts.size() > 1) {
        std::vector<std::string> next;
        for (std::size_t i = 0; i < parts.size(); i += 2)
            next.push_back(i + 1 < parts.size() ? "(" + parts[i] + " + " + parts[i + 1] + ")"
                                                : parts[i]);
        parts = std::move(next);
    }
    return parts.front();
}

} // namespace

std::optional<std::string> valueForm(const db::ColumnMeta& column, const std::string& value) {
    auto form = bareForm(column, value);
    if (!form) return std::nullopt;
    return "ISNULL(" + *form + ", 0x)";
}

std::optional<std::string> hashInput(const std::vector<db::ColumnMeta>& columns) {
    // CONCAT takes 2 to 254 values: a hundred columns a CONCAT, and those in one more.
    constexpr std::size_t kColumnsAConcat = 100;
    std::vector<std::string> texts, bytes;
    std::size_t inLast = 0;
    for (const auto& c : columns) {
        const auto a = hashArgument(c, bracketed(c.name));
        if (!a) return std::nullopt;
        if (!a->bytes.empty()) bytes.push_back(a->bytes);
        if (a->text.empty()) continue;
        if (texts.empty() || inLast == kColumnsAConcat) {
            texts.emplace_back();
            inLast = 0;
        }
        texts.back() += (inLast++ ? ", N'|', " : "") + a->text;
    }
    if (!texts.empty()) {
        std::string text;
        for (const auto& t : texts)
            text += (text.empty() ? "" : ", ") + ("CONCAT(" + t + ", N'|')");
        if (texts.size() > 1) text = "CONCAT(" + text + ")";
        if (bytes.empty()) return text;
        bytes.insert(bytes.begin(), "CAST(" + text + " AS varbinary(max))");
    }
    return joined(std::move(bytes));
}

bool hashInputMayPass8000(const std::vector<db::ColumnMeta>& columns) {
    std::uint64_t total = 0;
    for (const auto& c : columns) {
        const std::uint64_t w = formWidth(c);
        if (w == 0) return true;
        total += 4 + w;
    }
    return total > 8000;
}

std::optional<std::string> sameRows(const std::vector<db::ColumnMeta>& columns) {
    std::string s;
    for (const auto& c : columns) {
        const std::string x = "x." + bracketed(c.name), y = "y." + bracketed(c.name);
        std::string same;
        if (storedBytes(c)) {
            // The server takes binary values that differ only in trailing zero bytes as equal:
            // their lengths must agree too.
            same = "ISNULL(CAST(" + x + " AS varbinary(max)), 0x) = ISNULL(CAST(" + y +
                   " AS varbinary(max)), 0x) AND ISNULL(DATALENGTH(" + x +
                   "), 0) = ISNULL(DATALENGTH(" + y + "), 0)";
        } else if (equalByValue(c)) {
            same = "(" + x + " = " + y + " OR " + x + " IS NULL AND " + y + " IS NULL)";
        } else {
            const auto fx = valueForm(c, x), fy = valueForm(c, y);
            if (!fx || !fy) return std::nullopt;
            // A last byte that is not zero makes the binary comparison exact.
            same = *fx + " + 0x01 = " + *fy + " + 0x01";
        }
        s += (s.empty() ? "" : " AND ") + same;
    }
    return s;
}

std::string fingerprintOf(const std::string& input) {
    // A bigint of binary data takes its last 8 bytes.
    return "CAST(HASHBYTES('SHA2_256', " + input + ") AS bigint)";
}

std::string hashProbe(bool longInput) {
    return longInput ? "SELECT HASHBYTES('SHA2_256', CAST(REPLICATE(CAST('x' AS varchar(max)), "
                       "8001) AS varbinary(max)))"
                     : "SELECT HASHBYTES('SHA2_256', 0x00)";
}

std::string fingerprintQuery(const std::string& input, std::string_view table) {
    return "SELECT " + fingerprintOf(input) + " FROM " + bracketed(table);
}

std::string workFingerprintQuery(std::string_view numberColumn, const std::string& input,
                                 std::string_view workTable, const std::vector<OrderColumn>& order,
                                 bool last) {
    std::string s = "SELECT " + bracketed(numberColumn) + ", " + fingerprintOf(input) + " FROM " +
                    bracketed(workTable);
    if (order.empty() && !last) return s;
    auto all = order;
    all.push_back({std::string(numberColumn), false}); // ties: the table's own order
    return s + orderByClause(all, last);
}

std::string createPairList(std::string_view list) {
    return "CREATE TABLE " + bracketed(list) +
           " (n bigint NOT NULL PRIMARY KEY, f bigint NOT NULL)";
}

std::string insertPairs(std::string_view list, const std::vector<NumberPair>& pairs) {
    std::string s = "INSERT INTO " + bracketed(list) + " (n, f) VALUES ";
    for (std::size_t i = 0; i < pairs.size(); ++i)
        s += (i ? ", (" : "(") + std::to_string(pairs[i].repeat) + ", " +
             std::to_string(pairs[i].kept) + ")";
    return s;
}

std::string deleteListed(std::string_view list, const std::vector<std::int64_t>& numbers) {
    return "DELETE FROM " + bracketed(list) + " WHERE n IN (" + numberList(numbers) + ")";
}

std::string unequalListedPairs(std::string_view list, std::string_view workTable,
                               std::string_view numberColumn, const std::string& same) {
    const std::string n = bracketed(numberColumn), work = bracketed(workTable);
    return "SELECT p.n FROM " + bracketed(list) + " AS p JOIN " + work + " AS x ON x." + n +
           " = p.n JOIN " + work + " AS y ON y." + n + " = p.f WHERE NOT (" + same + ")";
}

std::string unequalPairRuns(const std::vector<PairRun>& runs, std::string_view workTable,
                            std::string_view numberColumn, const std::string& same) {
    const std::string n = bracketed(numberColumn), work = bracketed(workTable);
    std::string distance = "CASE", inRuns;
    for (const auto& r : runs) {
        const std::string range =
            "x." + n + " BETWEEN " + std::to_string(r.from) + " AND " + std::to_string(r.to);
        distance += " WHEN " + range + " THEN " + std::to_string(r.distance);
        inRuns += (inRuns.empty() ? "" : " OR ") + range;
    }
    distance += " END";
    return "SELECT x." + n + " FROM " + work + " AS x JOIN " + work + " AS y ON y." + n + " = x." +
           n + " - " + distance + " WHERE (" + inRuns + ") AND NOT (" + same + ")";
}

std::string keysOfRows(std::string_view numberColumn,
                       const std::vector<std::string>& duplicateColumns, std::string_view workTable,
                       const std::vector<std::int64_t>& numbers) {
    return "SELECT " + bracketed(numberColumn) + ", " + bracketList(duplicateColumns) + " FROM " +
           bracketed(workTable) + " WHERE " + bracketed(numberColumn) + " IN (" +
           numberList(numbers) + ")";
}

} // namespace rowlark::dedupe
