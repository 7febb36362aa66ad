#include "sql_text.h"

#include <cctype>

namespace rowlark::dedupe {
namespace {

std::string doubled(std::string_view s, char c) {
    std::string out;
    out.reserve(s.size() + 2);
    for (char ch : s) {
        out.push_back(ch);
        if (ch == c) out.push_back(c);
    }
    return out;
}

std::string rangeCondition(std::string_view numberColumn, const std::vector<NumberRange>& ranges) {
    const std::string column = bracketed(numberColumn);
    std::string s;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (i) s += " OR ";
        s += ranges[i].from == ranges[i].to
                 ? column + " = " + std::to_string(ranges[i].from)
                 : column + " BETWEEN " + std::to_string(ranges[i].from) + " AND " +
                       std::to_string(ranges[i].to);
    }
    return s;
}

} // namespace

std::string bracketed(std::string_view name) {
    // Appended rather than "[" + ...: GCC 12 warns falsely (-Wrestrict) on the latter.
    std::string out = "[";
    out += doubled(name, ']');
    out += ']';
    return out;
}

std::string objectIdLiteral(std::string_view name) {
    const bool multiPartLooking = name.find_first_of(".[]") != std::string_view::npos;
    return "N'" + doubled(multiPartLooking ? bracketed(name) : std::string(name), '\'') + "'";
}

std::string bracketList(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) {
        if (!out.empty()) out += ", ";
        out += bracketed(n);
    }
    return out;
}

std::string metadataQuery(std::string_view table) {
    return "SELECT TOP 0 * FROM " + bracketed(table) + ";";
}

std::string keyQuery(const std::vector<std::string>& duplicateColumns, std::string_view table) {
    return "SELECT " + bracketList(duplicateColumns) + " FROM " + bracketed(table) + ";";
}

std::string identityKeyQuery(std::string_view identityColumn,
                             const std::vector<std::string>& duplicateColumns,
                             std::string_view table) {
    return "SELECT " + bracketed(identityColumn) + ", " + bracketList(duplicateColumns) + " FROM " +
           bracketed(table) + ";";
}

std::string orderByClause(const std::vector<OrderColumn>& order, bool last) {
    std::string s;
    for (const auto& c : order)
        s += (s.empty() ? " ORDER BY " : ", ") + bracketed(c.name) +
             (c.descending != last ? " DESC" : "");
    return s;
}

std::string workKeyQuery(std::string_view numberColumn,
                         const std::vector<std::string>& duplicateColumns,
                         std::string_view workTable, const std::vector<OrderColumn>& order,
                         bool last, bool byNumber) {
    std::string s = identityKeyQuery(numberColumn, duplicateColumns, workTable);
    if (order.empty() && !last && !byNumber) return s;
    s.pop_back(); // the ";"
    auto all = order;
    all.push_back({std::string(numberColumn), false}); // ties: the table's own order
    return s + orderByClause(all, last) + ";";
}

std::string dropIfExists(std::string_view table) {
    return "if (object_id (" + objectIdLiteral(table) + ", N'U') is not null) drop table " +
           bracketed(table);
}

std::string objectKindQuery(std::string_view name) {
    const std::string literal = objectIdLiteral(name);
    return "SELECT CASE WHEN object_id (" + literal + ", N'U') IS NOT NULL THEN 'table' " +
           "WHEN object_id (" + literal + ") IS NOT NULL THEN 'other' ELSE 'none' END";
}

std::string copyIntoWorkTable(std::string_view table, std::string_view workTable) {
    return "SELECT * INTO " + bracketed(workTable) + " From " + bracketed(table);
}

std::string copyIntoNumberedWorkTable(std::string_view table, std::string_view workTable,
                                      std::string_view workColumn) {
    // bigint: a table may hold more rows than an int counts.
    return "SELECT IDENTITY(bigint, 1, 1) AS " + bracketed(workColumn) + ", * INTO " +
           bracketed(workTable) + " From " + bracketed(table);
}

std::string indexWorkTable(std::string_view workTable, std::string_view column) {
    return "CREATE INDEX " + bracketed("IX_" + std::string(workTable)) + " ON " +
           bracketed(workTable) + " (" + bracketed(column) + ")";
}

std::string deleteOne(std::string_view workTable, std::string_view column, std::string_view value) {
    return "DELETE FROM " + bracketed(workTable) + " WHERE " + bracketed(column) + " = " +
           std::string(value);
}

std::string deleteMany(std::string_view workTable, std::string_view column,
                       const std::vector<std::string>& values) {
    std::string s = "DELETE FROM " + bracketed(workTable) + " WHERE " + bracketed(column) + " IN (";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) s += ", ";
        s += values[i];
    }
    return s + ")";
}

std::string copyIntoNewTable(const std::vector<std::string>& columns, std::string_view newName,
                             std::string_view workTable) {
    return "SELECT " + bracketList(columns) + " INTO " + bracketed(newName) + " FROM " +
           bracketed(workTable);
}

std::string copyIntoNewTableLeavingOut(const std::vector<std::string>& columns,
                                       std::string_view newName, std::string_view workTable,
                                       std::string_view numberColumn,
                                       const std::vector<NumberRange>& leftOut) {
    std::string s = copyIntoNewTable(columns, newName, workTable);
    if (leftOut.empty()) return s;
    return s + " WHERE NOT (" + rangeCondition(numberColumn, leftOut) + ")";
}

std::string copyRowsInRanges(const std::vector<std::string>& columns, std::string_view newName,
                             std::string_view workTable, std::string_view numberColumn,
                             const std::vector<NumberRange>& ranges) {
    return copyIntoNewTable(columns, newName, workTable) + " WHERE " +
           rangeCondition(numberColumn, ranges);
}

