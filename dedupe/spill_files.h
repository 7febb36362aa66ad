// Temporary files for key values (the user's data) that do not fit the memory budget. No other
// user can read them, and nothing stays behind, even after a crash or a kill. Each system makes
// them its own way (CMake picks the file):
// - Linux and other POSIX systems (spill_files_posix.cpp): under the folder given, else $TMPDIR,
//   else /tmp. On Linux they never have a name (O_TMPFILE); where the folder's file system cannot
//   make such files, they are made in a private folder (mode 0700, files 0600) and unlinked as
//   soon as they are open, the folder with them, which leaves one short window: a kill between
//   the folder's making and its removal leaves it, empty.
// - Windows (spill_files_windows.cpp): under the folder given, else the user's temporary folder
//   (GetTempPath: %TMP%, %TEMP%, the profile's), each file opened for this run alone and deleted
//   by the system when it is closed, or when the program ends in any way.
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

// The folder the files go under when none is given: $TMPDIR, else /tmp; on Windows the user's
// temporary folder.
std::string DefaultSpillDir();
// For help texts, in this system's words: where the files go when no folder is given, and what
// becomes of them.
const char* DefaultSpillDirWords();
const char* SpillFilesWords();
// `count` files open for reading and writing, without a name. Throws std::runtime_error naming
// the folder when they cannot be made.
std::vector<SpillFile> OpenSpillFiles(std::size_t count, const std::string& dir = {});
// POSIX only (Windows needs no folder): the same through a private folder, as OpenSpillFiles
// makes them where unnamed files cannot be.
std::vector<SpillFile> OpenSpillFilesInPrivateFolder(std::size_t count, const std::string& dir);

} // namespace rowlark::dedupe
