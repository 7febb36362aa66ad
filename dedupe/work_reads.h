// The job's reads of keys and what it makes of the numbers they bring: rows read in blocks
// straight from the driver's buffers, and the rows to leave out as runs of neighbours.
#pragma once

#include "keys.h"
#include "sql_text.h"

#include "db/block_reader.h"
#include "db/statement.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rowlark::dedupe {

// A row's number as the work table holds it; it must be a whole number to name one row. Throws
// std::runtime_error otherwise.
std::int64_t rowNumber(const db::Value& v);

// Calls take(number, key) for each row of the statement's result in read order, until it says
// false. With `numbered` the first column is the row's number and the key starts after it. Rows
// are read in blocks straight from the driver's buffers where every column can be bound.
template <class Take> void forEachKey(db::Statement& st, bool numbered, Take&& take) {
    const std::size_t first = numbered ? 1 : 0;
    std::string key;
    if (db::BlockReader::CanRead(st)) {
        db::BlockReader rows(st);
        auto number = [&](std::size_t r) -> std::int64_t {
            if (!numbered) return 0;
            if (rows.null(0, r) || rows.kind(0) != db::BlockReader::Kind::Integer) {
                if (rows.null(0, r)) return rowNumber(std::nullopt);
                const auto text = rows.text(0, r);
                return rowNumber(db::fromWide(text.data(), text.size()));
            }
            return rows.integer(0, r);
        };
        for (std::size_t n; (n = rows.next()) > 0;)
            for (std::size_t r = 0; r < n; ++r) {
                rowKey(rows, r, first, key);
                if (!take(number(r), key)) return;
            }
        return;
    }
    std::vector<db::Value> row;
    while (st.fetch(row)) {
        rowKey(row, first, key);
        if (!take(numbered ? rowNumber(row[0]) : 0, key)) return;
    }
}

// The doomed numbers as runs of rows that stand next to each other in the copy: numbered 1, 2, 3
// ... there, or, with the table's identity values as the numbers, next to each other among all
// of them (`all`, sorted). Empty when there are more than `most` runs: a condition the server
// checks for every row must stay short.
std::vector<NumberRange> runsOf(std::vector<std::int64_t> doomed,
                                const std::vector<std::int64_t>* all, std::size_t most);

} // namespace rowlark::dedupe