std::string createNumberList(std::string_view list) {
    return "CREATE TABLE " + bracketed(list) + " (n bigint NOT NULL PRIMARY KEY)";
}

std::string insertNumbers(std::string_view list, const std::vector<std::string>& values) {
    std::string s = "INSERT INTO " + bracketed(list) + " (n) VALUES ";
    for (std::size_t i = 0; i < values.size(); ++i)
        s += (i ? ", (" : "(") + values[i] + ")";
    return s;
}

std::string copyRowsListed(const std::vector<std::string>& columns, std::string_view newName,
                           std::string_view workTable, std::string_view numberColumn,
                           std::string_view list, bool listed) {
    return copyIntoNewTable(columns, newName, workTable) + " WHERE " + bracketed(numberColumn) +
           (listed ? " IN " : " NOT IN ") + "(SELECT n FROM " + bracketed(list) + ")";
}

std::string copyRankedRows(const std::vector<std::string>& columns, std::string_view newName,
                           std::string_view workTable, const std::vector<std::string>& keys,
                           const std::vector<OrderColumn>& order, bool last,
                           std::string_view numberColumn, std::string_view rankColumn, bool stay) {
    auto all = order;
    all.push_back({std::string(numberColumn), false});
    return "SELECT " + bracketList(columns) + " INTO " + bracketed(newName) +
           " FROM (SELECT *, ROW_NUMBER() OVER (PARTITION BY " + bracketList(keys) +
           orderByClause(all, last) + ") AS " + bracketed(rankColumn) + " FROM " +
           bracketed(workTable) + ") AS [ranked] WHERE " + bracketed(rankColumn) +
           (stay ? " = 1" : " > 1");
}

std::string serverCountsQuery(const std::vector<std::string>& keys, std::string_view table) {
    return "SELECT (SELECT COUNT(*) FROM " + bracketed(table) +
           "), (SELECT COUNT(*) FROM (SELECT DISTINCT " + bracketList(keys) + " FROM " +
           bracketed(table) + ") AS [keys])";
}

std::string serverGroupsQuery(const std::vector<std::string>& keys, std::string_view table,
                              const std::vector<OrderColumn>& order, bool last,
                              std::string_view rankColumn, std::string_view countColumn,
                              std::size_t groups) {
    std::vector<std::string> shown = keys;
    for (const auto& c : order)
        shown.push_back(c.name);
    std::string byOrder = orderByClause(order, last);
    if (byOrder.empty()) byOrder = " ORDER BY (SELECT 0)";
    return "SELECT TOP " + std::to_string(groups) + " " + bracketList(shown) + ", " +
           bracketed(countColumn) + " FROM (SELECT " + bracketList(shown) +
           ", ROW_NUMBER() OVER (PARTITION BY " + bracketList(keys) + byOrder + ") AS " +
           bracketed(rankColumn) + ", COUNT(*) OVER (PARTITION BY " + bracketList(keys) + ") AS " +
           bracketed(countColumn) + " FROM " + bracketed(table) + ") AS [groups] WHERE " +
           bracketed(rankColumn) + " = 1 AND " + bracketed(countColumn) + " > 1 ORDER BY " +
           bracketed(countColumn) + " DESC";
}

std::string dropWorkTable(std::string_view workTable) {
    return "DROP TABLE " + bracketed(workTable);
}

std::string tableIdsQuery(const std::vector<std::string>& tables) {
    std::string s = "SELECT ";
    for (std::size_t i = 0; i < tables.size(); ++i)
        s += (i ? ", object_id (" : "object_id (") + objectIdLiteral(tables[i]) + ", N'U')";
    return s;
}

std::string countRowsQuery(std::string_view table) {
    return "SELECT COUNT_BIG(*) FROM " + bracketed(table);
}

std::string tablesMadeStatement(const std::vector<std::string>& tables) {
    std::string s = "SELECT name, create_date FROM sys.tables WHERE name IN (";
    for (std::size_t i = 0; i < tables.size(); ++i)
        s += (i ? ", N'" : "N'") + doubled(tables[i], '\'') + "'";
    return s + ")";
}

std::string workTableName() {
    return "#" + std::string(kWorkTable);
}

std::string workColumnName(const std::vector<std::string>& tableColumns) {
    return freeColumnName(kWorkColumn, tableColumns);
}

std::string freeColumnName(std::string_view base, const std::vector<std::string>& taken) {
    auto isTaken = [&](const std::string& name) {
        for (const auto& c : taken) {
            if (c.size() != name.size()) continue;
            bool same = true;
            for (std::size_t i = 0; i < c.size() && same; ++i)
                same = std::tolower(static_cast<unsigned char>(c[i])) ==
                       std::tolower(static_cast<unsigned char>(name[i]));
            if (same) return true;
        }
        return false;
    };
    std::string name(base);
    for (int n = 2; isTaken(name); ++n)
        name = std::string(base) + "_" + std::to_string(n);
    return name;
}

std::string oldWorkTableQuery() {
    return "SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = N'" +
           std::string(kWorkTable) + "'";
}

std::string selectNewTable(std::string_view newName) {
    return "SELECT * FROM " + bracketed(newName) + ";";
}

std::string previewQuery(std::string_view table) {
    return "SELECT TOP 100 * FROM " + bracketed(table) + ";";
}

std::string tableNamesQuery() {
    return "SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES";
}

std::string columnNamesQuery(std::string_view table) {
    return "SELECT column_name FROM information_schema.Columns WHERE table_name=N'" +
           doubled(table, '\'') + "'";
}

} // namespace rowlark::dedupe
