#include "external_sandbox.h"

#include "driver_registration.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace rowlark::bench {

ExternalSandbox::ExternalSandbox() {
    dir_ = registerDriverInScratchFolder("rowlark-bench-ext");
    ::setenv("ROWLARK_SANDBOX_PASSWORD", "bench", 1);
    port_ = std::stoi(runSandboxScript({"start", dir_.string(), ROWLARK_SANDBOX_BIN, "--fresh"}));
}

ExternalSandbox::~ExternalSandbox() {
    try {
        runSandboxScript({"stop", dir_.string()});
    } catch (const std::exception&) {
        // a sandbox that would not stop was killed; its folder goes all the same
    }
    std::filesystem::remove_all(dir_);
}

std::string ExternalSandbox::connectionString(const std::string& database) const {
    return "Driver={SQL Server};Server=127.0.0.1," + std::to_string(port_) +
           ";Database=" + database + ";Uid=sa;Pwd=bench;";
}

long long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

long long peakResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string name;
    long long kb = 0;
    while (status >> name) {
        if (name == "VmHWM:" && status >> kb) return kb * 1024;
        status.ignore(1 << 10, '\n');
    }
    return residentBytes();
}

void resetPeakResident() {
    std::ofstream("/proc/self/clear_refs") << "5"; // the kernel's way to restart VmHWM
}

} // namespace rowlark::bench
