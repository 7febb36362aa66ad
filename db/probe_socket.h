// The socket calls of the pre-login probe (preflight.cpp), one file per system (CMake picks it):
// BSD sockets and poll() in probe_socket_posix.cpp, Winsock and WSAPoll() in
// probe_socket_windows.cpp.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace rowlark::db {

enum class ProbeAnswer {
    Answered,   // the server sent something back, or hung up
    Silent,     // it took the connection and the message, and said nothing until the deadline
    NotReached, // no address, no connection, or the message could not be sent
};

// Connects to host and port over TCP, sends `message`, and waits until `deadline` for the first
// byte back.
ProbeAnswer SendAndWait(const std::string& host, const std::string& port,
                        const unsigned char* message, std::size_t size,
                        std::chrono::steady_clock::time_point deadline);

// The milliseconds left until `deadline`, never below 0.
inline int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace rowlark::db
