#include "sandbox_harness.h"

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace rowlark::bench {
namespace {

std::string driverLibrary() {
    for (const char* p :
         {"/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so",
          "/usr/lib/aarch64-linux-gnu/odbc/libtdsodbc.so", "/usr/lib/odbc/libtdsodbc.so"})
        if (std::filesystem::exists(p)) return p;
    return "libtdsodbc.so";
}

} // namespace

InProcessSandbox::InProcessSandbox() {
    dir_ = std::filesystem::temp_directory_path() / ("rowlark-bench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ / "odbcinst.ini") << "[SQL Server]\nDriver = " << driverLibrary() << "\n";
    std::ofstream(dir_ / "odbc.ini");
    ::setenv("ODBCSYSINI", dir_.c_str(), 1);
    ::setenv("ODBCINI", (dir_ / "odbc.ini").c_str(), 1);
    store_ = std::make_unique<sandbox::Store>(dir_ / "data");
    server_ = std::make_unique<sandbox::Server>(*store_, sandbox::Credentials{"sa", "bench"});
    port_ = server_->listen(0);
    thread_ = std::thread([this] { server_->serve(); });
}

InProcessSandbox::~InProcessSandbox() {
    server_->stop();
    thread_.join();
    server_.reset();
    store_.reset();
    std::filesystem::remove_all(dir_);
}

std::string InProcessSandbox::connectionString(const std::string& database) const {
    return "Driver={SQL Server};Server=127.0.0.1," + std::to_string(port_) +
           ";Database=" + database + ";Uid=sa;Pwd=bench;";
}

} // namespace rowlark::bench
