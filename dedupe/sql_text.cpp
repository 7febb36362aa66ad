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

} // namespace

std::string bracketed(std::string_view name) {
    return "[" + doubled(name, ']') + "]";
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
                         bool last) {
    std::string s = identityKeyQuery(numberColumn, duplicateColumns, workTable);
    if (order.empty() && !last) return s;
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
    const std::string column = bracketed(numberColumn);
    s += " WHERE NOT (";
    for (std::size_t i = 0; i < leftOut.size(); ++i) {
        if (i) s += " OR ";
        s += leftOut[i].from == leftOut[i].to
                 ? column + " = " + std::to_string(leftOut[i].from)
                 : column + " BETWEEN " + std::to_string(leftOut[i].from) + " AND " +
                       std::to_string(leftOut[i].to);
    }
    return s + ")";
}

std::string dropWorkTable(std::string_view workTable) {
    return "DROP TABLE " + bracketed(workTable);
}

std::string workTableName() {
    return "#" + std::string(kWorkTable);
}

std::string workColumnName(const std::vector<std::string>& tableColumns) {
    auto taken = [&](const std::string& name) {
        for (const auto& c : tableColumns) {
            if (c.size() != name.size()) continue;
            bool same = true;
            for (std::size_t i = 0; i < c.size() && same; ++i)
                same = std::tolower(static_cast<unsigned char>(c[i])) ==
                       std::tolower(static_cast<unsigned char>(name[i]));
            if (same) return true;
        }
        return false;
    };
    std::string name(kWorkColumn);
    for (int n = 2; taken(name); ++n)
        name = std::string(kWorkColumn) + "_" + std::to_string(n);
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
