// The client's side of the fingerprint search: each row's 64-bit fingerprint beside its rank (the
// place that decides which row of a group stays), sorted once all are in. Rows of one fingerprint
// are candidates only: the first by rank would stay, the others would repeat it, once the server
// has compared their forms. Sixteen bytes a row, whatever the width of the key.
#pragma once

#include "fingerprint_sql.h"

#include <cstdint>
#include <vector>

namespace rowlark::dedupe {

// The low `bits` bits of a fingerprint (all 64 by default; none at 0). Fewer only in tests: then
// fingerprints of different keys meet on purpose, and every decision goes through the exact
// comparison.
inline std::uint64_t keptBits(std::uint64_t fingerprint, int bits) {
    if (bits >= 64) return fingerprint;
    return bits <= 0 ? 0 : fingerprint & ((std::uint64_t{1} << bits) - 1);
}

class FingerprintSort {
public:
    void reserve(std::size_t rows) { rows_.reserve(rows); }
    void add(std::uint64_t fingerprint, std::int64_t rank) { rows_.push_back({fingerprint, rank}); }
    std::size_t size() const { return rows_.size(); }
    std::uint64_t memoryUsed() const { return rows_.capacity() * sizeof(Row); }

    // The candidate pairs, group by group, each group's repeats in rank order after its first
    // row (`kept`). `number` turns a rank into the row's number. The rows are let go.
    template <class Number> std::vector<NumberPair> pairs(Number&& number) {
        sort();
        // Sized once: a vector that doubles as it fills may hold twice the pairs for a moment.
        std::size_t count = 0;
        for (std::size_t i = 1; i < rows_.size(); ++i)
            count += rows_[i].fingerprint == rows_[i - 1].fingerprint;
        std::vector<NumberPair> out;
        out.reserve(count);
        for (std::size_t i = 1, first = 0; i < rows_.size(); ++i) {
            if (rows_[i].fingerprint != rows_[first].fingerprint)
                first = i;
            else
                out.push_back({number(rows_[i].rank), number(rows_[first].rank)});
        }
        rows_.clear();
        rows_.shrink_to_fit();
        return out;
    }

private:
    struct Row {
        std::uint64_t fingerprint;
        std::int64_t rank;
    };
    // By fingerprint, then rank: a radix sort, so the cost a row stays flat as tables grow.
    void sort();
    std::vector<Row> rows_;
};

// The pairs as runs of neighbouring repeats at one distance from their kept rows (a table
// appended to itself has one); empty when there are more than `most`.
std::vector<PairRun> pairRunsOf(std::vector<NumberPair> pairs, std::size_t most);

} // namespace rowlark::dedupe
