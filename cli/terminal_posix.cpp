#include "terminal.h"

#include <atomic>
#include <iostream>

#include <termios.h>
#include <unistd.h>

namespace rowlark::cli {

namespace {
termios gSaved{};
std::atomic<bool> gEchoOff{false};
} // namespace

void RestoreTerminal() {
    if (gEchoOff.exchange(false)) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &gSaved);
        if (::write(STDERR_FILENO, "\n", 1) < 0) return; // the prompt's line ends
    }
}

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void PrepareConsole() {}

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

std::optional<std::string> promptPassword(const std::string& prompt) {
    if (!::isatty(STDIN_FILENO)) return std::nullopt;
    ::tcgetattr(STDIN_FILENO, &gSaved);
    termios quiet = gSaved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    gEchoOff = true;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    std::cerr << prompt << std::flush;
    std::string pw;
    std::getline(std::cin, pw);
    if (gEchoOff.exchange(false)) ::tcsetattr(STDIN_FILENO, TCSANOW, &gSaved);
    std::cerr << "\n";
    return pw;
}

} // namespace rowlark::cli
