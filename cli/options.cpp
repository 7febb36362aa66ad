#include "options.h"

#include "signals.h"

#include "dedupe/spill_files.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <stdexcept>

namespace rowlark::cli {
namespace {

using namespace option;

enum class Shape {
    Optional,         // [--x V]
    Required,         // --x V
    RequiredRepeated, // --x V [--x V ...]
    OptionalRepeated, // [--x V ...]
    OrPrevious,       // joins the option before it: [--a | --b]
    Alone,            // a run of its own: rowlark-dedupe --help | --version
};

struct OptionRow {
    std::string_view name;
    std::string_view value;    // what --help shows after the name; empty for a switch
    std::string_view synopsis; // the value in the usage line, when it differs
    Shape shape;
    std::string help; // its lines, joined by '\n'
    void (*take)(Options&, const std::string& value);
};

std::string notEmpty(std::string_view option, const std::string& value, const char* what) {
    if (value.empty()) throw std::invalid_argument(named(option, "needs " + std::string(what)));
    return value;
}

// The options in the order --help shows them: the login's, the job's, the run's.
std::vector<OptionRow> loginOptions() {
    return {
        {kServer,
         "HOST",
         {},
         Shape::Optional,
         "the server; what is not given comes from the login the wizard stored",
         [](Options& o, const std::string& v) { o.server = v; }},
        {kPort,
         "N",
         {},
         Shape::Optional,
         "its TCP port (1 to 65535)",
         [](Options& o, const std::string& v) { o.port = parsePort(v); }},
        {kLocal,
         {},
         {},
         Shape::Optional,
         "a local instance: connect without a port",
         [](Options& o, const std::string&) { o.local = true; }},
        {kNoLocal,
         {},
         {},
         Shape::OrPrevious,
         "connect with the port, whatever the stored login says",
         [](Options& o, const std::string&) { o.noLocal = true; }},
        {kUser,
         "NAME",
         {},
         Shape::Optional,
         "the login name",
         [](Options& o, const std::string& v) { o.user = v; }},
        {kDatabase,
         "DB",
         {},
         Shape::Optional,
         "the database",
         [](Options& o, const std::string& v) { o.database = v; }},
    };
}

std::vector<OptionRow> jobOptions() {
    return {
        {kTable,
         "T",
         {},
         Shape::Required,
         "the table to clean",
         [](Options& o, const std::string& v) { o.table = v; }},
        {kColumn,
         "C",
         {},
         Shape::RequiredRepeated,
         "a column that defines a duplicate (repeatable)",
         [](Options& o, const std::string& v) { o.columns.push_back(v); }},
        {kInto,
         "NEW",
         {},
         Shape::Optional,
         "the new table",
         [](Options& o, const std::string& v) { o.into = v; }},
        {kReplace,
         {},
         {},
         Shape::Optional,
         "replace an existing table named NEW (without it, the run stops with\n"
         "status 2 and changes nothing); a view or other object is never\n"
         "replaced",
         [](Options& o, const std::string&) { o.replace = true; }},
        {kKeep,
         "first|last",
         {},
         Shape::Optional,
         "which row of each group stays: the first (the default) or the\n"
         "last, in the table's own order or in the " +
             std::string(kOrderBy) + " order",
         [](Options& o, const std::string& v) {
             if (v != "first" && v != "last")
                 throw std::invalid_argument(named(kKeep, "takes first or last, not '" + v + "'"));
             o.keepLast = v == "last";
         }},
        {kOrderBy, "'C [DESC]'", "'COLUMN [ASC|DESC]'", Shape::OptionalRepeated,
         "order each group by C (ascending unless DESC; repeatable; ties go\n"
         "by the table's own order), as the server sorts, NULL first",
         [](Options& o, const std::string& v) { o.orderBy.push_back(parseOrderColumn(v)); }},
        {kRemovedInto,
         "TABLE",
         {},
         Shape::Optional,
         "also build TABLE with exactly the rows left out, in the same\n"
         "transaction as NEW; the same name rules as " +
             std::string(kInto),
         [](Options& o, const std::string& v) { o.removedInto = v; }},
        {kOnServer,
         {},
         {},
         Shape::Optional,
         "the whole job as statements on the server, only counts travelling;\n"
         "the server's comparison decides (its collation: letter case and\n"
         "trailing blanks as the columns say; NULL apart from empty values)",
         [](Options& o, const std::string&) { o.onServer = true; }},
    };
}

std::vector<OptionRow> runOptions() {
    return {
        {kDryRun,
         {},
         {},
         Shape::Optional,
         "read the keys and report rows, duplicates, distinct keys and the ten\n"
         "largest groups; create, change and drop nothing",
         [](Options& o, const std::string&) { o.dryRun = true; }},
        {kJson,
         {},
         {},
         Shape::Optional,
         "the final summary as one JSON object on standard output",
         [](Options& o, const std::string&) { o.json = true; }},
        {kMemoryLimit,
         "SIZE",
         {},
         Shape::Optional,
         "memory for the search, as 512M or 2G, 1 byte to 16384G (default:\n"
         "half of the available memory); past it, the keys go to temporary\n"
         "files",
         [](Options& o, const std::string& v) { o.memoryLimit = parseSize(v); }},
        {kSpillDir,
         "DIR",
         {},
         Shape::Optional,
         "where those files go (default: " + std::string(dedupe::DefaultSpillDirWords()) + "):\n" +
             dedupe::SpillFilesWords() +
             ";\nthey take about the size of the chosen columns' text plus 30\n"
             "bytes a row",
         [](Options& o, const std::string& v) { o.spillDir = notEmpty(kSpillDir, v, "a folder"); }},
        {kHelp,
         {},
         {},
         Shape::Alone,
         "this text",
         [](Options& o, const std::string&) { o.help = true; }},
        {kVersion,
         {},
         {},
         Shape::Alone,
         "the program's version",
         [](Options& o, const std::string&) { o.version = true; }},
    };
}

const std::vector<OptionRow>& table() {
    static const std::vector<OptionRow> rows = [] {
        std::vector<OptionRow> all = loginOptions();
        for (auto part : {jobOptions(), runOptions()})
            all.insert(all.end(), part.begin(), part.end());
        return all;
    }();
    return rows;
}

const OptionRow* find(std::string_view name) {
    if (name == "-h") name = kHelp;
    for (const OptionRow& s : table())
        if (s.name == name) return &s;
    return nullptr;
}

// One option as the usage line shows it, without the brackets.
std::string synopsisOf(const OptionRow& s) {
    std::string out(s.name);
    const std::string_view value = s.synopsis.empty() ? s.value : s.synopsis;
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on " " + a temporary.
    if (!value.empty()) out.append(" ").append(value);
    return out;
}

// The usage line, wrapped as a terminal of 96 columns shows it.
std::string synopsis() {
    std::vector<std::string> items;
    std::vector<std::string> alone;
    for (const OptionRow& s : table()) {
        const std::string one = synopsisOf(s);
        switch (s.shape) {
        case Shape::Optional:
            items.push_back("[" + one + "]");
            break;
        case Shape::Required:
            items.push_back(one);
            break;
        case Shape::RequiredRepeated:
            items.push_back(one + " [" + one + " ...]");
            break;
        case Shape::OptionalRepeated:
            items.push_back("[" + one + " ...]");
            break;
        case Shape::OrPrevious:
            items.back().insert(items.back().size() - 1, " | " + one);
            break;
        case Shape::Alone:
            alone.push_back(one);
            break;
        }
    }
    const std::string start = "usage: rowlark-dedupe ";
    const std::string indent(start.size(), ' ');
    std::string out = start, line = start;
    for (const auto& item : items) {
        if (line.size() > start.size() && line.size() + item.size() > 96) {
            out += "\n" + indent;
            line = indent;
        } else if (line.size() > start.size()) {
            out += " ";
            line += " ";
        }
        out += item;
        line += item;
    }
    out += "\n       rowlark-dedupe ";
    for (std::size_t i = 0; i < alone.size(); ++i)
        out += (i ? " | " : "") + alone[i];
    return out + "\n";
}

// Each option on its own line, its help beside it from column 24.
std::string optionLines() {
    std::string out;
    for (const OptionRow& s : table()) {
        std::string head = "  ";
        head.append(s.name);
        if (!s.value.empty()) head.append(" ").append(s.value);
        head.resize(std::max<std::size_t>(head.size() + 1, 24), ' ');
        std::string help = s.help;
        for (std::size_t at = 0; (at = help.find('\n', at)) != std::string::npos; at += 25)
            help.insert(at + 1, std::string(24, ' '));
        out += head + help + "\n";
    }
    return out;
}

} // namespace

namespace {
std::string pair(std::string_view a, std::string_view b) {
    return std::string(a) + " and " + std::string(b);
}
} // namespace

std::string named(std::string_view option, const std::string& text) {
    return std::string(option) + " " + text;
}

const std::string& usageText() {
    static const std::string text =
        synopsis() +
        "\n"
        "Builds NEW (default: T followed by 2) in the same database with every row of T except "
        "the\n"
        "later repeats: rows that agree in all the columns C. T itself is never changed.\n"
        "\n" +
        optionLines() +
        "\n"
        "Options take their value as --option VALUE or --option=VALUE. Names match exactly; a "
        "name\n"
        "that differs only in letter case matches when it is the only such one.\n"
        "These do not go together: " +
        pair(kLocal, kNoLocal) + "; " + pair(kOnServer, kMemoryLimit) + ",\n" +
        pair(kOnServer, kSpillDir) + " (the server searches); " + pair(kDryRun, kRemovedInto) +
        "\n(a dry run makes no table).\n"
        "\n"
        "The password comes from the environment variable ROWLARK_PASSWORD; else, when the "
        "server,\n"
        "port and user are those of the stored login, from the stored login; else from a prompt "
        "on\n"
        "the terminal. It is never taken from the command line.\n"
        "\n"
        "Exit status: 0 done (also when there are no duplicates), 1 a step failed (or whether the\n"
        "commit took effect could not be learned), 2 bad usage or a refused name (nothing "
        "changed),\n"
        "130 or 143 stopped by " +
        signalWords(SIGINT) + " or " + signalWords(SIGTERM) +
        "; a second one cuts the connection at once.\n";
    return text;
}

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        std::optional<std::string> inlineValue;
        if (a.rfind("--", 0) == 0)
            if (const auto eq = a.find('='); eq != std::string::npos) {
                inlineValue = a.substr(eq + 1);
                a.resize(eq);
            }
        if (a == kPassword)
            throw std::invalid_argument("there is no " + a +
                                        " option: set ROWLARK_PASSWORD or let it ask");
        const OptionRow* row = find(a);
        if (!row) throw std::invalid_argument("unknown option " + a);
        std::string value;
        if (row->value.empty() && inlineValue)
            throw std::invalid_argument(named(a, "takes no value"));
        if (!row->value.empty()) {
            if (!inlineValue && i + 1 >= args.size())
                throw std::invalid_argument(named(a, "needs a value"));
            value = inlineValue ? *inlineValue : args[++i];
        }
        row->take(o, value);
    }
    if (!o.help && !o.version) validate(o);
    return o;
}

