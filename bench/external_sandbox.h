// A rowlark-sandbox process for benchmarks that measure the client's own memory.
#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace rowlark::bench {

class ExternalSandbox {
public:
    ExternalSandbox(); // starts ROWLARK_SANDBOX_BIN on a free port with a scratch data folder
    ~ExternalSandbox();
    std::string connectionString(const std::string& database) const;
    // The store file that holds a database: what sqlite3 itself opens for the floor measurement.
    std::filesystem::path storeFile(const std::string& database) const {
        return dir_ / "data" / (database + ".sqlite");
    }

private:
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// Resident memory of this process now, and its peak since the last reset, in bytes.
long long residentBytes();
long long peakResidentBytes();
void resetPeakResident();

} // namespace rowlark::bench
