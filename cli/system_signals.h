// How each system hands SIGINT and SIGTERM to the signal watcher (signals.cpp), and the words
// for them: system_signals_posix.cpp (a thread waiting in sigwait) and
// system_signals_windows.cpp (a console control handler); CMake picks one.
#pragma once

namespace rowlark::cli {

// From now on each SIGINT or SIGTERM (on Windows Ctrl-C, and Ctrl-Break or the console's closing)
// calls `handler` with SIGINT or SIGTERM, on a thread where it may call into the driver; the
// process's default reaction is held back. Called once, before any other thread starts.
void WatchSystemSignals(void (*handler)(int signal));
void StopWatchingSystemSignals();

} // namespace rowlark::cli
