#include "sockets.h"

#include <cstdlib>

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>

namespace rowlark::db::sockets {

std::vector<int> Connected() {
    std::vector<int> out;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return out;
    const int own = ::dirfd(dir);
    while (const dirent* e = ::readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(e->d_name, &end, 10);
        if (end == e->d_name || *end != '\0' || fd == own) continue;
        struct stat st {};
        if (::fstat(static_cast<int>(fd), &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
        int type = 0;
        socklen_t size = sizeof type;
        if (::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_TYPE, &type, &size) != 0 ||
            type != SOCK_STREAM)
            continue;
        sockaddr_storage peer{};
        socklen_t peerSize = sizeof peer;
        if (::getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0)
            continue;
        out.push_back(static_cast<int>(fd));
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end());
    return out;
}

void Cut(const std::vector<int>& sockets) {
    for (int fd : sockets)
        ::shutdown(fd, SHUT_RDWR);
}

} // namespace rowlark::db::sockets
