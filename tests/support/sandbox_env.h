// What tests need to reach the sandbox that the suite's fixture started.
#pragma once

#include "shell/connection_profile.h"

#include <string>

namespace rowlark::test {

constexpr const char* kSandboxUser = "sa";
constexpr const char* kSandboxPassword = "Rowlark;Test{1";

// The fixture's folder (from ROWLARK_TEST_SANDBOX); the test fails when it is missing.
std::string sandboxDir();
int sandboxPort();
// The profile of a sandbox login, as the connection page would hold it.
shell::ConnectionProfile sandboxProfile(const std::string& database,
                                        const std::string& password = kSandboxPassword);
// The connection string the program builds, for a database of the sandbox.
std::string connectionString(const std::string& database,
                             const std::string& password = kSandboxPassword);
// A database of its own for one test program, created fresh (dropped first when it exists).
std::string freshDatabase(const std::string& prefix);

} // namespace rowlark::test
