#include "sandbox_harness.h"

#include "driver_registration.h"

namespace rowlark::bench {

InProcessSandbox::InProcessSandbox() {
    dir_ = registerDriverInScratchFolder("rowlark-bench");
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
