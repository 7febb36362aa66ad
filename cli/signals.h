// SIGINT and SIGTERM during a job: the running statement is cancelled and the job cleans up, so
// the program can end with 130 or 143 after saying so. A second signal ends it at once.
#pragma once

#include "db/cancel.h"

namespace rowlark::cli {

class SignalWatcher {
public:
    explicit SignalWatcher(db::CancelSwitch& cancel);
    ~SignalWatcher();
    // The signal that came, or 0.
    int caught() const;
};

} // namespace rowlark::cli
