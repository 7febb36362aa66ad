// A sandbox server inside the benchmark process, reached through the real driver stack.
#pragma once

#include "server.h"

#include <filesystem>
#include <memory>
#include <thread>

namespace rowlark::bench {

class InProcessSandbox {
public:
    InProcessSandbox();
    ~InProcessSandbox();
    std::string connectionString(const std::string& database) const;
    sandbox::Store& store() { return *store_; }

private:
    std::filesystem::path dir_;
    std::unique_ptr<sandbox::Store> store_;
    std::unique_ptr<sandbox::Server> server_;
    std::thread thread_;
    int port_ = 0;
};

} // namespace rowlark::bench
