// Keeping the field page's two lists apart.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

namespace rowlark::dedupe {

// Of each group of equal values the last occurrence is kept, in the order of those last
// occurrences: 3, 1, 3, 2, 1 gives 3, 2, 1. Linear expected time; any number of values.
template <class T, class Hash = std::hash<T>>
std::vector<T> DistinctValues(const std::vector<T>& values) {
    std::unordered_set<T, Hash> later;
    std::vector<T> reversed;
    for (auto it = values.rbegin(); it != values.rend(); ++it)
        if (later.insert(*it).second) reversed.push_back(*it);
    return std::vector<T>(reversed.rbegin(), reversed.rend());
}

// The positions (0-based, rising, each once) of the target's entries whose text also stands in
// the reference, compared exactly: letter case and blanks count.
std::vector<std::size_t> PositionsListedIn(const std::vector<std::string>& target,
                                           const std::vector<std::string>& reference);

} // namespace rowlark::dedupe
