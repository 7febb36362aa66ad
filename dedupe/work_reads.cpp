#include "work_reads.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace rowlark::dedupe {

std::int64_t rowNumber(const db::Value& v) {
    std::int64_t n = 0;
    if (!v)
        throw std::runtime_error("A row of the work table has no number, so it cannot be named.");
    auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), n);
    if (ec != std::errc() || end != v->data() + v->size())
        throw std::runtime_error("The work table's row number " + *v + " is not a whole number.");
    return n;
}

std::vector<NumberRange> runsOf(std::vector<std::int64_t> doomed,
                                const std::vector<std::int64_t>* all, std::size_t most) {
    std::sort(doomed.begin(), doomed.end());
    std::vector<NumberRange> runs;
    std::size_t at = 0; // where the last doomed number stands among all numbers
    for (std::size_t i = 0; i < doomed.size(); ++i) {
        bool joins = false;
        if (all) {
            const auto it = std::lower_bound(all->begin() + static_cast<std::ptrdiff_t>(at),
                                             all->end(), doomed[i]);
            const auto here = static_cast<std::size_t>(it - all->begin());
            joins = !runs.empty() && here == at + 1;
            at = here;
        } else {
            joins = !runs.empty() && doomed[i] == runs.back().to + 1;
        }
        if (joins) {
            runs.back().to = doomed[i];
        } else {
            if (runs.size() == most) return {};
            runs.push_back({doomed[i], doomed[i]});
        }
    }
    return runs;
}

} // namespace rowlark::dedupe
