#include "fingerprints.h"

#include <algorithm>
#include <array>

namespace rowlark::dedupe {

// In place, most significant byte first (no second array: the sort costs no memory of its own);
// small buckets, and rows whose fingerprints are equal to the last byte, by std::sort.
void FingerprintSort::sort() {
    auto less = [](const Row& a, const Row& b) {
        return a.fingerprint != b.fingerprint ? a.fingerprint < b.fingerprint : a.rank < b.rank;
    };
    struct Part {
        Row *begin, *end;
        int shift;
    };
    std::vector<Part> todo{{rows_.data(), rows_.data() + rows_.size(), 56}};
    while (!todo.empty()) {
        const Part p = todo.back();
        todo.pop_back();
        if (p.end - p.begin <= 64 || p.shift < 0) {
            std::sort(p.begin, p.end, less);
            continue;
        }
        auto digit = [&](const Row& r) { return (r.fingerprint >> p.shift) & 0xff; };
        std::array<std::size_t, 256> count{};
        for (const Row* r = p.begin; r != p.end; ++r)
            ++count[digit(*r)];
        std::array<Row*, 256> head{}, tail{};
        Row* at = p.begin;
        for (std::size_t d = 0; d < 256; ++d) {
            head[d] = at;
            at += count[d];
            tail[d] = at;
        }
        for (std::size_t d = 0; d < 256; ++d)
            while (head[d] < tail[d]) {
                Row v = *head[d];
                for (std::size_t to = digit(v); to != d; to = digit(v))
                    std::swap(v, *head[to]++);
                *head[d]++ = v;
            }
        for (std::size_t d = 0, begin = 0; d < 256; begin += count[d], ++d)
            if (count[d] > 1)
                todo.push_back({p.begin + begin, p.begin + begin + count[d], p.shift - 8});
    }
}

std::vector<PairRun> pairRunsOf(std::vector<NumberPair> pairs, std::size_t most) {
    std::sort(pairs.begin(), pairs.end(),
              [](const NumberPair& a, const NumberPair& b) { return a.repeat < b.repeat; });
    std::vector<PairRun> runs;
    for (const auto& p : pairs) {
        const std::int64_t distance = p.repeat - p.kept;
        if (!runs.empty() && runs.back().to + 1 == p.repeat && runs.back().distance == distance) {
            runs.back().to = p.repeat;
            continue;
        }
        if (runs.size() == most) return {};
        runs.push_back({p.repeat, p.repeat, distance});
    }
    return runs;
}

} // namespace rowlark::dedupe
