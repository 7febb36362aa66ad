// The little the command line needs from the terminal: terminal_posix.cpp (termios) and
// terminal_windows.cpp (the console's API) implement it, CMake picks one.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace rowlark::cli {

// The arguments after the program's name, as UTF-8 (on Windows read from the wide command line:
// argv holds them in the ANSI code page, which loses names outside it).
std::vector<std::string> commandLineArguments(int argc, char** argv);
// On Windows: the console shows UTF-8 and understands the progress line's escape codes.
void PrepareConsole();

bool stderrIsTerminal();
// Asks on the terminal without echo; nullopt when there is no terminal to ask on.
std::optional<std::string> promptPassword(const std::string& prompt);
// Puts back the terminal's settings when a prompt was interrupted (echo on again); nothing to do
// otherwise. Safe to call from the signal watcher's thread.
void RestoreTerminal();

} // namespace rowlark::cli
