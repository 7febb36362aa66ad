// Ends the process at once with a status, running nothing more of its own: no destructors, no
// handlers, no library's clean-up. A thread may still wait inside the database driver holding
// the driver's locks; anything that ran at the end could wait on them for ever. Nothing is flushed
// either: another thread may hold a stream's lock (standard input, while a password is read), so
// the caller flushes what it wrote.
#pragma once

namespace rowlark {

[[noreturn]] void EndProcessNow(int status);

} // namespace rowlark
