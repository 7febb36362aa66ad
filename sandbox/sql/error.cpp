#include "error.h"

#include "text.h"

#include <optional>

namespace sandbox {
namespace {

std::string unqualified(const std::string& name) {
    return name.rfind("main.", 0) == 0 ? name.substr(5) : name;
}

// A column's own name, without its table's: "t.c" is c.
std::string columnOf(const std::string& name) {
    return name.substr(name.rfind('.') + 1); // npos + 1: all of it
}

} // namespace

SqlError fromStore(const std::string& msg, const std::string& table) {
    // The sandbox's own store functions fail as the server does: "Msg 536: text".
    if (msg.rfind("Msg ", 0) == 0) {
        const auto colon = msg.find(": ");
        if (const auto number = parseWholeNumber(msg.substr(4, colon - 4));
            colon != std::string::npos && number && *number < 100000)
            return {static_cast<int>(*number), 16, 1, msg.substr(colon + 2)};
    }
    // The rest of the message, where it starts so.
    const auto after = [&](std::string_view start) -> std::optional<std::string> {
        return msg.rfind(start, 0) == 0 ? std::optional(msg.substr(start.size())) : std::nullopt;
    };
    if (const auto name = after("no such table: ")) return invalidObject(unqualified(*name));
    if (const auto name = after("no such column: ")) return invalidColumn(columnOf(*name));
    if (const auto name = after("no such function: "))
        return {195, 15, 10, "'" + *name + "' is not a recognized built-in function name.", true};
    // Read by hand: a regular expression recurses once per character, and a token of a hundred
    // thousand characters would overflow the stack.
    if (const auto at = msg.find("near \""); at != std::string::npos) {
        const auto end = msg.rfind("\": syntax error");
        if (end != std::string::npos && end >= at + 6)
            return syntaxNear(msg.substr(at + 6, end - at - 6));
    }
    if (msg.find("incomplete input") != std::string::npos)
        return syntaxNear(table.empty() ? "end of batch" : table);
    if (const auto exists = msg.find(" already exists"); exists != std::string::npos) {
        std::string name;
        for (const std::string_view kind : {"table ", "view ", "index "})
            if (const auto at = msg.find(kind); at != std::string::npos && at < exists) {
                name = msg.substr(at + kind.size(), exists - at - kind.size());
                break;
            }
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        return alreadyExists(name.empty() ? table : unqualified(name));
    }
    if (const auto key = after("UNIQUE constraint failed: "))
        return {2627, 14, 1,
                "Violation of UNIQUE KEY constraint on '" + *key +
                    "'. Cannot insert duplicate key in object 'dbo." + table + "'."};
    if (const auto column = after("NOT NULL constraint failed: "))
        return {515, 16, 2,
                "Cannot insert the value NULL into column '" + columnOf(*column) +
                    "', table 'dbo." + table + "'; column does not allow nulls. INSERT fails."};
    if (msg.find("values were supplied") != std::string::npos ||
        msg.find("values for") != std::string::npos)
        return {213, 16, 1,
                "Column name or number of supplied values does not match table definition.", true};
    if (msg.find("database is locked") != std::string::npos)
        return {1222, 16, 56, "Lock request time out period exceeded."};
    if (const auto name = after("ambiguous column name: "))
        return {209, 16, 1, "Ambiguous column name '" + *name + "'.", true};
    return {40001, 16, 1, "The sandbox could not run this statement: " + msg, true};
}

} // namespace sandbox
