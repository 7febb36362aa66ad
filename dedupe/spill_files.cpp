#include "spill_files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace rowlark::dedupe {

std::string DefaultSpillDir() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

#ifdef _WIN32
std::vector<SpillFile> OpenSpillFiles(std::size_t count, const std::string&) {
    std::vector<SpillFile> files;
    for (std::size_t i = 0; i < count; ++i) {
        std::FILE* f = std::tmpfile();
        if (!f) throw std::runtime_error("could not create a temporary file for the keys");
        files.emplace_back(f);
    }
    return files;
}
#else
std::vector<SpillFile> OpenSpillFiles(std::size_t count, const std::string& dir) {
    const std::string base = dir.empty() ? DefaultSpillDir() : dir;
    auto fail = [&](const std::string& what) {
        return std::runtime_error("could not create a temporary file for the keys in " + base +
                                  ": " + what);
    };
    std::string folder = base + "/rowlark-keys-XXXXXX";
    if (!::mkdtemp(folder.data())) throw fail(std::strerror(errno)); // mode 0700
    std::vector<SpillFile> files;
    std::string error;
    for (std::size_t i = 0; i < count && error.empty(); ++i) {
        const std::string path = folder + "/" + std::to_string(i);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = std::strerror(errno);
            break;
        }
        ::unlink(path.c_str());
        std::FILE* f = ::fdopen(fd, "w+b");
        if (!f) {
            error = std::strerror(errno);
            ::close(fd);
            break;
        }
        files.emplace_back(f);
    }
    ::rmdir(folder.c_str());
    if (!error.empty()) throw fail(error);
    return files;
}
#endif

} // namespace rowlark::dedupe
