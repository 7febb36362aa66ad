// A record set: the rows of one statement with their fields, read forward by the program and
// held in memory so that a grid can show any of them (a client-side cursor).
#pragma once

#include "field_types.h"

#include <functional>
#include <memory>

namespace rowlark::db {

struct Field {
    std::string name;
    int type = 0;       // FieldType
    int attributes = 0; // FieldAttribute flags
    bool identity = false;
    ColumnMeta meta;
};

class RecordSet {
public:
    enum State { kClosed = 0, kOpen = 1 };

    // Runs the statement on the connection and stands on the first row. Throws OdbcError.
    // Rows arrive as they are asked for; the connection must outlive the record set.
    void open(const std::string& sql, Connection& connection);
    // The tables catalogue: columns TABLE_CAT, TABLE_SCHEM, TABLE_NAME, TABLE_TYPE, REMARKS.
    void openTables(Connection& connection);
    void close();
    int state() const { return statement_ ? kOpen : kClosed; }

    bool eof();
    void moveNext();
    // The current row's value; nullopt for NULL. Throws OdbcError past the end or for an
    // unknown field.
    const Value& value(std::size_t index);
    const Value& value(std::string_view name);

    const std::vector<Field>& fields() const { return fields_; }
    // The exact number of rows with a client-side cursor (reads the rest of them); -1 with a
    // server-side one, as there the count is not known in advance.
    long recordCount();

    // For a grid: rows held so far, and reading more.
    std::size_t rowsHeld() const { return rows_.size(); }
    bool canFetchMore() const { return statement_ && !complete_; }
    std::size_t fetchMore(std::size_t count);
    const std::vector<Value>& row(std::size_t i) const { return rows_.at(i); }

    // Keeps the connection open for as long as the record set lives (a grid may hold it).
    void holdConnection(std::shared_ptr<Connection> connection) {
        connection_ = std::move(connection);
    }

private:
    void openWith(Connection& connection, const std::function<void(Statement&)>& run);
    bool ensure(std::size_t rows);

    std::shared_ptr<Connection> connection_; // declared first: it goes last
    std::unique_ptr<Statement> statement_;
    std::vector<Field> fields_;
    std::vector<std::vector<Value>> rows_;
    std::size_t position_ = 0;
    bool complete_ = false;
    bool clientSide_ = false;
};

} // namespace rowlark::db
