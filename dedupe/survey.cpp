#include "survey.h"

#include "finder.h"
#include "keys.h"
#include "spill_files.h"
#include "sql_text.h"

#include "db/statement.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
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

namespace {

// What a counted key costs in memory beside its text: the map's node, its hash and bucket.
constexpr std::uint64_t kEntryCost = 64;

// Counts keys in memory; past the budget, sends every count and every later key to files by
// hash, so that equal keys meet in one file, which is counted on its own at the end.
class KeyCounter {
public:
    KeyCounter(std::uint64_t budget, std::string spillDir, std::size_t groups)
        : budget_(budget ? budget : DefaultMemoryBudget()), spillDir_(std::move(spillDir)),
          groups_(groups) {}

    void add(const std::string& key) {
        ++rows_;
        if (!parts_.empty()) return write(key, 1);
        auto [it, fresh] = counts_.try_emplace(key, 0);
        ++it->second;
        if (fresh) used_ += key.size() + kEntryCost;
        if (used_ > budget_) spill();
    }

    Survey finish() {
        Survey out;
        out.rows = rows_;
        if (parts_.empty()) {
            tally(counts_, out);
        } else {
            for (auto& part : parts_) {
                std::unordered_map<std::string, std::uint64_t> counts;
                read(part.get(), counts);
                part.reset();
                tally(counts, out);
            }
        }
        out.duplicates = out.rows - out.distinctKeys;
        std::sort(top_.begin(), top_.end(), larger);
        for (const auto& [key, n] : top_)
            out.largestGroups.push_back({KeyValues(key), n, {}});
        return out;
    }

private:
    using Group = std::pair<std::string, std::uint64_t>;
    // Largest first; among equal sizes, by key, so the report is the same on every run.
    static bool larger(const Group& a, const Group& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    }

    void tally(const std::unordered_map<std::string, std::uint64_t>& counts, Survey& out) {
        out.distinctKeys += counts.size();
        if (groups_ == 0) return;
        for (const auto& [key, n] : counts) {
            if (n < 2) continue;
            if (top_.size() == groups_ && !larger({key, n}, top_.back())) continue;
            top_.emplace_back(key, n);
            std::sort(top_.begin(), top_.end(), larger);
            if (top_.size() > groups_) top_.pop_back();
        }
    }

    void spill() {
        const auto n = static_cast<std::size_t>(
            std::clamp<std::uint64_t>(4 * used_ / std::max<std::uint64_t>(budget_, 1) + 2, 2, 512));
        parts_ = OpenSpillFiles(n, spillDir_);
        for (const auto& [key, count] : counts_)
            write(key, count);
        counts_.clear();
        counts_.rehash(0);
    }

    void write(const std::string& key, std::uint64_t count) {
        std::FILE* f = parts_[std::hash<std::string>{}(key) % parts_.size()].get();
        const std::uint64_t size = key.size();
        std::fwrite(&count, sizeof count, 1, f);
        std::fwrite(&size, sizeof size, 1, f);
        std::fwrite(key.data(), 1, key.size(), f);
        if (std::ferror(f))
            throw std::runtime_error("could not write the keys to a temporary file");
    }

    static void read(std::FILE* f, std::unordered_map<std::string, std::uint64_t>& counts) {
        if (std::fflush(f) != 0 || std::fseek(f, 0, SEEK_SET) != 0)
            throw std::runtime_error("could not read back the keys' temporary file");
        std::string key;
        for (std::uint64_t count = 0, size = 0; std::fread(&count, sizeof count, 1, f) == 1;) {
            if (std::fread(&size, sizeof size, 1, f) != 1)
                throw std::runtime_error("a keys' temporary file ends early");
            key.resize(size);
            if (size && std::fread(key.data(), 1, size, f) != size)
                throw std::runtime_error("a keys' temporary file ends early");
            counts[key] += count;
        }
    }

