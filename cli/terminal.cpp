#include "terminal.h"

#include <atomic>
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <conio.h>
#include <io.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace rowlark::cli {

#ifndef _WIN32
namespace {
termios gSaved{};
std::atomic<bool> gEchoOff{false};
} // namespace
#endif

void RestoreTerminal() {
#ifndef _WIN32
    if (gEchoOff.exchange(false)) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &gSaved);
        if (::write(STDERR_FILENO, "\n", 1) < 0) return; // the prompt's line ends
    }
#endif
}

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return ::isatty(STDERR_FILENO) != 0;
#endif
}

std::optional<std::string> promptPassword(const std::string& prompt) {
#ifdef _WIN32
    if (!_isatty(_fileno(stdin))) return std::nullopt;
    std::cerr << prompt << std::flush;
    std::string pw;
    for (int c; (c = _getwch()) != '\r' && c != '\n';) {
        if (c == '\b') {
            if (!pw.empty()) pw.pop_back();
        } else {
            pw.push_back(static_cast<char>(c));
        }
    }
    std::cerr << "\n";
    return pw;
#else
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
#endif
}

} // namespace rowlark::cli
