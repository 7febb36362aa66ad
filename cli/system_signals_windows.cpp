#include "signals.h"
#include "system_signals.h"

#include <csignal>

#include <windows.h>

namespace rowlark::cli {
namespace {

void (*gHandler)(int) = nullptr;

// Runs on a thread of its own, which the system starts for each console event, so it may cancel a
// statement through the driver. Ctrl-C stands for SIGINT; Ctrl-Break and the console's closing
// (or the user's logging off) stand for SIGTERM, with the same exit statuses as on Linux.
BOOL WINAPI onConsoleEvent(DWORD event) {
    gHandler(event == CTRL_C_EVENT ? SIGINT : SIGTERM);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // The system ends the process as soon as this returns, or a few seconds after the console
    // closed: waiting here gives the job that time to cancel and drop its work table.
    Sleep(20000);
    return TRUE;
}

} // namespace

void WatchSystemSignals(void (*handler)(int)) {
    gHandler = handler;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void StopWatchingSystemSignals() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}

std::string signalWords(int signal) {
    return signal == SIGINT ? "Ctrl-C" : "Ctrl-Break (or the console's closing)";
}

} // namespace rowlark::cli
