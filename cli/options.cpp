#include "options.h"

#include <cctype>
#include <stdexcept>

namespace rowlark::cli {

const char* const kUsage =
    "usage: rowlark-dedupe [--server HOST] [--port N] [--local | --no-local] [--user NAME]\n"
    "                      [--database DB] --table T --column C [--column C ...]\n"
    "                      [--into NEW] [--replace] [--keep first|last]\n"
    "                      [--order-by 'COLUMN [ASC|DESC]' ...] [--dry-run] [--json]\n"
    "                      [--removed-into TABLE] [--on-server]\n"
    "                      [--memory-limit SIZE] [--spill-dir DIR]\n"
    "       rowlark-dedupe --help | --version\n"
    "\n"
    "Builds NEW (default: T followed by 2) in the same database with every row of T except the\n"
    "later repeats: rows that agree in all the columns C. T itself is never changed.\n"
    "\n"
    "  --server HOST         the server; what is not given comes from the login the wizard stored\n"
    "  --port N              its TCP port (1 to 65535)\n"
    "  --local               a local instance: connect without a port\n"
    "  --no-local            connect with the port, whatever the stored login says\n"
    "  --user NAME           the login name\n"
    "  --database DB         the database\n"
    "  --table T             the table to clean\n"
    "  --column C            a column that defines a duplicate (repeatable)\n"
    "  --into NEW            the new table\n"
    "  --replace             replace an existing table named NEW (without it, the run stops with\n"
    "                        status 2 and changes nothing); a view or other object is never\n"
    "                        replaced\n"
    "  --keep first|last     which row of each group stays: the first (the default) or the\n"
    "                        last, in the table's own order or in the --order-by order\n"
    "  --order-by 'C [DESC]' order each group by C (ascending unless DESC; repeatable; ties go\n"
    "                        by the table's own order), as the server sorts, NULL first\n"
    "  --removed-into TABLE  also build TABLE with exactly the rows left out, in the same\n"
    "                        transaction as NEW; the same name rules as --into\n"
    "  --on-server           the whole job as statements on the server, only counts travelling;\n"
    "                        the server's comparison decides (its collation: letter case and\n"
    "                        trailing blanks as the columns say; NULL apart from empty values)\n"
    "  --dry-run             read the keys and report rows, duplicates, distinct keys and the ten\n"
    "                        largest groups; create, change and drop nothing\n"
    "  --json                the final summary as one JSON object on standard output\n"
    "  --memory-limit SIZE   memory for the search, as 512M or 2G, 1 byte to 16384G (default:\n"
    "                        half of the available memory); past it, the keys go to temporary\n"
    "                        files\n"
    "  --spill-dir DIR       where those files go (default: $TMPDIR, else /tmp): files without a\n"
    "                        name, or in a private folder unlinked at once; they take about the\n"
    "                        size of the chosen columns' text plus 30 bytes a row\n"
    "  --help                this text\n"
    "  --version             the program's version\n"
    "\n"
    "Options take their value as --option VALUE or --option=VALUE. Names match exactly; a name\n"
    "that differs only in letter case matches when it is the only such one.\n"
    "\n"
    "The password comes from the environment variable ROWLARK_PASSWORD; else, when the server,\n"
    "port and user are those of the stored login, from the stored login; else from a prompt on\n"
    "the terminal. It is never taken from the command line.\n"
    "\n"
    "Exit status: 0 done (also when there are no duplicates), 1 a step failed (or whether the\n"
    "commit took effect could not be learned), 2 bad usage or a refused name (nothing changed),\n"
    "130 or 143 stopped by SIGINT or SIGTERM; a second signal cuts the connection at once.\n";

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
        auto value = [&]() -> std::string {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
            return args[++i];
        };
        auto flag = [&] {
            if (inlineValue) throw std::invalid_argument(a + " takes no value");
            return true;
        };
        if (a == "--password")
            throw std::invalid_argument(
                "there is no --password option: set ROWLARK_PASSWORD or let it ask");
        else if (a == "--server")
            o.server = value();
        else if (a == "--port")
            o.port = parsePort(value());
        else if (a == "--user")
            o.user = value();
        else if (a == "--database")
            o.database = value();
        else if (a == "--local")
            o.local = flag();
        else if (a == "--no-local")
            o.noLocal = flag();
        else if (a == "--table")
            o.table = value();
        else if (a == "--column")
            o.columns.push_back(value());
        else if (a == "--into")
            o.into = value();
        else if (a == "--removed-into")
            o.removedInto = value();
        else if (a == "--on-server")
            o.onServer = flag();
        else if (a == "--keep") {
            const std::string v = value();
            if (v != "first" && v != "last")
                throw std::invalid_argument("--keep takes first or last, not '" + v + "'");
            o.keepLast = v == "last";
        } else if (a == "--order-by")
            o.orderBy.push_back(parseOrderColumn(value()));
        else if (a == "--replace")
            o.replace = flag();
        else if (a == "--dry-run")
            o.dryRun = flag();
        else if (a == "--json")
            o.json = flag();
        else if (a == "--memory-limit")
            o.memoryLimit = parseSize(value());
        else if (a == "--spill-dir") {
            o.spillDir = value();
            if (o.spillDir.empty()) throw std::invalid_argument("--spill-dir needs a folder");
        } else if (a == "--help" || a == "-h")
            o.help = flag();
        else if (a == "--version")
            o.version = flag();
        else
            throw std::invalid_argument("unknown option " + a);
    }
    if (o.help || o.version) return o;
    if (o.local && o.noLocal) throw std::invalid_argument("--local and --no-local contradict");
    if (o.table.empty()) throw std::invalid_argument("--table is required");
    if (o.columns.empty()) throw std::invalid_argument("at least one --column is required");
    for (std::size_t i = 0; i < o.orderBy.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (o.orderBy[i].first == o.orderBy[j].first)
                throw std::invalid_argument("--order-by " + o.orderBy[i].first + " is given twice");
    for (std::size_t i = 0; i < o.columns.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (o.columns[i] == o.columns[j])
                throw std::invalid_argument("--column " + o.columns[i] + " is given twice");
    return o;
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
        throw std::invalid_argument("--order-by takes a column, as COLUMN or 'COLUMN DESC'");
    return {name, descending};
}

std::string parsePort(const std::string& text) {
    const bool digits = !text.empty() && text.size() <= 5 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoul(text) < 1 || std::stoul(text) > 65535)
        throw std::invalid_argument("--port takes a TCP port from 1 to 65535, not '" + text + "'");
    return text;
}

std::uint64_t parseSize(const std::string& text) {
    const auto bad = [&] {
        return std::invalid_argument("--memory-limit takes a size such as 512M or 2G, not '" +
                                     text + "'");
    };
    // Digits first: the library's reading would take "-1" as the largest number there is.
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) throw bad();
    std::size_t used = 0;
    unsigned long long n = 0;
    try {
        n = std::stoull(text, &used);
    } catch (const std::exception&) {
        throw bad();
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
        throw bad();
    if (n == 0 || n > (kMaxMemoryLimit >> shift))
        throw std::invalid_argument("--memory-limit takes a size from 1 byte to 16384G, not '" +
                                    text + "'");
    return std::uint64_t(n) << shift;
}

} // namespace rowlark::cli
