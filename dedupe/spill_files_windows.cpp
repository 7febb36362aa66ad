#include "spill_files.h"

#include "common/wide_text_windows.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include <windows.h>

#include <fcntl.h>
#include <io.h>

namespace rowlark::dedupe {

namespace {
std::string lastError() {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, GetLastError(), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = text ? text : L"unknown error";
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
        message.pop_back();
    return utf8(message);
}
} // namespace

std::string DefaultSpillDir() {
    wchar_t path[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, path);
    return n > 0 && n <= MAX_PATH ? utf8(std::wstring(path, n)) : std::string(".");
}

const char* DefaultSpillDirWords() {
    return "the user's temporary folder";
}

const char* SpillFilesWords() {
    return "each open to this run alone and deleted by the system when closed";
}

// The system's temporary files do not do: they may land in the drive's root, where a user may not
// write. Each file here is the user's alone, kept out of the disk cache's write-back where it
// can be, and deleted by the system when closed, even if the program dies.
std::vector<SpillFile> OpenSpillFiles(std::size_t count, const std::string& dir) {
    std::string base = dir.empty() ? DefaultSpillDir() : dir;
    while (base.size() > 1 && (base.back() == '\\' || base.back() == '/'))
        base.pop_back();
    // The C runtime allows 512 streams by default, the standard ones among them, and a search
    // may split its keys 512 ways: the limit goes up first (2048 is the most it takes).
    const int streams = static_cast<int>(std::min<std::size_t>(count + 64, 2048));
    if (_getmaxstdio() < streams) _setmaxstdio(streams);
    std::vector<SpillFile> files;
    for (std::size_t i = 0; i < count; ++i) {
        const std::wstring path =
            wide(base + "\\rowlark-keys-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(GetTickCount64()) + "-" + std::to_string(i));
        const HANDLE h =
            CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            throw std::runtime_error("could not create a temporary file for the keys in " + base +
                                     ": " + lastError());
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
        std::FILE* f = fd < 0 ? nullptr : _fdopen(fd, "w+b");
        if (!f) {
            if (fd >= 0)
                _close(fd);
            else
                CloseHandle(h);
            throw std::runtime_error("could not open a temporary file for the keys in " + base);
        }
        files.emplace_back(f);
    }
    return files;
}
} // namespace rowlark::dedupe
