// The one error type of the data layer: every diagnostic record of the driver, unchanged.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace rowlark::db {

struct DiagRecord {
    std::string sqlState;
    long nativeError = 0;
    std::string message; // as the driver worded it, bracketed prefixes and all
};

class OdbcError : public std::runtime_error {
public:
    explicit OdbcError(std::vector<DiagRecord> records);
    OdbcError(std::string sqlState, std::string message);

    const std::vector<DiagRecord>& records() const { return records_; }
    const std::string& sqlState() const { return records_.front().sqlState; }
    long nativeError() const { return records_.front().nativeError; }
    // The messages of all records, one per line.
    std::string description() const { return what(); }

private:
    std::vector<DiagRecord> records_;
};

} // namespace rowlark::db
