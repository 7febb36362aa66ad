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

private:
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// Resident memory of this process now, and its peak so far, in bytes.
long long residentBytes();
long long peakResidentBytes();

} // namespace rowlark::bench
