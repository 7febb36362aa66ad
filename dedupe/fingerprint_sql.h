// The statements of the job's fingerprint search: the server reduces each row's chosen values to
// a 64-bit fingerprint; only fingerprints and row numbers travel. Rows whose fingerprints agree
// are compared exactly, value by value, on the server before any of them is left out.
#pragma once

#include "sql_text.h"

#include "db/statement.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rowlark::dedupe {

// A value's form: bytes that are equal exactly when the program calls two values of the column
// equal (letter case and trailing blanks count, NULL equals an empty value, floating-point values
// by value with 0 = -0), as a varbinary(max) expression of `value` (a column, qualified or not).
// nullopt for a type whose values have no such form here (sql_variant, xml as the driver reports
// it, CLR types, types the driver does not name): the job then reads the keys themselves.
std::optional<std::string> valueForm(const db::ColumnMeta& column, const std::string& value);

// What the server hashes for a row's fingerprint: the chosen values as text in one CONCAT (NULL as
// empty text; numbers with -0 as 0; dates to their last digit), floating-point and binary values
// as their forms after it. Equal values always give equal input; different values may too, now
// and then (the fingerprint is only a candidate's mark). nullopt when some column has no form.
std::optional<std::string> hashInput(const std::vector<db::ColumnMeta>& columns);
// Whether a row's hash input may pass 8,000 bytes (what servers before 2016 hash at most).
bool hashInputMayPass8000(const std::vector<db::ColumnMeta>& columns);

// Whether the rows x and y hold values the program calls equal in every chosen column: the
// server's own `=` for numbers, dates and uniqueidentifier (by value; 0 = -0), the stored bytes
// and their lengths for text and binary values (NULL as an empty value), the forms for the rest.
// nullopt when some column has no form.
std::optional<std::string> sameRows(const std::vector<db::ColumnMeta>& columns);

// 8 bytes of the input's SHA-256, as a bigint.
std::string fingerprintOf(const std::string& input);

// One row, one value: non-NULL where the server hashes SHA-256 (of more than 8,000 bytes with
// `long`).
std::string hashProbe(bool longInput);

// Every row's fingerprint, in the table's order.
std::string fingerprintQuery(const std::string& input, std::string_view table);
// Each work-table row's number and fingerprint; with an order, in that order and then by the
// number (`last`: all of it reversed).
std::string workFingerprintQuery(std::string_view numberColumn, const std::string& input,
                                 std::string_view workTable, const std::vector<OrderColumn>& order,
                                 bool last);

// A repeat's number beside that of the row it was found to repeat.
struct NumberPair {
    std::int64_t repeat, kept;
};
// Pairs whose repeats are neighbours (r, r+1, ...) all at one distance from their kept rows.
struct PairRun {
    std::int64_t from, to, distance; // kept = repeat - distance
};

// The session table of pairs (n: the repeat, its key; f: the row it repeats), and pairs into it.
std::string createPairList(std::string_view list);
std::string insertPairs(std::string_view list, const std::vector<NumberPair>& pairs);
// The listed repeats that go back to first rows, by number.
std::string deleteListed(std::string_view list, const std::vector<std::int64_t>& numbers);

// The repeats whose values differ from their kept rows' (normally none), by sameRows: the pairs
// of the list, or the pairs of the runs given as literals.
std::string unequalListedPairs(std::string_view list, std::string_view workTable,
                               std::string_view numberColumn, const std::string& same);
std::string unequalPairRuns(const std::vector<PairRun>& runs, std::string_view workTable,
                            std::string_view numberColumn, const std::string& same);

// The numbers and keys of the rows named, for a decision key by key.
std::string keysOfRows(std::string_view numberColumn,
                       const std::vector<std::string>& duplicateColumns, std::string_view workTable,
                       const std::vector<std::int64_t>& numbers);

} // namespace rowlark::dedupe
