#include "socket_bytes.h"

#include <filesystem>
#include <string>

#include <arpa/inet.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace rowlark::bench {

double tcpBytesTo(int port) {
    double bytes = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
        if (ec || target.rfind("socket:", 0) != 0) continue;
        const int fd = std::stoi(entry.path().filename().string());
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0 ||
            peer.sin_family != AF_INET || ntohs(peer.sin_port) != port)
            continue;
        tcp_info info{};
        socklen_t infoSize = sizeof info;
        if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &infoSize) != 0) continue;
        bytes += static_cast<double>(info.tcpi_bytes_received) +
                 static_cast<double>(info.tcpi_bytes_acked);
    }
    return bytes;
}

} // namespace rowlark::bench
