#include "summary.h"

#include "dedupe/sql_text.h"

#include <QLocale>

#include <csignal>
#include <cstdio>

namespace rowlark::cli {
namespace {

std::string counted(std::uint64_t n, const char* one, const char* many) {
    return countText(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::string countText(std::uint64_t n) {
    return QLocale().toString(static_cast<qulonglong>(n)).toStdString();
}

const char* signalName(int signal) {
    return signal == SIGINT ? "SIGINT" : "SIGTERM";
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\u%04x", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string comparisonText(bool onServer) {
    return onServer ? "rows repeat by the server's comparison: letter case and trailing blanks "
                      "as the columns' collations say, NULL apart from an empty value"
                    : "rows repeat when every chosen value is exactly the same: letter case and "
                      "trailing blanks count, NULL equals an empty value";
}

std::string ruleText(const std::vector<dedupe::OrderColumn>& order, bool last) {
    std::string s = std::string("keeps the ") + (last ? "last" : "first") + " row of each group ";
    if (order.empty()) return s + "in the table's own order";
    s += "ordered by ";
    for (std::size_t i = 0; i < order.size(); ++i)
        s += (i ? ", " : "") + dedupe::bracketed(order[i].name) +
             (order[i].descending ? " DESC" : "");
    return s + " (ties: the table's own order)";
}

std::string ruleJson(const std::vector<dedupe::OrderColumn>& order, bool last) {
    std::string s =
        std::string(", \"keep\": \"") + (last ? "last" : "first") + "\", \"order_by\": [";
    for (std::size_t i = 0; i < order.size(); ++i)
        s += std::string(i ? ", " : "") + "{\"column\": " + jsonString(order[i].name) +
             ", \"descending\": " + (order[i].descending ? "true" : "false") + "}";
    return s + "], \"rule\": " + jsonString(ruleText(order, last));
}

void printEndingJson(std::ostream& out, const Ending& e) {
    out << "{\"status\": " << e.status << ", \"outcome\": " << jsonString(e.outcome)
        << ", \"message\": " << jsonString(e.message) << "}\n";
}

std::string madeLine(const RunSummary& s) {
    const auto& c = s.outcome.counts;
    std::string line = "Read " + counted(c.rowsRead, "row", "rows") + ", removed " +
                       counted(c.deleted, "duplicate", "duplicates") + ": " +
                       dedupe::bracketed(s.newTable) + " holds " +
                       counted(s.outcome.newTableRows, "row.", "rows.");
    if (s.outcome.removedTableMade) {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on " " + a temporary.
        line += ' ';
        line += dedupe::bracketed(s.removedInto);
        line += " holds the ";
        line += counted(s.outcome.removedRows, "row", "rows");
        line += " removed.";
    }
    return line;
}

int endJob(std::ostream& out, std::ostream& err, const RunSummary& s, bool json, int status,
           const std::string& outcome, const std::string& message) {
    const bool good = outcome == "made" || outcome == "no_duplicates";
    if (!good || (json && status != 0)) err << "rowlark-dedupe: " << message << "\n";
    if (outcome == "made" && !json && (s.keepLast || !s.orderBy.empty()))
        out << "The new table " << ruleText(s.orderBy, s.keepLast) << ".\n";
    if (outcome == "made" && !json && s.onServer)
        out << "The server decided: " << comparisonText(true) << ".\n";
    if (good && !json) out << message << "\n";
    if (json) {
        const auto& o = s.outcome;
        out << "{\"status\": " << status << ", \"outcome\": " << jsonString(outcome)
            << ", \"message\": " << jsonString(message) << ", \"table\": " << jsonString(s.table)
            << ", \"new_table\": " << jsonString(s.newTable)
            << ", \"rows_read\": " << o.counts.rowsRead
            << ", \"duplicates\": " << o.counts.duplicates << ", \"removed\": " << o.counts.deleted
            << ", \"no_duplicates\": " << (s.noDuplicates ? "true" : "false")
            << ", \"new_table_made\": " << (o.newTableMade ? "true" : "false")
            << ", \"new_table_rows\": " << o.newTableRows
            << ", \"stopped\": " << (outcome == "stopped" ? "true" : "false") << ", \"signal\": "
            << (s.signal ? jsonString(signalName(s.signal)) : std::string("null"))
            << ", \"refused\": " << (o.refusal ? jsonString(*o.refusal) : std::string("null"))
            << ruleJson(s.orderBy, s.keepLast)
            << ", \"on_server\": " << (s.onServer ? "true" : "false")
            << ", \"comparison\": " << jsonString(comparisonText(s.onServer))
            << ", \"removed_into\": "
            << (s.removedInto.empty() ? std::string("null") : jsonString(s.removedInto))
            << ", \"removed_table_made\": " << (o.removedTableMade ? "true" : "false")
            << ", \"removed_rows\": " << o.removedRows << ", \"failed_steps\": [";
        for (std::size_t i = 0; i < s.failed.size(); ++i)
            out << (i ? ", " : "") << "{\"step\": " << s.failed[i].step
                << ", \"text\": " << jsonString(s.failed[i].text) << "}";
        out << "], \"notices\": [";
        for (std::size_t i = 0; i < s.notices.size(); ++i)
            out << (i ? ", " : "") << jsonString(s.notices[i]);
        out << "]}\n";
    }
    out << std::flush;
    return status;
}

void printSurvey(std::ostream& out, const std::string& table, const dedupe::Survey& s,
                 const std::vector<dedupe::OrderColumn>& order, bool last, bool onServer) {
    out << dedupe::bracketed(table) << ": " << counted(s.rows, "row", "rows") << ", "
        << counted(s.duplicates, "duplicate", "duplicates") << ", "
        << counted(s.distinctKeys, "distinct key", "distinct keys") << ". Nothing was changed.\n";
    if (last || !order.empty()) out << "A run " << ruleText(order, last) << ".\n";
    if (onServer) out << "The server decided: " << comparisonText(true) << ".\n";
    if (!s.largestGroups.empty()) out << "Largest groups:\n";
    for (const auto& g : s.largestGroups) {
        out << "  " << g.rows << " rows:";
        for (std::size_t i = 0; i < g.values.size(); ++i)
            out << (i ? ", " : " ") << g.values[i];
        for (std::size_t i = 0; i < g.stays.size(); ++i)
            out << (i ? ", " : " (the row that stays: ") << g.stays[i]
                << (i + 1 == g.stays.size() ? ")" : "");
        out << "\n";
    }
}

void printSurveyJson(std::ostream& out, const std::string& table, const dedupe::Survey& s,
                     const std::vector<dedupe::OrderColumn>& order, bool last, bool onServer) {
    out << "{\"status\": 0, \"outcome\": \"dry_run\", \"message\": "
        << jsonString(dedupe::bracketed(table) + ": " + counted(s.rows, "row", "rows") + ", " +
                      counted(s.duplicates, "duplicate", "duplicates") + ". Nothing was changed.")
        << ", \"table\": " << jsonString(table) << ", \"dry_run\": true, \"rows\": " << s.rows
        << ", \"duplicates\": " << s.duplicates << ", \"distinct_keys\": " << s.distinctKeys
        << ruleJson(order, last) << ", \"on_server\": " << (onServer ? "true" : "false")
        << ", \"comparison\": " << jsonString(comparisonText(onServer))
        << ", \"largest_groups\": [";
    for (std::size_t i = 0; i < s.largestGroups.size(); ++i) {
        const auto& g = s.largestGroups[i];
        out << (i ? ", " : "") << "{\"values\": [";
        for (std::size_t v = 0; v < g.values.size(); ++v)
            out << (v ? ", " : "") << jsonString(g.values[v]);
        out << "], \"rows\": " << g.rows;
        if (!g.stays.empty()) {
            out << ", \"stays\": [";
            for (std::size_t v = 0; v < g.stays.size(); ++v)
                out << (v ? ", " : "") << jsonString(g.stays[v]);
            out << "]";
        }
        out << "}";
    }
    out << "]}\n";
}

} // namespace rowlark::cli
