// The connected stream sockets of this process. A driver that waits on a server that stopped
// answering cannot be woken through ODBC; shutting its socket down ends the wait at once, and the
// driver then fails the call in its own words. Each system has its file (CMake picks it):
// - Linux (sockets_posix.cpp): the descriptors under /proc/self/fd that are connected sockets.
// - Windows (sockets_windows.cpp): no list; Connected() is empty and nothing is cut, so the
//   cancel switch tells its owner instead (CancelSwitch::setUnanswered), which ends the run.
#pragma once

#include <algorithm>
#include <iterator>
#include <vector>

namespace rowlark::db::sockets {

// The descriptors of this process's connected stream sockets, in rising order; empty where the
// platform gives no such list.
std::vector<int> Connected();
// Shuts each socket down both ways; the descriptors stay open for their owner to close.
void Cut(const std::vector<int>& sockets);

// The descriptors of `now` that are not in `before` (both in rising order).
inline std::vector<int> Since(const std::vector<int>& before, const std::vector<int>& now) {
    std::vector<int> out;
    std::set_difference(now.begin(), now.end(), before.begin(), before.end(),
                        std::back_inserter(out));
    return out;
}

} // namespace rowlark::db::sockets
