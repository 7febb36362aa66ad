// The command line of rowlark-dedupe: one table of its options (name, value, help text, how the
// value is taken and checked), from which the parser and --help both come, and the checks of
// options that do not go together.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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
    std::string spillDir; // where keys past the limit go; empty: the system's temporary folder
    bool dryRun = false;
    bool json = false;
    bool help = false;
    bool version = false;
};

// The options' names, for the checks and messages that name them; the table in options.cpp gives
// each its value, help and handling.
namespace option {
inline constexpr std::string_view kServer = "--server", kPort = "--port", kLocal = "--local",
                                  kNoLocal = "--no-local", kUser = "--user",
                                  kDatabase = "--database", kTable = "--table",
                                  kColumn = "--column", kInto = "--into", kReplace = "--replace",
                                  kKeep = "--keep", kOrderBy = "--order-by",
                                  kRemovedInto = "--removed-into", kOnServer = "--on-server",
                                  kDryRun = "--dry-run", kJson = "--json",
                                  kMemoryLimit = "--memory-limit", kSpillDir = "--spill-dir",
                                  kHelp = "--help", kVersion = "--version",
                                  kPassword = "--password";
} // namespace option

// "--column" + " " + text, and the like: a message that starts with an option's name.
std::string named(std::string_view option, const std::string& text);

// Reads the options, each checked as the table says, then validate(). Throws
// std::invalid_argument with what is wrong. There is deliberately no password option: a
// password on a command line shows in every process listing.
Options parseOptions(const std::vector<std::string>& args);

// The checks that concern more than one option: what is required, what is given twice, and what
// does not go together (each one is in --help's last paragraph and the manual page):
// --local with --no-local; --on-server with --memory-limit or --spill-dir (the server does the
// search, so no keys are held or written here); --dry-run with --removed-into (a dry run makes
// no table). Throws std::invalid_argument. Not called for --help or --version.
void validate(const Options& o);

// Whether the arguments ask for JSON, even in a form the options refuse (--json=yes): a refusal
// then comes as JSON too.
bool asksForJson(const std::vector<std::string>& args);

// "Updated DESC" -> {"Updated", true}; a last word ASC or DESC (any case) is the direction.
std::pair<std::string, bool> parseOrderColumn(const std::string& text);

// A TCP port as digits, 1 to 65535; throws std::invalid_argument otherwise.
std::string parsePort(const std::string& text);

// Past this a memory limit is no limit but a slip (16 TiB).
inline constexpr std::uint64_t kMaxMemoryLimit = std::uint64_t{1} << 44;
// "512M", "2G", "1048576": bytes, from 1 to kMaxMemoryLimit; throws std::invalid_argument
// otherwise (a sign, zero, an unknown unit, too much).
std::uint64_t parseSize(const std::string& text);

// The text of --help, made from the table.
const std::string& usageText();

} // namespace rowlark::cli
