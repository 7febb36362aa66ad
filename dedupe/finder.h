// Finds, row by row in read order, the rows whose key repeats the key of an earlier row. Only the
// first row of each key is kept in memory; past a memory budget the keys go to temporary files
// (private, and gone whenever the program ends: see spill_files.h), split by hash, and each part
// is searched on its own, with the same result.
#pragma once

#include "spill_files.h"
#include "system_memory.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rowlark::dedupe {

// Whether some key repeats an earlier one, told from 64-bit hashes alone: a fraction of the
// memory the keys take, and no copy of them. A repeat it reports may, very rarely, be two keys
// with one hash (for a million rows, about one chance in 10^7); whoever acts on it decides with
// RepeatFinder, which compares the keys themselves. A key it calls new is always new.
class RepeatProbe {
public:
    RepeatProbe();
    ~RepeatProbe();
    RepeatProbe(const RepeatProbe&) = delete;
    RepeatProbe& operator=(const RepeatProbe&) = delete;

    // True when a key with the same hash came before.
    bool add(std::string_view key);
    std::uint64_t rows() const { return rows_; }
    std::uint64_t memoryUsed() const;

private:
    class Hashes;
    std::unique_ptr<Hashes> hashes_;
    std::uint64_t rows_ = 0;
};

class RepeatFinder {
public:
    enum class Verdict { First, Repeat, Deferred };

    // budget: bytes of memory the finder may hold (0: DefaultMemoryBudget()). expectedRows: the
    // rows that will come, when known (0 when not), so the table is sized once.
    explicit RepeatFinder(std::uint64_t budget = 0, std::uint64_t expectedRows = 0);
    ~RepeatFinder();
    RepeatFinder(const RepeatFinder&) = delete;
    RepeatFinder& operator=(const RepeatFinder&) = delete;

    // Without spilling the finder never writes a file: it only says when it passes the budget.
    void setSpilling(bool allowed) { spilling_ = allowed; }
    // Where the key files go; empty: the system's temporary folder (see DefaultSpillDir).
    void setSpillDir(std::string dir) { spillDir_ = std::move(dir); }
    bool overBudget() const { return memoryUsed() > budget_; }

    // The next row: its number (any value that names the row; rows come in read order) and key.
    // Deferred once the keys went to files: the answer comes from repeats().
    Verdict add(std::int64_t number, std::string_view key);
    // The same without an answer now: rows are taken a few at a time, so that the table's memory
    // is fetched for several keys at once rather than waited for key by key.
    void push(std::int64_t number, std::string_view key);
    // The numbers of every row whose key repeats an earlier row's, last read first.
    std::vector<std::int64_t> repeats();

    std::uint64_t memoryUsed() const;
    std::uint64_t rows() const { return rows_; }
    // Whether the keys went to files, and into how many.
    bool spilled() const { return partitions_ > 0; }
    std::size_t partitions() const { return partitions_; }

private:
    class Table;
    struct Pending {
        std::uint64_t hash;
        std::int64_t number;
        std::size_t begin, size;
    };
    void flush();
    Verdict take(std::int64_t number, std::string_view key, std::uint64_t hash);
    void spill();
    void writeRecord(std::FILE* f, std::int64_t number, std::string_view key);

    std::uint64_t budget_;
    std::uint64_t expectedRows_;
    bool spilling_ = true;
    std::uint64_t rows_ = 0;
    std::uint64_t keyBytes_ = 0;
    std::size_t partitions_ = 0;
    std::unique_ptr<Table> table_;
    std::vector<std::int64_t> repeats_;
    std::vector<Pending> pending_;
    std::string staging_;
    std::string spillDir_;
    std::vector<SpillFile> parts_;
    std::vector<std::uint64_t> partRows_; // records in each file: its search is sized once
};

} // namespace rowlark::dedupe