    std::uint64_t budget_;
    std::string spillDir_;
    std::size_t groups_;
    std::uint64_t rows_ = 0;
    std::uint64_t used_ = 0;
    std::unordered_map<std::string, std::uint64_t> counts_;
    std::vector<SpillFile> parts_;
    std::vector<Group> top_;
};

} // namespace

Survey SurveyDuplicates(db::Connection& connection, const std::string& table,
                        const std::vector<std::string>& duplicateColumns, std::size_t groups,
                        std::uint64_t memoryBudget, const std::string& spillDir) {
    db::Statement st(connection);
    st.execute(keyQuery(duplicateColumns, table));
    KeyCounter counter(memoryBudget, spillDir, groups);
    std::vector<db::Value> row;
    std::string key;
    while (st.fetch(row)) {
        rowKey(row, 0, key);
        counter.add(key);
    }
    return counter.finish();
}

void FindRowsThatStay(db::Connection& connection, const std::string& table,
                      const std::vector<std::string>& duplicateColumns,
                      const std::vector<OrderColumn>& order, bool last, Survey& survey) {
    if (order.empty() || survey.largestGroups.empty()) return;
    // A group's key, made again from its values: NULL and empty text give the same key anyway.
    std::unordered_map<std::string, KeyGroup*> waiting;
    for (auto& g : survey.largestGroups) {
        std::string key;
        for (const auto& v : g.values)
            appendKeyValue(key, v);
        waiting.emplace(std::move(key), &g);
    }
    std::vector<std::string> names;
    for (const auto& c : order)
        names.push_back(c.name);
    db::Statement st(connection);
    st.execute("SELECT " + bracketList(duplicateColumns) + ", " + bracketList(names) + " FROM " +
               bracketed(table) + orderByClause(order, last) + ";");
    std::vector<db::Value> row;
    std::string key;
    const std::size_t n = duplicateColumns.size();
    while (!waiting.empty() && st.fetch(row)) {
        key.clear();
        for (std::size_t i = 0; i < n; ++i)
            appendKeyValue(key, row[i]);
        const auto it = waiting.find(key);
        if (it == waiting.end()) continue;
        for (std::size_t i = n; i < row.size(); ++i)
            it->second->stays.push_back(row[i] ? *row[i] : "NULL");
        waiting.erase(it);
    }
    if (waiting.empty()) st.cancel();
}

Survey SurveyOnServer(db::Connection& connection, const std::string& table,
                      const std::vector<std::string>& duplicateColumns,
                      const std::vector<OrderColumn>& order, bool last, std::size_t groups) {
    Survey out;
    std::vector<db::Value> row;
    auto whole = [](const db::Value& v) { return v ? std::stoull(*v) : 0ull; };
    {
        db::Statement st(connection);
        st.execute(serverCountsQuery(duplicateColumns, table));
        if (st.fetch(row)) {
            out.rows = whole(row.at(0));
            out.distinctKeys = whole(row.at(1));
        }
    }
    out.duplicates = out.rows - std::min(out.rows, out.distinctKeys);
    std::vector<std::string> taken = duplicateColumns;
    for (const auto& c : order)
        taken.push_back(c.name);
    const std::string rank = freeColumnName(kRankColumn, taken);
    taken.push_back(rank);
    const std::string count = freeColumnName("TEMP_COUNT_CREATED_BY_ORVANDEL", taken);
    db::Statement st(connection);
    st.execute(serverGroupsQuery(duplicateColumns, table, order, last, rank, count, groups));
    const std::size_t n = duplicateColumns.size();
    while (st.fetch(row)) {
        KeyGroup g;
        for (std::size_t i = 0; i < n; ++i)
            g.values.push_back(row[i].value_or(""));
        for (std::size_t i = n; i + 1 < row.size(); ++i)
            g.stays.push_back(row[i] ? *row[i] : "NULL");
        g.rows = whole(row.back());
        out.largestGroups.push_back(std::move(g));
    }
    return out;
}

} // namespace rowlark::dedupe
