// Temporary files for key values (the user's data) that do not fit the memory budget, under the
// folder given, else $TMPDIR, else /tmp (on Windows the user's temporary folder). No other user
// can read them, and nothing stays behind, even after a crash or SIGKILL: on Linux they never
// have a name (O_TMPFILE); where the folder's file system cannot make such files, they are made
// in a private folder (mode 0700, files 0600) and unlinked as soon as they are open, the folder
// with them, which leaves one short window: a kill between the folder's making and its removal
// leaves it, empty. On Windows the system deletes each file when it is closed.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace rowlark::dedupe {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using SpillFile = std::unique_ptr<std::FILE, FileCloser>;

// The folder the files go under when none is given: $TMPDIR, else /tmp.
std::string DefaultSpillDir();
// `count` files open for reading and writing, without a name. Throws std::runtime_error naming
// the folder when they cannot be made.
std::vector<SpillFile> OpenSpillFiles(std::size_t count, const std::string& dir = {});
// The same through a private folder, as OpenSpillFiles makes them where unnamed files cannot be
// (built on POSIX systems only: Windows needs no folder).
std::vector<SpillFile> OpenSpillFilesInPrivateFolder(std::size_t count, const std::string& dir);

} // namespace rowlark::dedupe
