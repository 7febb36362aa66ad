#include "list_dedupe.h"

namespace rowlark::dedupe {

std::vector<std::size_t> PositionsListedIn(const std::vector<std::string>& target,
                                           const std::vector<std::string>& reference) {
    const std::unordered_set<std::string> listed(reference.begin(), reference.end());
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < target.size(); ++i)
        if (listed.count(target[i])) positions.push_back(i);
    return positions;
}

} // namespace rowlark::dedupe
