// The listening socket and one thread per connection.
#pragma once

#include "session.h"

#include <atomic>
#include <list>
#include <mutex>
#include <thread>

namespace sandbox {

struct Limits {
    std::size_t maxConnections = 256; // served at once; one more is refused
    long loginSeconds = 30;           // to finish a login, or the connection is closed
};

class Server {
public:
    Server(Store& store, Credentials credentials, Limits limits = {});
    ~Server();
    // Binds 127.0.0.1:port (0 picks a free port) and returns the port bound. Throws on failure.
    int listen(int port);
    // Accepts connections until stop() is called (from any thread or a signal handler).
    void serve();
    void stop();

private:
    static constexpr std::size_t kRefusing = 8; // connections past the cap answered with a refusal
    struct Client {
        int fd;
        std::thread thread;
        std::atomic<bool> finished{false};
    };
    void reap(bool all);

    Store& store_;
    Credentials credentials_;
    Limits limits_;
    int listenFd_ = -1;
    int wake_[2] = {-1, -1};
    std::mutex mutex_;
    std::list<Client> clients_;
};

} // namespace sandbox
