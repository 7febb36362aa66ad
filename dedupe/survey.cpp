#include "survey.h"

#include "keys.h"
#include "sql_text.h"

#include "db/statement.h"

#include <algorithm>
#include <unordered_map>

namespace rowlark::dedupe {

std::vector<std::string> KeyValues(std::string_view key) {
    std::vector<std::string> values;
    while (!key.empty()) {
        const std::size_t colon = key.find(':');
        const std::size_t length = std::stoull(std::string(key.substr(0, colon)));
        values.emplace_back(key.substr(colon + 1, length));
        key.remove_prefix(colon + 1 + length);
    }
    return values;
}

Survey SurveyDuplicates(db::Connection& connection, const std::string& table,
                        const std::vector<std::string>& duplicateColumns, std::size_t groups) {
    db::Statement st(connection);
    st.execute(keyQuery(duplicateColumns, table));
    std::unordered_map<std::string, std::uint64_t> counts;
    Survey out;
    std::vector<db::Value> row;
    std::string key;
    while (st.fetch(row)) {
        rowKey(row, 0, key);
        if (++counts[key] > 1) ++out.duplicates;
        ++out.rows;
    }
    out.distinctKeys = counts.size();
    std::vector<std::pair<const std::string*, std::uint64_t>> repeated;
    for (const auto& [k, n] : counts)
        if (n > 1) repeated.emplace_back(&k, n);
    const std::size_t shown = std::min(groups, repeated.size());
    // Largest first; among equal sizes, by key, so the report is the same on every run.
    std::partial_sort(repeated.begin(), repeated.begin() + static_cast<std::ptrdiff_t>(shown),
                      repeated.end(), [](const auto& a, const auto& b) {
                          return a.second != b.second ? a.second > b.second : *a.first < *b.first;
                      });
    for (std::size_t i = 0; i < shown; ++i)
        out.largestGroups.push_back({KeyValues(*repeated[i].first), repeated[i].second});
    return out;
}

} // namespace rowlark::dedupe
