// The little the command line needs from the terminal. The only platform-specific code of the
// command-line runner lives in terminal.cpp.
#pragma once

#include <optional>
#include <string>

namespace rowlark::cli {

bool stderrIsTerminal();
// Asks on the terminal without echo; nullopt when there is no terminal to ask on.
std::optional<std::string> promptPassword(const std::string& prompt);
// Puts back the terminal's settings when a prompt was interrupted (echo on again); nothing to do
// otherwise. Safe to call from the signal watcher's thread.
void RestoreTerminal();

} // namespace rowlark::cli
