// The command line of rowlark-dedupe.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace rowlark::cli {

struct Options {
    std::optional<std::string> server, port, user, database;
    bool local = false;
    std::string table;
    std::vector<std::string> columns;
    std::optional<std::string> into;
    bool help = false;
};

// Throws std::invalid_argument with what is wrong. There is deliberately no password option:
// a password on a command line shows in every process listing.
Options parseOptions(const std::vector<std::string>& args);

extern const char* const kUsage;

} // namespace rowlark::cli
