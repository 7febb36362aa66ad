// The statements of the duplicate-removal job, and how names go into them safely.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rowlark::dedupe {

// The work table is a temporary table of the job's own session, "#" and this name: the server
// drops it when the session ends, however it ends, and no other session sees it. Earlier versions
// made a permanent table of this name; one that exists now belongs to someone and is never
// dropped (the job only says it is there).
inline constexpr std::string_view kWorkTable = "TEMP_TABLE_CREATED_BY_ORVANDEL";
inline constexpr std::string_view kWorkColumn = "TEMP_COLUMN_CREATED_BY_ORVANDEL";
// The session table of the numbers of the rows to leave out, and the rank column of the job done
// by the server.
inline constexpr std::string_view kNumberList = "#TEMP_NUMBERS_CREATED_BY_ORVANDEL";
inline constexpr std::string_view kRankColumn = "TEMP_RANK_CREATED_BY_ORVANDEL";
std::string workTableName();
// The work column's name: kWorkColumn, or kWorkColumn with a number when the table has a column
// of that name already (names compared as the server does, letter case ignored).
std::string workColumnName(const std::vector<std::string>& tableColumns);
// `base`, or `base` with _2, _3 ... when a column of the list has that name (letter case ignored).
std::string freeColumnName(std::string_view base, const std::vector<std::string>& taken);

// The permanent tables named kWorkTable (in any letter case the server's collation allows), as
// the catalogue spells them.
std::string oldWorkTableQuery();

// [name] with ']' doubled.
std::string bracketed(std::string_view name);
// The name as object_id reads it, in an N'...' literal: [name] (']' doubled) where the name holds
// '.', '[' or ']' that object_id would read as part of a multi-part name; quotes doubled.
std::string objectIdLiteral(std::string_view name);
// "[a], [b], [c]" for the names a, b, c.
std::string bracketList(const std::vector<std::string>& names);

// The column list: the table's field metadata only; no row of the table travels.
std::string metadataQuery(std::string_view table);
// The key read: the chosen columns of every row.
std::string keyQuery(const std::vector<std::string>& duplicateColumns, std::string_view table);
// Each row's identity value and its chosen columns, in one read so the two cannot disagree.
std::string identityKeyQuery(std::string_view identityColumn,
                             const std::vector<std::string>& duplicateColumns,
                             std::string_view table);
// A column of the order that decides which row of a group stays.
struct OrderColumn {
    std::string name;
    bool descending = false;
};
// Each work-table row's number (in the column given) and its chosen columns; with an order, in
// that order and then by the number (`last`: all of it reversed), so that the row that stays is
// the first one read. Without an order and not `last`, as the table is stored unless `byNumber`.
std::string workKeyQuery(std::string_view numberColumn,
                         const std::vector<std::string>& duplicateColumns,
                         std::string_view workTable, const std::vector<OrderColumn>& order = {},
                         bool last = false, bool byNumber = false);
// " ORDER BY [a] DESC, [b]" for the order (`last`: every direction reversed); empty for none.
std::string orderByClause(const std::vector<OrderColumn>& order, bool last);
// The guarded drop: a table of that name when there is one; a view or any other object of that
// name is never dropped.
std::string dropIfExists(std::string_view table);
// One row, one column: "table" when a table has the name, "other" for a view or any other object,
// "none" when nothing has it.
std::string objectKindQuery(std::string_view name);
// The work copy, as it stands (the source's identity column numbers its rows).
std::string copyIntoWorkTable(std::string_view table, std::string_view workTable);
// The numbered work copy, in one pass: a work column numbers its rows 1, 2, 3 ...
std::string copyIntoNumberedWorkTable(std::string_view table, std::string_view workTable,
                                      std::string_view workColumn);
// An index on the column the deletes name, so each delete finds its rows without a scan.
std::string indexWorkTable(std::string_view workTable, std::string_view column);
// The single delete: one row by its work number or identity value.
std::string deleteOne(std::string_view workTable, std::string_view column, std::string_view value);
// The batch delete: many rows in one statement.
std::string deleteMany(std::string_view workTable, std::string_view column,
                       const std::vector<std::string>& values);
// Numbers from..to, both included: a run of rows the new table leaves out.
struct NumberRange {
    std::int64_t from, to;
};
// The new table's copy straight from the work table, leaving out the rows whose number (in the
// column given) falls in one of the ranges: no delete needed.
std::string copyIntoNewTableLeavingOut(const std::vector<std::string>& columns,
                                       std::string_view newName, std::string_view workTable,
                                       std::string_view numberColumn,
                                       const std::vector<NumberRange>& leftOut);
// The removed rows' copy: the work table's rows whose number falls in one of the ranges.
std::string copyRowsInRanges(const std::vector<std::string>& columns, std::string_view newName,
                             std::string_view workTable, std::string_view numberColumn,
                             const std::vector<NumberRange>& ranges);
// A session table of row numbers (column n, its key), and numbers into it.
std::string createNumberList(std::string_view list);
std::string insertNumbers(std::string_view list, const std::vector<std::string>& values);
// The work table's rows whose number is (listed) or is not (!listed) in the number list.
std::string copyRowsListed(const std::vector<std::string>& columns, std::string_view newName,
                           std::string_view workTable, std::string_view numberColumn,
                           std::string_view list, bool listed);
// The job done by the server: the work table's rows ranked within each group of equal keys (by
// the server's own comparison), in the order given and then by the number, rank 1 first; the
// rows ranked 1 (stay) or the others (!stay) into a new table.
std::string copyRankedRows(const std::vector<std::string>& columns, std::string_view newName,
                           std::string_view workTable, const std::vector<std::string>& keys,
                           const std::vector<OrderColumn>& order, bool last,
                           std::string_view numberColumn, std::string_view rankColumn, bool stay);
// The server's survey: one row, the rows and the distinct keys.
std::string serverCountsQuery(const std::vector<std::string>& keys, std::string_view table);
// The server's largest groups (more than one row), largest first: the keys, the order columns'
// values of the row that stays, and the group's rows (in the column named by countColumn).
std::string serverGroupsQuery(const std::vector<std::string>& keys, std::string_view table,
                              const std::vector<OrderColumn>& order, bool last,
                              std::string_view rankColumn, std::string_view countColumn,
                              std::size_t groups);
// The new table's copy: what is left, without the work column.
std::string copyIntoNewTable(const std::vector<std::string>& columns, std::string_view newName,
                             std::string_view workTable);
// The work table's drop.
std::string dropWorkTable(std::string_view workTable);
// One row: each table's object id (NULL where no table has the name), in the order given.
std::string tableIdsQuery(const std::vector<std::string>& tables);
// One row, one column: the table's rows.
std::string countRowsQuery(std::string_view table);
// What a person runs to see whether the tables are there, and when each was made.
std::string tablesMadeStatement(const std::vector<std::string>& tables);
// The result's read: the new table, for the grid.
std::string selectNewTable(std::string_view newName);
// The names of the database's tables and views.
std::string tableNamesQuery();
// The field page's preview: the table's first hundred rows.
std::string previewQuery(std::string_view table);
// The column names of a table, as the table page reads them.
std::string columnNamesQuery(std::string_view table);

} // namespace rowlark::dedupe
