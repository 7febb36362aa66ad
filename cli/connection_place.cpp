#include "connection_place.h"

#include <sstream>
#include <vector>

namespace rowlark::cli {

std::string connectionPlace(const shell::ConnectionProfile& p, GivenValues given) {
    const std::string server = p.server.trimmed().toStdString();
    const bool local = p.localConnection == 1;
    std::string where = "could not connect to ";
    where += local ? "the local instance " + server
                   : server + ", port " + p.port.trimmed().toStdString();
    const std::string stored = "the login the wizard stored";
    if (local || given.server == given.port)
        where += given.server ? " (as given on the command line)" : " (from " + stored + ")";
    else
        where += given.server ? " (the server from the command line, the port from " + stored + ")"
                              : " (the server from " + stored + ", the port from the command line)";
    return where;
}

std::string driverWords(const std::string& description) {
    std::vector<std::string> seen;
    std::istringstream lines(description);
    std::string out;
    for (std::string line; std::getline(lines, line);) {
        bool repeat = false;
        for (const auto& s : seen)
            repeat = repeat || s == line;
        if (repeat || line.empty()) continue;
        seen.push_back(line);
        out += (out.empty() ? "" : "\n") + line;
    }
    return out;
}

} // namespace rowlark::cli
