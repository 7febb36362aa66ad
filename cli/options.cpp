#include "options.h"

#include <stdexcept>

namespace rowlark::cli {

const char* const kUsage =
    "usage: rowlark-dedupe [--server HOST] [--port N] [--local] [--user NAME] [--database DB]\n"
    "                      --table T --column C [--column C ...] [--into NEW] [--replace]\n"
    "                      [--memory-limit SIZE]\n"
    "\n"
    "Builds NEW (default: T followed by 2) in the same database with every row of T except the\n"
    "later repeats: rows that agree in all the columns C. T itself is never changed.\n"
    "\n"
    "  --server, --port, --user, --database   the login; what is not given comes from the\n"
    "                                         profile the wizard stored\n"
    "  --local                                a local instance: connect without a port\n"
    "  --table T                              the table to clean\n"
    "  --column C                             a column that defines a duplicate (repeatable)\n"
    "  --into NEW                             the new table\n"
    "  --replace                              replace an existing table of NEW's name (without "
    "it,\n"
    "                                         the run stops with status 2 and changes nothing);\n"
    "                                         a view or other object is never replaced\n"
    "  --memory-limit SIZE                    memory for the search, as 512M or 2G (default: half\n"
    "                                         of the available memory); past it, the keys go to\n"
    "                                         temporary files\n"
    "\n"
    "Names match exactly; a name that differs only in letter case matches when it is the only\n"
    "such one.\n"
    "\n"
    "The password comes from the environment variable ROWLARK_PASSWORD, else from the stored\n"
    "profile, else from a prompt on the terminal; never from the command line.\n"
    "Exit status: 0 done (also when there are no duplicates), 1 a step failed, 2 bad usage.\n";

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
            return args[++i];
        };
        if (a == "--server")
            o.server = value();
        else if (a == "--port")
            o.port = value();
        else if (a == "--user")
            o.user = value();
        else if (a == "--database")
            o.database = value();
        else if (a == "--local")
            o.local = true;
        else if (a == "--table")
            o.table = value();
        else if (a == "--column")
            o.columns.push_back(value());
        else if (a == "--into")
            o.into = value();
        else if (a == "--replace")
            o.replace = true;
        else if (a == "--memory-limit")
            o.memoryLimit = parseSize(value());
        else if (a == "--help" || a == "-h")
            o.help = true;
        else if (a == "--password" || a.rfind("--password=", 0) == 0)
            throw std::invalid_argument(
                "there is no --password option: set ROWLARK_PASSWORD or let it ask");
        else
            throw std::invalid_argument("unknown option " + a);
    }
    if (o.help) return o;
    if (o.table.empty()) throw std::invalid_argument("--table is required");
    if (o.columns.empty()) throw std::invalid_argument("at least one --column is required");
    return o;
}

std::uint64_t parseSize(const std::string& text) {
    std::size_t used = 0;
    unsigned long long n = 0;
    try {
        n = std::stoull(text, &used);
    } catch (const std::exception&) {
        throw std::invalid_argument("--memory-limit takes a size such as 512M or 2G, not " + text);
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
        throw std::invalid_argument("--memory-limit takes a size such as 512M or 2G, not " + text);
    if (n == 0 || n > (UINT64_MAX >> shift))
        throw std::invalid_argument("--memory-limit " + text + " is out of range");
    return std::uint64_t(n) << shift;
}

} // namespace rowlark::cli
