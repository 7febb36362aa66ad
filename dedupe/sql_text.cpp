#include "sql_text.h"

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

std::string keyQuery(std::string_view duplicateColumns, std::string_view table) {
    return "SELECT " + std::string(duplicateColumns) + " FROM " + bracketed(table) + ";";
}

std::string identityKeyQuery(std::string_view identityColumn, std::string_view duplicateColumns,
                             std::string_view table) {
    return "SELECT " + bracketed(identityColumn) + ", " + std::string(duplicateColumns) + " FROM " +
           bracketed(table) + ";";
}

std::string workKeyQuery(std::string_view duplicateColumns) {
    return identityKeyQuery(kWorkColumn, duplicateColumns, kWorkTable);
}

std::string dropIfExists(std::string_view table) {
    return "if (object_id (" + objectIdLiteral(table) + ") is not null) drop table " +
           bracketed(table);
}

std::string copyIntoWorkTable(std::string_view table) {
    return "SELECT * INTO " + bracketed(kWorkTable) + " From " + bracketed(table);
}

std::string addWorkColumn() {
    return "ALTER TABLE " + bracketed(kWorkTable) + " ADD " + bracketed(kWorkColumn) +
           " INT IDENTITY(1,1)";
}

std::string indexWorkTable(std::string_view column) {
    return "CREATE INDEX " + bracketed("IX_" + std::string(kWorkTable)) + " ON " +
           bracketed(kWorkTable) + " (" + bracketed(column) + ")";
}

std::string deleteOne(std::string_view column, std::string_view value) {
    return "DELETE FROM " + bracketed(kWorkTable) + " WHERE " + bracketed(column) + " = " +
           std::string(value);
}

std::string deleteMany(std::string_view column, const std::vector<std::string>& values) {
    std::string s =
        "DELETE FROM " + bracketed(kWorkTable) + " WHERE " + bracketed(column) + " IN (";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) s += ", ";
        s += values[i];
    }
    return s + ")";
}

std::string copyIntoNewTable(std::string_view allColumns, std::string_view newName) {
    return "SELECT " + std::string(allColumns) + " INTO " + bracketed(newName) + " FROM " +
           bracketed(kWorkTable);
}

std::string dropWorkTable() {
    return "DROP TABLE " + bracketed(kWorkTable);
}

std::string selectNewTable(std::string_view newName) {
    return "SELECT * FROM " + bracketed(newName) + ";";
}

std::string columnNamesQuery(std::string_view table) {
    return "SELECT column_name FROM information_schema.Columns WHERE table_name=N'" +
           doubled(table, '\'') + "'";
}

} // namespace rowlark::dedupe
