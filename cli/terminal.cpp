#include "terminal.h"

#include <atomic>
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <windows.h>

#include <conio.h>
#include <io.h>
#include <shellapi.h>
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

#ifdef _WIN32
namespace {
std::string utf8(const wchar_t* text, int length) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}
} // namespace

std::vector<std::string> commandLineArguments(int, char**) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    for (int i = 1; wide && i < count; ++i)
        out.push_back(utf8(wide[i], -1).c_str());
    LocalFree(wide);
    return out;
}

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(err, &mode)) SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}
#else
std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void PrepareConsole() {}
#endif

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
    std::wstring typed;
    for (wint_t c; (c = _getwch()) != L'\r' && c != L'\n';) {
        if (c == 3) {
            // The console is raw while it reads unechoed keys, so Ctrl-C arrives as a key: it is
            // passed on as the console event it would otherwise have been.
            GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
            for (;;)
                Sleep(1000);
        }
        if (c == 0 || c == 0xE0) {
            _getwch(); // the second half of an arrow or function key
        } else if (c == L'\b') {
            if (!typed.empty()) typed.pop_back();
        } else {
            typed.push_back(static_cast<wchar_t>(c));
        }
    }
    std::cerr << "\n";
    return utf8(typed.data(), static_cast<int>(typed.size()));
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
