// A rowlark-sandbox process for benchmarks that measure the client's own memory.
#pragma once

#include <filesystem>
#include <string>

namespace rowlark::bench {

class ExternalSandbox {
public:
    // Starts ROWLARK_SANDBOX_BIN through scripts/sandbox.sh on a free port, with a scratch data
    // folder and the driver registered there.
    ExternalSandbox();
    ~ExternalSandbox();
    std::string connectionString(const std::string& database) const;
    int port() const { return port_; }
    // The store file that holds a database: what sqlite3 itself opens for the floor measurement.
    std::filesystem::path storeFile(const std::string& database) const {
        return dir_ / "data" / (database + ".sqlite");
    }

private:
    std::filesystem::path dir_;
    int port_ = 0;
};

// Resident memory of this process now, and its peak since the last reset, in bytes.
long long residentBytes();
long long peakResidentBytes();
void resetPeakResident();

} // namespace rowlark::bench
