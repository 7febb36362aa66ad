#include "sandbox_env.h"

#include "db/connection.h"
#include "shell/connection_profile.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace rowlark::test {
namespace {

// The driver manager remembers where it found its registrations once it has looked, so the
// fixture's folder is put in place before main() and before any handle exists.
const bool kRegistered = [] {
    if (const char* dir = std::getenv("ROWLARK_TEST_SANDBOX")) {
        ::setenv("ODBCSYSINI", dir, 1);
        ::setenv("ODBCINI", (std::string(dir) + "/odbc.ini").c_str(), 1);
    }
    return true;
}();

} // namespace

std::string sandboxDir() {
    const char* dir = std::getenv("ROWLARK_TEST_SANDBOX");
    if (!dir)
        throw std::runtime_error("ROWLARK_TEST_SANDBOX is not set: run the test through ctest");
    (void)kRegistered;
    return dir;
}

int sandboxPort() {
    std::ifstream in(sandboxDir() + "/port");
    int port = 0;
    if (!(in >> port)) throw std::runtime_error("the sandbox fixture wrote no port");
    return port;
}

shell::ConnectionProfile sandboxProfile(const std::string& database, const std::string& password) {
    shell::ConnectionProfile p;
    p.server = "127.0.0.1";
    p.port = QString::number(sandboxPort());
    p.user = kSandboxUser;
    p.password = QString::fromStdString(password);
    p.database = QString::fromStdString(database);
    return p;
}

std::string connectionString(const std::string& database, const std::string& password) {
    return shell::BuildConnectionString(sandboxProfile(database, password)).toStdString();
}

std::string freshDatabase(const std::string& prefix) {
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::string name =
        prefix + "_" + std::to_string(::getpid()) + "_" + std::to_string(stamp % 1000000);
    db::Connection master;
    master.open(connectionString("master"));
    master.execute("CREATE DATABASE [" + name + "]");
    return name;
}

} // namespace rowlark::test
