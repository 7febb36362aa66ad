#include "external_sandbox.h"

#include "driver_registration.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace rowlark::bench {

ExternalSandbox::ExternalSandbox() {
    dir_ = registerDriverInScratchFolder("rowlark-bench-ext");
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::setenv("ROWLARK_SANDBOX_PASSWORD", "bench", 1);
        const std::string data = (dir_ / "data").string();
        ::execl(ROWLARK_SANDBOX_BIN, "rowlark-sandbox", "--data", data.c_str(),
                static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    ::close(out[1]);
    FILE* f = ::fdopen(out[0], "r");
    char line[128] = {};
    if (!std::fgets(line, sizeof line, f) ||
        std::sscanf(line, "listening on 127.0.0.1:%d", &port_) != 1)
        throw std::runtime_error("the sandbox did not start");
    std::fclose(f);
}

ExternalSandbox::~ExternalSandbox() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
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
