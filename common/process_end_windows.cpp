#include "process_end.h"

#include <windows.h>

namespace rowlark {

// _Exit ends through ExitProcess, which still tells every library that the process detaches;
// the ODBC driver manager's detach can wait for a connection that another thread is using while
// the server does not answer. TerminateProcess tells nobody.
void EndProcessNow(int status) {
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    for (;;)
        Sleep(INFINITE);
}

} // namespace rowlark
