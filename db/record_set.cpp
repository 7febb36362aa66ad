#include "record_set.h"

namespace rowlark::db {

void RecordSet::open(const std::string& sql, Connection& connection) {
    openWith(connection, [&](Statement& st) { st.execute(sql); });
}

void RecordSet::openTables(Connection& connection) {
    openWith(connection, [](Statement& st) { st.tables(); });
}

void RecordSet::openWith(Connection& connection, const std::function<void(Statement&)>& run) {
    close();
    clientSide_ = connection.cursorLocation() == CursorLocation::Client;
    statement_ = std::make_unique<Statement>(connection);
    try {
        run(*statement_);
    } catch (...) {
        statement_.reset();
        throw;
    }
    for (const auto& c : statement_->columns()) {
        Field f;
        f.name = c.name;
        f.type = fieldType(c);
        f.attributes = fieldAttributes(c);
        f.identity = c.autoUnique;
        f.meta = c;
        fields_.push_back(std::move(f));
    }
    complete_ = fields_.empty();
}

void RecordSet::close() {
    statement_.reset();
    fields_.clear();
    rows_.clear();
    position_ = 0;
    complete_ = false;
}

bool RecordSet::ensure(std::size_t rows) {
    while (rows_.size() < rows && !complete_) {
        std::vector<Value> row;
        if (!statement_->fetch(row)) {
            complete_ = true;
            break;
        }
        rows_.push_back(std::move(row));
    }
    return rows_.size() >= rows;
}

std::size_t RecordSet::fetchMore(std::size_t count) {
    std::size_t before = rows_.size();
    if (statement_) ensure(before + count);
    return rows_.size() - before;
}

bool RecordSet::eof() {
    if (!statement_)
        throw OdbcError("HY010", "Operation is not allowed when the object is closed.");
    return !ensure(position_ + 1);
}

void RecordSet::moveNext() {
    if (eof())
        throw OdbcError("HY109",
                        "Either BOF or EOF is True, or the current record has been deleted.");
    ++position_;
}

const Value& RecordSet::value(std::size_t index) {
    if (eof())
        throw OdbcError("HY109",
                        "Either BOF or EOF is True, or the current record has been deleted.");
    if (index >= fields_.size())
        throw OdbcError("HY000", "Item cannot be found in the collection corresponding to the "
                                 "requested name or ordinal.");
    return rows_[position_][index];
}

const Value& RecordSet::value(std::string_view name) {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].name == name) return value(i);
    throw OdbcError(
        "HY000",
        "Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

long RecordSet::recordCount() {
    if (!statement_ || !clientSide_) return -1;
    ensure(static_cast<std::size_t>(-1));
    return static_cast<long>(rows_.size());
}

} // namespace rowlark::db
