#include "block_reader.h"

#include <algorithm>
#include <cstring>

namespace rowlark::db {
namespace {

BlockReader::Kind kindOf(const ColumnMeta& c) {
    switch (c.sqlType) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
        return BlockReader::Kind::Integer;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return BlockReader::Kind::Real;
    default:
        return BlockReader::Kind::Text;
    }
}

} // namespace

bool BlockReader::CanRead(const Statement& statement) {
    for (const auto& c : statement.columns())
        if (isLong(c)) return false;
    return !statement.columns().empty();
}

BlockReader::BlockReader(Statement& statement, std::size_t blockRows)
    : stmt_(statement.takeBindings()), meta_(statement.columns()) {
    auto check = [&](SQLRETURN rc) { return db::check(rc, SQL_HANDLE_STMT, stmt_); };
    for (const auto& c : meta_) {
        kinds_.push_back(kindOf(c));
        widths_.push_back(kinds_.back() == Kind::Text ? textWidth(c) * sizeof(SQLWCHAR)
                                                      : sizeof(std::int64_t));
    }
    // Wide rows (several nvarchar(4000), say) get fewer rows a block: the buffers stay small
    // beside the keys they feed.
    constexpr std::size_t kBufferBytes = std::size_t{4} << 20;
    std::size_t rowBytes = 0;
    for (std::size_t w : widths_)
        rowBytes += w + sizeof(SQLLEN);
    blockRows_ = std::clamp<std::size_t>(kBufferBytes / std::max<std::size_t>(rowBytes, 1), 16,
                                         std::max<std::size_t>(blockRows, 16));
    check(SQLSetStmtAttrW(stmt_, SQL_ATTR_ROW_BIND_TYPE,
                          reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0));
    check(SQLSetStmtAttrW(stmt_, SQL_ATTR_ROW_ARRAY_SIZE,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(blockRows_)), 0));
    check(SQLSetStmtAttrW(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0));
    for (std::size_t i = 0; i < meta_.size(); ++i) {
        const Kind k = kinds_[i];
        const std::size_t width = widths_[i];
        buffers_.emplace_back(width * blockRows_);
        indicators_.emplace_back(blockRows_);
        const SQLSMALLINT type = k == Kind::Integer ? SQL_C_SBIGINT
                                 : k == Kind::Real  ? SQL_C_DOUBLE
                                                    : SQL_C_WCHAR;
        check(SQLBindCol(stmt_, static_cast<SQLUSMALLINT>(i + 1), type, buffers_[i].data(),
                         static_cast<SQLLEN>(width), indicators_[i].data()));
    }
}

std::size_t BlockReader::next() {
    if (done_) return 0;
    fetched_ = 0;
    if (db::check(SQLFetch(stmt_), SQL_HANDLE_STMT, stmt_) == SQL_NO_DATA || fetched_ == 0) {
        done_ = true;
        return 0;
    }
    return fetched_;
}

BlockReader::~BlockReader() {
    SQLFreeStmt(stmt_, SQL_UNBIND);
    SQLSetStmtAttrW(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    SQLSetStmtAttrW(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
}

std::int64_t BlockReader::integer(std::size_t column, std::size_t row) const {
    std::int64_t v;
    std::memcpy(&v, buffers_[column].data() + row * widths_[column], sizeof v);
    return v;
}

double BlockReader::real(std::size_t column, std::size_t row) const {
    double v;
    std::memcpy(&v, buffers_[column].data() + row * widths_[column], sizeof v);
    return v;
}

std::basic_string_view<SQLWCHAR> BlockReader::text(std::size_t column, std::size_t row) const {
    const SQLLEN ind = indicators_[column][row];
    const std::size_t chars = static_cast<std::size_t>(ind) / sizeof(SQLWCHAR);
    if (ind == SQL_NO_TOTAL || (chars + 1) * sizeof(SQLWCHAR) > widths_[column])
        throw OdbcError("01004", "String data, right truncated in column " + meta_[column].name);
    return {reinterpret_cast<const SQLWCHAR*>(buffers_[column].data() + row * widths_[column]),
            chars};
}

} // namespace rowlark::db
