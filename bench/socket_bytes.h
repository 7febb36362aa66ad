// What crossed this process's TCP connections to one port: the bytes of the protocol itself, as
// the kernel counts them for each socket, both ways. Unlike the loopback interface's counters,
// it sees no other program's traffic and counts no packet twice.
#pragma once

namespace rowlark::bench {

// Bytes received from and sent to (and acknowledged by) 127.0.0.1:port, summed over every TCP
// socket this process holds open to it now. A connection counts only while it is open: read it
// before the connection closes, and take the difference from a reading before the work.
double tcpBytesTo(int port);

} // namespace rowlark::bench
