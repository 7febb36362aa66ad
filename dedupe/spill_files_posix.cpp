#include "spill_files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rowlark::dedupe {
namespace {

std::runtime_error failure(const std::string& base, const std::string& what) {
    return std::runtime_error("could not create a temporary file for the keys in " + base + ": " +
                              what);
}

SpillFile adopt(int fd, const std::string& base) {
    std::FILE* f = ::fdopen(fd, "w+b");
    if (!f) {
        const std::string error = std::strerror(errno);
        ::close(fd);
        throw failure(base, error);
    }
    return SpillFile(f);
}

// A file in `dir` that never has a name (Linux's O_TMPFILE): -1 with errno where the system or
// the folder's file system cannot make one.
int openUnnamed(const std::string& dir) {
#ifdef O_TMPFILE
    return ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#else
    (void)dir;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

// What the kernel says when it, or the file system, has no unnamed files.
bool unnamedUnsupported(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

} // namespace

std::string DefaultSpillDir() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

const char* DefaultSpillDirWords() {
    return "$TMPDIR, else /tmp";
}

const char* SpillFilesWords() {
    return "files without a name, or in a private folder unlinked at once";
}

std::vector<SpillFile> OpenSpillFiles(std::size_t count, const std::string& dir) {
    const std::string base = dir.empty() ? DefaultSpillDir() : dir;
    std::vector<SpillFile> files;
    for (std::size_t i = 0; i < count; ++i) {
        const int fd = openUnnamed(base);
        if (fd < 0 && files.empty() && unnamedUnsupported(errno))
            return OpenSpillFilesInPrivateFolder(count, base);
        if (fd < 0) throw failure(base, std::strerror(errno));
        files.push_back(adopt(fd, base));
    }
    return files;
}

std::vector<SpillFile> OpenSpillFilesInPrivateFolder(std::size_t count, const std::string& dir) {
    const std::string base = dir.empty() ? DefaultSpillDir() : dir;
    std::string folder = base + "/rowlark-keys-XXXXXX";
    if (!::mkdtemp(folder.data())) throw failure(base, std::strerror(errno)); // mode 0700
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
        try {
            files.push_back(adopt(fd, base));
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
    }
    ::rmdir(folder.c_str());
    if (!error.empty()) throw failure(base, error);
    return files;
}

} // namespace rowlark::dedupe
