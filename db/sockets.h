// The connected stream sockets of this process. A driver that waits on a server that stopped
// answering cannot be woken through ODBC; shutting its socket down ends the wait at once, and the
// driver then fails the call in its own words.
#pragma once

#include <vector>

namespace rowlark::db::sockets {

// The descriptors of this process's connected stream sockets, in rising order; empty where the
// platform gives no such list.
std::vector<int> Connected();
// The descriptors of `now` that are not in `before` (both in rising order).
std::vector<int> Since(const std::vector<int>& before, const std::vector<int>& now);
// Shuts each socket down both ways; the descriptors stay open for their owner to close.
void Cut(const std::vector<int>& sockets);

} // namespace rowlark::db::sockets
