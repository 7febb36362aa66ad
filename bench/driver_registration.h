// The benchmarks' use of scripts/sandbox.sh: a scratch folder where the driver manager finds
// FreeTDS under the name "SQL Server", and a sandbox process started and stopped there.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace rowlark::bench {

// Runs scripts/sandbox.sh with the arguments (each given whole, single-quoted here) and returns
// what it printed; throws when it fails.
inline std::string runSandboxScript(std::initializer_list<std::string> args) {
    std::string command = "'" ROWLARK_SANDBOX_SCRIPT "'";
    for (const auto& a : args)
        command += " '" + a + "'";
    FILE* out = ::popen(command.c_str(), "r");
    if (!out) throw std::runtime_error("could not run " + command);
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, out))
        text += buffer;
    if (::pclose(out) != 0) throw std::runtime_error(command + " failed");
    return text;
}

// Makes a fresh folder (temp + name + pid), registers the driver there and points the driver
// manager at it; returns the folder.
inline std::filesystem::path registerDriverInScratchFolder(const std::string& name) {
    const auto dir =
        std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    runSandboxScript({"register", dir.string()});
    ::setenv("ODBCSYSINI", dir.c_str(), 1);
    ::setenv("ODBCINI", (dir / "odbc.ini").c_str(), 1);
    return dir;
}

} // namespace rowlark::bench
