// The statements of the duplicate-removal job, and how names go into them safely.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rowlark::dedupe {

// The work table of earlier versions had this fixed name; each run's own work table now begins
// with it and carries the run's start time and a random part, so two jobs never share one.
inline constexpr std::string_view kWorkTable = "TEMP_TABLE_CREATED_BY_ORVANDEL";
inline constexpr std::string_view kWorkColumn = "TEMP_COLUMN_CREATED_BY_ORVANDEL";

// "TEMP_TABLE_CREATED_BY_ORVANDEL_20261207083600_3f9a1c": unique to a run started at that UTC time.
std::string newWorkTableName();
// The start time in such a name (seconds since the epoch), or nullopt for another name.
std::optional<long long> workTableStarted(std::string_view name);
// The names of the work tables in the database, as the catalogue lists them.
std::string workTablesQuery();

// [name] with ']' doubled.
std::string bracketed(std::string_view name);
// The name as object_id reads it, in an N'...' literal: [name] (']' doubled) where the name holds
// '.', '[' or ']' that object_id would read as part of a multi-part name; quotes doubled.
std::string objectIdLiteral(std::string_view name);
// "[a], [b], [c]" for the names a, b, c.
std::string bracketList(const std::vector<std::string>& names);

// Q1, for the field metadata only: no row of the table travels.
std::string metadataQuery(std::string_view table);
// Q2: the chosen columns of every row.
std::string keyQuery(std::string_view duplicateColumns, std::string_view table);
// Each row's identity value and its chosen columns, in one read so the two cannot disagree.
std::string identityKeyQuery(std::string_view identityColumn, std::string_view duplicateColumns,
                             std::string_view table);
// Each work-table row's number and its chosen columns.
std::string workKeyQuery(std::string_view duplicateColumns, std::string_view workTable);
// Q3 and Q4: drop a table of that name when there is one.
std::string dropIfExists(std::string_view table);
// Q5: the work copy.
std::string copyIntoWorkTable(std::string_view table, std::string_view workTable);
// Q6: the work column, numbering the work table's rows 1, 2, 3 ...
std::string addWorkColumn(std::string_view workTable);
// An index on the column the deletes name, so each delete finds its rows without a scan.
std::string indexWorkTable(std::string_view workTable, std::string_view column);
// Q7a / Q7b: one row by its work number or identity value.
std::string deleteOne(std::string_view workTable, std::string_view column, std::string_view value);
// Many rows in one statement.
std::string deleteMany(std::string_view workTable, std::string_view column,
                       const std::vector<std::string>& values);
// Q8: what is left, into the new table, without the work column.
std::string copyIntoNewTable(std::string_view allColumns, std::string_view newName,
                             std::string_view workTable);
// Q9
std::string dropWorkTable(std::string_view workTable);
// Q10
std::string selectNewTable(std::string_view newName);
// The column names of a table, as the table page reads them.
std::string columnNamesQuery(std::string_view table);

} // namespace rowlark::dedupe
