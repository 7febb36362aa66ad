// What a job would find, without changing anything: rows, repeats, distinct keys and the largest
// groups of rows that share a key.
#pragma once

#include "db/connection.h"
#include "sql_text.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rowlark::dedupe {

struct KeyGroup {
    std::vector<std::string> values; // the chosen columns' values (NULL reads as empty text)
    std::uint64_t rows = 0;
    // With an order: the order columns' values of the row that stays (NULL reads as "NULL").
    std::vector<std::string> stays;
};

struct Survey {
    std::uint64_t rows = 0;
    std::uint64_t duplicates = 0; // rows that repeat an earlier row's key
    std::uint64_t distinctKeys = 0;
    std::vector<KeyGroup> largestGroups; // largest first; groups of one row are not listed
};

// Reads the chosen columns of every row of the table through the open connection, as the job
// would, and counts. Sends one SELECT and nothing else. Past the memory budget (0: half of the
// available memory) the keys go to private temporary files under spillDir, as the job's do.
// Throws db::OdbcError, or std::runtime_error when the files cannot be written.
Survey SurveyDuplicates(db::Connection& connection, const std::string& table,
                        const std::vector<std::string>& duplicateColumns, std::size_t groups = 10,
                        std::uint64_t memoryBudget = 0, const std::string& spillDir = {});

// The same survey done by the server, by its own comparison of values: three statements, only
// counts and the largest groups travel. With an order, each group's row that stays is the first
// in that order (ties: as the server reads them).
Survey SurveyOnServer(db::Connection& connection, const std::string& table,
                      const std::vector<std::string>& duplicateColumns,
                      const std::vector<OrderColumn>& order, bool last, std::size_t groups = 10);

// With an order (see JobSettings::orderBy), reads the table once more in that order and sets,
// for each of the survey's largest groups, the order values of the row that would stay.
void FindRowsThatStay(db::Connection& connection, const std::string& table,
                      const std::vector<std::string>& duplicateColumns,
                      const std::vector<OrderColumn>& order, bool last, Survey& survey);

// The values a key was built from (the inverse of appendKeyValue, NULL read as empty text).
std::vector<std::string> KeyValues(std::string_view key);

} // namespace rowlark::dedupe
