// Ends the process at once with a status, running nothing more of its own: no destructors, no
// handlers, no library's clean-up. A thread may still wait inside the database driver holding
// the driver's locks; anything that ran at the end could wait on them for ever.
#pragma once

namespace rowlark {

[[noreturn]] void EndProcessNow(int status);

} // namespace rowlark
