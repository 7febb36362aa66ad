#include "terminal.h"

#include "common/wide_text_windows.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <iostream>

#include <windows.h>

#include <conio.h>
#include <io.h>
#include <shellapi.h>

namespace rowlark::cli {

namespace {
DWORD gSaved = 0;
std::atomic<bool> gEchoOff{false};
} // namespace

void RestoreTerminal() {
    if (gEchoOff.exchange(false)) {
        SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), gSaved);
        DWORD written = 0;
        WriteConsoleW(GetStdHandle(STD_ERROR_HANDLE), L"\n", 1, &written, nullptr);
    }
}

std::vector<std::string> commandLineArguments(int, char**) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    for (int i = 1; wide && i < count; ++i)
        out.push_back(utf8(wide[i]));
    LocalFree(wide);
    return out;
}

namespace {
// Text for a console window goes to it as UTF-16: the byte path decodes by code pages and C
// runtime locales that differ between Windows versions (and Wine), and mangles names outside them.
// A pipe or file still gets the UTF-8 bytes, which is what scripts read.
class ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) {}

protected:
    int_type overflow(int_type c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        pending_.push_back(static_cast<char>(c));
        if (c == '\n') write();
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        pending_.append(s, static_cast<std::size_t>(n));
        if (std::memchr(s, '\n', static_cast<std::size_t>(n))) write();
        return n;
    }
    int sync() override {
        write();
        return 0;
    }

private:
    // Writes what is complete; a character cut between two writes waits for its last bytes.
    void write() {
        std::size_t end = pending_.size();
        for (std::size_t back = 1; back <= 3 && back <= pending_.size(); ++back) {
            const auto b = static_cast<unsigned char>(pending_[pending_.size() - back]);
            if ((b & 0xC0) == 0x80) continue; // a continuation byte
            const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
            if (length > back) end = pending_.size() - back;
            break;
        }
        if (end == 0) return;
        const std::wstring text = wide(std::string_view(pending_).substr(0, end));
        DWORD written = 0;
        WriteConsoleW(console_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        pending_.erase(0, end);
    }

    HANDLE console_;
    std::string pending_;
};

void toConsole(std::ostream& stream, DWORD which) {
    const HANDLE h = GetStdHandle(which);
    DWORD mode = 0;
    if (h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &mode)) return;
    SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING); // the progress line's codes
    stream.flush();
    stream.rdbuf(new ConsoleBuffer(h)); // lives as long as the process
}
} // namespace

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
    toConsole(std::cout, STD_OUTPUT_HANDLE);
    toConsole(std::cerr, STD_ERROR_HANDLE);
}

bool stderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

std::optional<std::string> promptPassword(const std::string& prompt) {
    if (!_isatty(_fileno(stdin))) return std::nullopt;
    // Echo off before the prompt shows, so that keys typed ahead are not shown either; Ctrl-C
    // stays a console event.
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (GetConsoleMode(in, &gSaved)) {
        gEchoOff = true;
        SetConsoleMode(in, (gSaved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT | ENABLE_LINE_INPUT)) |
                               ENABLE_PROCESSED_INPUT);
    }
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
    if (gEchoOff.exchange(false)) SetConsoleMode(in, gSaved);
    std::cerr << "\n";
    return utf8(typed);
}

} // namespace rowlark::cli
