#include "signals.h"
#include "summary.h"
#include "system_signals.h"

#include <csignal>
#include <thread>

#include <pthread.h>

namespace rowlark::cli {

void WatchSystemSignals(void (*handler)(int)) {
    // Blocked here before any other thread starts, the signals reach only the thread below,
    // which may do what a signal handler may not: cancel a statement through the driver.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set, handler] {
        for (;;) {
            int sig = 0;
            if (sigwait(&set, &sig) == 0) handler(sig);
        }
    }).detach();
}

// The thread waits for the process's end.
void StopWatchingSystemSignals() {}

std::string signalWords(int signal) {
    return signalName(signal);
}

} // namespace rowlark::cli
