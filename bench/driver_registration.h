// A scratch folder where the driver manager finds FreeTDS under the name "SQL Server".
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace rowlark::bench {

// Makes a fresh folder (temp + name + pid), registers the driver there and points the driver
// manager at it; returns the folder.
inline std::filesystem::path registerDriverInScratchFolder(const std::string& name) {
    const auto dir =
        std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::string driver = "libtdsodbc.so";
    for (const char* p :
         {"/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so",
          "/usr/lib/aarch64-linux-gnu/odbc/libtdsodbc.so", "/usr/lib/odbc/libtdsodbc.so"})
        if (std::filesystem::exists(p)) driver = p;
    std::ofstream(dir / "odbcinst.ini") << "[SQL Server]\nDriver = " << driver << "\n";
    std::ofstream(dir / "odbc.ini");
    ::setenv("ODBCSYSINI", dir.c_str(), 1);
    ::setenv("ODBCINI", (dir / "odbc.ini").c_str(), 1);
    return dir;
}

} // namespace rowlark::bench