void validate(const Options& o) {
    auto both = [](std::string_view a, std::string_view b, const std::string& why) {
        return std::invalid_argument(pair(a, b) + " " + why);
    };
    if (o.local && o.noLocal) throw both(kLocal, kNoLocal, "contradict");
    if (o.table.empty()) throw std::invalid_argument(named(kTable, "is required"));
    if (o.columns.empty())
        throw std::invalid_argument("at least one " + std::string(kColumn) + " is required");
    for (std::size_t i = 0; i < o.orderBy.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (o.orderBy[i].first == o.orderBy[j].first)
                throw std::invalid_argument(
                    named(kOrderBy, o.orderBy[i].first + " is given twice"));
    for (std::size_t i = 0; i < o.columns.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (o.columns[i] == o.columns[j])
                throw std::invalid_argument(named(kColumn, o.columns[i] + " is given twice"));
    const std::string serverSearches =
        "do not go together: the server does the search, so no keys are held or written here";
    if (o.onServer && o.memoryLimit) throw both(kOnServer, kMemoryLimit, serverSearches);
    if (o.onServer && !o.spillDir.empty()) throw both(kOnServer, kSpillDir, serverSearches);
    if (o.dryRun && o.removedInto)
        throw both(kDryRun, kRemovedInto, "do not go together: a dry run makes no table");
}

bool asksForJson(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(), [](const std::string& a) {
        return a == kJson || a.rfind(std::string(kJson) + "=", 0) == 0;
    });
}

std::pair<std::string, bool> parseOrderColumn(const std::string& text) {
    std::string name = text;
    bool descending = false;
    const auto blank = text.find_last_of(' ');
    if (blank != std::string::npos) {
        std::string word = text.substr(blank + 1);
        for (char& c : word)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (word == "ASC" || word == "DESC") {
            descending = word == "DESC";
            name = text.substr(0, text.find_last_not_of(' ', blank) + 1);
        }
    }
    if (name.empty() || name.find_first_not_of(' ') == std::string::npos)
        throw std::invalid_argument(named(kOrderBy, "takes a column, as COLUMN or 'COLUMN DESC'"));
    return {name, descending};
}

std::string parsePort(const std::string& text) {
    const bool digits = !text.empty() && text.size() <= 5 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoul(text) < 1 || std::stoul(text) > 65535)
        throw std::invalid_argument(
            named(kPort, "takes a TCP port from 1 to 65535, not '" + text + "'"));
    return text;
}

std::uint64_t parseSize(const std::string& text) {
    const auto bad = [&](const std::string& what) {
        return std::invalid_argument(
            named(kMemoryLimit, "takes a " + what + ", not '" + text + "'"));
    };
    // Digits first: the library's reading would take "-1" as the largest number there is.
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        throw bad("size such as 512M or 2G");
    std::size_t used = 0;
    unsigned long long n = 0;
    try {
        n = std::stoull(text, &used);
    } catch (const std::exception&) {
        throw bad("size such as 512M or 2G");
    }
    const std::string unit = text.substr(used);
    int shift = 0;
    if (unit == "K" || unit == "k")
        shift = 10;
    else if (unit == "M" || unit == "m")
        shift = 20;
    else if (unit == "G" || unit == "g")
        shift = 30;
    else if (!unit.empty())
        throw bad("size such as 512M or 2G");
    if (n == 0 || n > (kMaxMemoryLimit >> shift)) throw bad("size from 1 byte to 16384G");
    return std::uint64_t(n) << shift;
}

} // namespace rowlark::cli
