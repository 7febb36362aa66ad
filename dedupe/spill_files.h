// Temporary files for key values (the user's data) that do not fit the memory budget. They are
// made in a private folder (mode 0700, files 0600) under the folder given, else $TMPDIR, else
// /tmp, and unlinked as soon as they are open, the folder with them: nothing stays behind, even
// after a crash or SIGKILL, and no other user can read them meanwhile.
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
// `count` files open for reading and writing, already unlinked. Throws std::runtime_error
// naming the folder when they cannot be made.
std::vector<SpillFile> OpenSpillFiles(std::size_t count, const std::string& dir = {});

} // namespace rowlark::dedupe
