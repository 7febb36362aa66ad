// Reads a result in large blocks straight from the driver's buffers: whole numbers and
// floating-point values by value, everything else as the driver's UTF-16 text. For the job's key
// reads, which touch every row of a table and want no copy or conversion they do not need.
#pragma once

#include "statement.h"

#include <string_view>

namespace rowlark::db {

class BlockReader {
public:
    enum class Kind { Text, Integer, Real };

    // Whether every column of the statement's result can be bound (none is a long type).
    static bool CanRead(const Statement& statement);
    // Takes over the result's bindings; the statement must have just been executed. Blocks hold
    // up to blockRows rows, fewer when the rows are wide (about 4 MB of buffers at most).
    explicit BlockReader(Statement& statement, std::size_t blockRows = 1024);
    // Lets the buffers go from the statement, which reads by its own bindings again.
    ~BlockReader();
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    // Rows of the next block, 0 after the last. Throws OdbcError.
    std::size_t next();
    std::size_t columns() const { return kinds_.size(); }
    Kind kind(std::size_t column) const { return kinds_[column]; }
    bool null(std::size_t column, std::size_t row) const {
        return indicators_[column][row] == SQL_NULL_DATA;
    }
    std::int64_t integer(std::size_t column, std::size_t row) const;
    double real(std::size_t column, std::size_t row) const;
    // The text of a value; throws OdbcError (01004) when it did not fit its buffer.
    std::basic_string_view<SQLWCHAR> text(std::size_t column, std::size_t row) const;

private:
    SQLHSTMT stmt_;
    const std::vector<ColumnMeta>& meta_;
    std::size_t blockRows_ = 0;
    std::vector<Kind> kinds_;
    std::vector<std::size_t> widths_; // bytes a value takes in its buffer
    std::vector<std::vector<char>> buffers_;
    std::vector<std::vector<SQLLEN>> indicators_;
    SQLULEN fetched_ = 0;
    bool done_ = false;
};

} // namespace rowlark::db
