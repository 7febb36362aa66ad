#include "process_end.h"

#include <cstdlib>

namespace rowlark {

void EndProcessNow(int status) {
    std::_Exit(status);
}

} // namespace rowlark
