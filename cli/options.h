// The command line of rowlark-dedupe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rowlark::cli {

struct Options {
    std::optional<std::string> server, port, user, database;
    bool local = false;
    bool noLocal = false;
    std::string table;
    std::vector<std::string> columns;
    std::optional<std::string> into;
    bool keepLast = false; // --keep last
    std::optional<std::string> removedInto;
    bool onServer = false;
    // --order-by: column names as typed, each with its direction.
    std::vector<std::pair<std::string, bool>> orderBy;
    bool replace = false;                     // an existing table of the new name may be replaced
    std::optional<std::uint64_t> memoryLimit; // bytes
    std::string spillDir;                     // where keys past the limit go; empty: $TMPDIR
    bool dryRun = false;
    bool json = false;
    bool help = false;
    bool version = false;
};

// Throws std::invalid_argument with what is wrong. There is deliberately no password option:
// a password on a command line shows in every process listing.
Options parseOptions(const std::vector<std::string>& args);

// "Updated DESC" -> {"Updated", true}; a last word ASC or DESC (any case) is the direction.
std::pair<std::string, bool> parseOrderColumn(const std::string& text);

// A TCP port as digits, 1 to 65535; throws std::invalid_argument otherwise.
std::string parsePort(const std::string& text);

// Past this a memory limit is no limit but a slip (16 TiB).
inline constexpr std::uint64_t kMaxMemoryLimit = std::uint64_t{1} << 44;
// "512M", "2G", "1048576": bytes, from 1 to kMaxMemoryLimit; throws std::invalid_argument
// otherwise (a sign, zero, an unknown unit, too much).
std::uint64_t parseSize(const std::string& text);

extern const char* const kUsage;

} // namespace rowlark::cli
