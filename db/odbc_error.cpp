#include "odbc_error.h"

namespace rowlark::db {
namespace {

std::string join(const std::vector<DiagRecord>& records) {
    std::string s;
    for (const auto& r : records) {
        if (!s.empty()) s += "\n";
        s += r.message;
    }
    return s;
}

} // namespace

OdbcError::OdbcError(std::vector<DiagRecord> records)
    : std::runtime_error(join(records)), records_(std::move(records)) {
    if (records_.empty()) records_.push_back({"HY000", 0, "Unknown ODBC error"});
}

OdbcError::OdbcError(std::string sqlState, std::string message)
    : OdbcError(std::vector<DiagRecord>{{std::move(sqlState), 0, std::move(message)}}) {}

} // namespace rowlark::db
