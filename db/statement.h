// A statement: plain SQL text, forward-only and read-only, its results read in blocks of rows.
#pragma once

#include "connection.h"

#include <optional>
#include <vector>

namespace rowlark::db {

struct ColumnMeta {
    std::string name;
    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0;
    SQLSMALLINT decimalDigits = 0;
    bool nullable = true;
    bool updatable = true;
    bool autoUnique = false; // an identity column
};

// Whether a column's values are too long to bind to a buffer: they are read piece by piece.
bool isLong(const ColumnMeta& c);
// Characters a value of the column takes as text, its terminator included; generous for numbers
// and dates.
std::size_t textWidth(const ColumnMeta& c);

// A value as text; nullopt for a database NULL, which is not the empty text.
using Value = std::optional<std::string>;

class Statement {
public:
    explicit Statement(const Connection& connection);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Runs SQL text; true when the first result has columns. Throws OdbcError.
    bool execute(std::string_view sql);
    // The tables catalogue (SQLTables) of the connection's database.
    void tables();

    const std::vector<ColumnMeta>& columns() const { return columns_; }
    // The next row of the current result; false after the last.
    bool fetch(std::vector<Value>& row);
    // Moves to the next result of the batch; false when there is none. A failed statement of the
    // batch throws here, and calling again moves past it.
    bool nextResult();
    // Rows changed by the current result's statement, when the server said.
    SQLLEN rowCount() const;
    // Lets the rest of the results go (the driver cancels what is still coming).
    void close();
    // Stops the statement on the server now, so that the rows still to come are never sent.
    void cancel();
    // For a reader that binds the result itself (BlockReader): the statement's own block
    // bindings are let go first.
    SQLHSTMT takeBindings();

private:
    void describe();
    void bindBlock();
    void unbind();
    Value getData(SQLUSMALLINT column);

    Handle stmt_;
    std::shared_ptr<CancelSwitch> cancel_; // shared: a grid's statement may outlive the job
    std::vector<ColumnMeta> columns_;

    // Block fetch: one buffer and one indicator array per column.
    static constexpr SQLULEN kBlockRows = 256;
    bool block_ = false;
    std::vector<std::size_t> widths_; // characters per value, terminator included
    std::vector<std::vector<SQLWCHAR>> buffers_;
    std::vector<std::vector<SQLLEN>> indicators_;
    SQLULEN fetched_ = 0;
    SQLULEN next_ = 0;
    bool exhausted_ = false;
};

} // namespace rowlark::db
