#include "statement.h"

#include "cancel.h"

namespace rowlark::db {
bool isLong(const ColumnMeta& c) {
    switch (c.sqlType) {
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_LONGVARBINARY:
        return true;
    default:
        return c.size == 0 || c.size > 4000;
    }
}

std::size_t textWidth(const ColumnMeta& c) {
    switch (c.sqlType) {
    case SQL_BINARY:
    case SQL_VARBINARY:
        return 2 * c.size + 1;
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
        return c.size + 1;
    default:
        return std::max<std::size_t>(c.size, 40) + 8;
    }
}

Statement::Statement(const Connection& connection)
    : stmt_(SQL_HANDLE_STMT, connection.handle()), cancel_(connection.cancelSwitch()) {
    if (connection.queryTimeout() > 0)
        stmt_.check(SQLSetStmtAttrW(
            stmt_.get(), SQL_ATTR_QUERY_TIMEOUT,
            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(connection.queryTimeout())), 0));
    if (cancel_) cancel_->enter(stmt_.get());
}

Statement::~Statement() {
    if (cancel_) cancel_->leave(stmt_.get());
}

bool Statement::execute(std::string_view sql) {
    close();
    if (cancel_ && cancel_->pulled()) throw OdbcError("HY008", "Operation canceled");
    auto wide = toWide(sql);
    stmt_.check(SQLExecDirectW(stmt_.get(), wide.data(), static_cast<SQLINTEGER>(wide.size())));
    describe();
    return !columns_.empty();
}

void Statement::tables() {
    close();
    stmt_.check(SQLTablesW(stmt_.get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0));
    describe();
}

void Statement::describe() {
    unbind();
    columns_.clear();
    exhausted_ = false;
    SQLSMALLINT n = 0;
    stmt_.check(SQLNumResultCols(stmt_.get(), &n));
    for (SQLUSMALLINT i = 1; i <= n; ++i) {
        ColumnMeta c;
        SQLWCHAR name[512];
        SQLSMALLINT nameLen = 0, nullable = 0;
        stmt_.check(SQLDescribeColW(stmt_.get(), i, name, 512, &nameLen, &c.sqlType, &c.size,
                                    &c.decimalDigits, &nullable));
        c.name = fromWide(name, static_cast<std::size_t>(std::min<SQLSMALLINT>(nameLen, 511)));
        c.nullable = nullable != SQL_NO_NULLS;
        SQLLEN attr = 0;
        stmt_.check(
            SQLColAttributeW(stmt_.get(), i, SQL_DESC_UPDATABLE, nullptr, 0, nullptr, &attr));
        c.updatable = attr != SQL_ATTR_READONLY;
        attr = 0;
        stmt_.check(SQLColAttributeW(stmt_.get(), i, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0,
                                     nullptr, &attr));
        c.autoUnique = attr == SQL_TRUE;
        columns_.push_back(std::move(c));
    }
    block_ = !columns_.empty();
    for (const auto& c : columns_)
        if (isLong(c)) block_ = false;
    if (block_) bindBlock();
}

void Statement::bindBlock() {
    widths_.clear();
    buffers_.assign(columns_.size(), {});
    indicators_.assign(columns_.size(), std::vector<SQLLEN>(kBlockRows));
    stmt_.check(SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_ROW_BIND_TYPE,
                                reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0));
    stmt_.check(SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_ROW_ARRAY_SIZE,
                                reinterpret_cast<SQLPOINTER>(kBlockRows), 0));
    stmt_.check(SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0));
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        std::size_t w = textWidth(columns_[i]);
        widths_.push_back(w);
        buffers_[i].resize(w * kBlockRows);
        stmt_.check(SQLBindCol(stmt_.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_C_WCHAR,
                               buffers_[i].data(), static_cast<SQLLEN>(w * sizeof(SQLWCHAR)),
                               indicators_[i].data()));
    }
    fetched_ = next_ = 0;
}

void Statement::unbind() {
    if (!block_) return;
    SQLFreeStmt(stmt_.get(), SQL_UNBIND);
    SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    block_ = false;
}

Value Statement::getData(SQLUSMALLINT column) {
    std::basic_string<SQLWCHAR> text;
    SQLWCHAR buf[2048];
    for (;;) {
        SQLLEN ind = 0;
        SQLRETURN rc =
            stmt_.check(SQLGetData(stmt_.get(), column, SQL_C_WCHAR, buf, sizeof buf, &ind));
        if (rc == SQL_NO_DATA) break;
        if (ind == SQL_NULL_DATA) return std::nullopt;
        std::size_t chars = (ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(sizeof buf))
                                ? sizeof buf / sizeof(SQLWCHAR) - 1
                                : static_cast<std::size_t>(ind) / sizeof(SQLWCHAR);
        text.append(buf, chars);
        if (rc == SQL_SUCCESS) break;
    }
    return fromWide(text.data(), text.size());
}

bool Statement::fetch(std::vector<Value>& row) {
    if (columns_.empty() || exhausted_) return false;
    row.resize(columns_.size());
    if (!block_) {
        if (stmt_.check(SQLFetch(stmt_.get())) == SQL_NO_DATA) return exhausted_ = true, false;
        for (std::size_t i = 0; i < columns_.size(); ++i)
            row[i] = getData(static_cast<SQLUSMALLINT>(i + 1));
        return true;
    }
    if (next_ >= fetched_) {
        fetched_ = next_ = 0;
        if (stmt_.check(SQLFetch(stmt_.get())) == SQL_NO_DATA || fetched_ == 0)
            return exhausted_ = true, false;
    }
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        SQLLEN ind = indicators_[i][next_];
        if (ind == SQL_NULL_DATA) {
            row[i].reset();
            continue;
        }
        const SQLWCHAR* p = buffers_[i].data() + next_ * widths_[i];
        std::size_t chars = static_cast<std::size_t>(ind) / sizeof(SQLWCHAR);
        if (ind == SQL_NO_TOTAL || chars > widths_[i] - 1)
            throw OdbcError("01004", "String data, right truncated in column " + columns_[i].name);
        row[i] = fromWide(p, chars);
    }
    ++next_;
    return true;
}

bool Statement::nextResult() {
    unbind();
    columns_.clear();
    SQLRETURN rc = SQLMoreResults(stmt_.get());
    if (rc == SQL_NO_DATA) return false;
    stmt_.check(rc);
    describe();
    return true;
}

SQLLEN Statement::rowCount() const {
    SQLLEN n = -1;
    stmt_.check(SQLRowCount(stmt_.get(), &n));
    return n;
}

void Statement::cancel() {
    SQLCancel(stmt_.get());
    close();
}

SQLHSTMT Statement::takeBindings() {
    unbind();
    return stmt_.get();
}

void Statement::close() {
    unbind();
    columns_.clear();
    SQLFreeStmt(stmt_.get(), SQL_CLOSE);
}

} // namespace rowlark::db
