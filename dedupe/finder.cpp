#include "finder.h"

#include "system_memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

namespace rowlark::dedupe {

std::uint64_t DefaultMemoryBudget() {
    const std::uint64_t available = AvailableMemory();
    return available ? available / 2 : std::uint64_t{1} << 30;
}

namespace {

constexpr unsigned kBlockBits = 22; // 4 MiB blocks: no key ever moves once stored
constexpr std::size_t kBlockSize = std::size_t{1} << kBlockBits;
constexpr unsigned kRefBits = 40; // a slot: 24 bits of the hash above 40 bits of key address
constexpr std::uint64_t kRefMask = (std::uint64_t{1} << kRefBits) - 1;

std::size_t varintSize(std::size_t n) {
    std::size_t size = 1;
    while (n >= 0x80)
        n >>= 7, ++size;
    return size;
}

char* putVarint(char* p, std::size_t n) {
    while (n >= 0x80) {
        *p++ = static_cast<char>(n | 0x80);
        n >>= 7;
    }
    *p++ = static_cast<char>(n);
    return p;
}

const char* getVarint(const char* p, std::size_t& n) {
    n = 0;
    for (unsigned shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*p++);
        n |= std::size_t(byte & 0x7f) << shift;
        if (!(byte & 0x80)) return p;
    }
}

std::uint64_t hashOf(std::string_view key) {
    return std::hash<std::string_view>{}(key);
}

std::size_t reduce(std::uint64_t h, std::size_t capacity) {
#ifdef __SIZEOF_INT128__
    return static_cast<std::size_t>((static_cast<unsigned __int128>(h) * capacity) >> 64);
#else
    return static_cast<std::size_t>(h % capacity);
#endif
}

std::uint64_t tagOf(std::uint64_t h) {
    const std::uint64_t tag = h & 0xffffff;
    return tag ? tag : 1; // a slot is never all zero: zero marks an empty slot
}

// Which file a key goes to once the keys spill: its own bits, apart from those of the slot.
std::size_t partitionOf(std::uint64_t h, std::size_t parts) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return static_cast<std::size_t>((h >> 16) % parts);
}

// Zeroed memory for many slots, on huge pages where the system gives them: the slots are read at
// random, and with small pages nearly every probe would also miss the address cache.
class SlotArray {
public:
    SlotArray() = default;
    explicit SlotArray(std::size_t n) : size_(n) {
        constexpr std::size_t kHuge = std::size_t{2} << 20;
        const std::size_t bytes = (n * sizeof(std::uint64_t) + kHuge - 1) / kHuge * kHuge;
        memory_ = SystemMemory(bytes);
        memory_.preferHugePages();
        data_ = reinterpret_cast<std::uint64_t*>(memory_.get());
        bytes_ = bytes;
    }
    SlotArray(SlotArray&& o) noexcept { swap(o); }
    SlotArray& operator=(SlotArray&& o) noexcept {
        swap(o);
        return *this;
    }
    void swap(SlotArray& o) noexcept {
        std::swap(memory_, o.memory_);
        std::swap(data_, o.data_);
        std::swap(size_, o.size_);
        std::swap(bytes_, o.bytes_);
    }
    std::uint64_t& operator[](std::size_t i) { return data_[i]; }
    std::size_t size() const { return size_; }
    std::size_t bytes() const { return bytes_; }
    const std::uint64_t& operator[](std::size_t i) const { return data_[i]; }
    const std::uint64_t* begin() const { return data_; }
    const std::uint64_t* end() const { return data_ + size_; }

private:
    SystemMemory memory_;
    std::uint64_t* data_ = nullptr;
    std::size_t size_ = 0, bytes_ = 0;
};

} // namespace

// The keys seen once, packed one after another in blocks, and an open-addressing table of slots
// that point at them. Repeats are never stored: memory grows with the distinct keys only.
class RepeatFinder::Table {
public:
    explicit Table(std::uint64_t expected) {
        // Sized for the rows to come, not a power of two above them: the slots are most of the
        // finder's memory after the keys themselves. Linear probing stays short below 0.6 full.
        slots_ = SlotArray(std::max<std::size_t>(64, expected * 9 / 5 + 1));
    }

    // Asks for the slot's memory ahead of the probe.
    void prefetch(std::uint64_t h) const {
#if defined(__GNUC__)
        __builtin_prefetch(&slots_[reduce(h, slots_.size())]);
#else
        (void)h;
#endif
    }

    // True when an equal key was stored before; otherwise stores this one.
    bool insert(std::string_view key, std::uint64_t h) {
        if ((count_ + 1) * 5 > slots_.size() * 3) grow();
        const std::uint64_t tag = tagOf(h);
        for (std::size_t i = reduce(h, slots_.size());; i = i + 1 == slots_.size() ? 0 : i + 1) {
            const std::uint64_t slot = slots_[i];
            if (slot == 0) {
                slots_[i] = (tag << kRefBits) | store(key);
                ++count_;
                return false;
            }
            if ((slot >> kRefBits) == tag && keyAt(slot & kRefMask) == key) return true;
        }
    }

    std::uint64_t memory() const {
        return slots_.bytes() + blockBytes_;
    }

    // Each stored key, in the order first seen.
    template <class F> void forEach(F&& f) const {
        for (std::size_t b = 0; b < blocks_.size(); ++b)
            for (std::size_t at = 0; at < used_[b];) {
                std::size_t n = 0;
                const char* p = getVarint(blocks_[b].get() + at, n);
                f(std::string_view(p, n));
                at = static_cast<std::size_t>(p - blocks_[b].get()) + n;
            }
    }

private:
    std::uint64_t store(std::string_view key) {
        const std::size_t need = varintSize(key.size()) + key.size();
        if (blocks_.empty() || used_.back() + need > sizes_.back()) {
            // A key larger than a block gets a block of its own, at offset 0.
            const std::size_t size = std::max(need, kBlockSize);
            if (blocks_.size() >= (std::size_t{1} << (kRefBits - kBlockBits)))
                throw std::length_error("more key text than one search can address");
            blocks_.emplace_back(size);
            sizes_.push_back(size);
            used_.push_back(0);
            blockBytes_ += size;
        }
        char* p = blocks_.back().get() + used_.back();
        const std::uint64_t ref = (std::uint64_t(blocks_.size() - 1) << kBlockBits) | used_.back();
        p = putVarint(p, key.size());
        std::memcpy(p, key.data(), key.size());
        used_.back() += need;
        return ref;
    }

    std::string_view keyAt(std::uint64_t ref) const {
        const char* p = blocks_[ref >> kBlockBits].get() + (ref & (kBlockSize - 1));
        std::size_t n = 0;
        p = getVarint(p, n);
        return {p, n};
    }

    void grow() {
        SlotArray old(slots_.size() * 2);
        old.swap(slots_);
        for (std::uint64_t slot : old) {
            if (!slot) continue;
            std::size_t i = reduce(hashOf(keyAt(slot & kRefMask)), slots_.size());
            while (slots_[i])
                i = i + 1 == slots_.size() ? 0 : i + 1;
            slots_[i] = slot;
        }
    }

    SlotArray slots_;
    std::size_t count_ = 0;
    std::vector<SystemMemory> blocks_;
    std::vector<std::size_t> sizes_, used_;
    std::uint64_t blockBytes_ = 0;
};

// The hashes seen, in an open-addressing table that doubles as it fills (0 marks an empty slot).
class RepeatProbe::Hashes {
public:
    bool insert(std::uint64_t h) {
        if (h == 0) h = 1;
        if ((count_ + 1) * 5 > slots_.size() * 3) grow();
        for (std::size_t i = reduce(h, slots_.size());; i = i + 1 == slots_.size() ? 0 : i + 1) {
            if (slots_[i] == h) return true;
            if (slots_[i] == 0) {
                slots_[i] = h;
                ++count_;
                return false;
            }
        }
    }
    std::uint64_t memory() const { return slots_.bytes(); }

private:
    void grow() {
        SlotArray old(std::max<std::size_t>(1024, slots_.size() * 2));
        old.swap(slots_);
        for (std::uint64_t h : old) {
            if (!h) continue;
            std::size_t i = reduce(h, slots_.size());
            while (slots_[i])
                i = i + 1 == slots_.size() ? 0 : i + 1;
            slots_[i] = h;
        }
    }

    SlotArray slots_;
    std::size_t count_ = 0;
};

RepeatProbe::RepeatProbe() : hashes_(std::make_unique<Hashes>()) {}
RepeatProbe::~RepeatProbe() = default;

bool RepeatProbe::add(std::string_view key) {
    ++rows_;
    return hashes_->insert(hashOf(key));
}

std::uint64_t RepeatProbe::memoryUsed() const {
    return hashes_->memory();
}

RepeatFinder::RepeatFinder(std::uint64_t budget, std::uint64_t expectedRows)
    : budget_(budget ? budget : DefaultMemoryBudget()), expectedRows_(expectedRows) {
    // A table sized for more rows than the budget holds would pass it at once: size it then for
    // what fits, and let it grow.
    const std::uint64_t slotsThatFit = budget_ / 2 / sizeof(std::uint64_t) * 5 / 9;
    table_ = std::make_unique<Table>(std::min(expectedRows_, slotsThatFit));
}

RepeatFinder::~RepeatFinder() = default;

std::uint64_t RepeatFinder::memoryUsed() const {
    return (table_ ? table_->memory() : 0) + repeats_.capacity() * sizeof(std::int64_t);
}

RepeatFinder::Verdict RepeatFinder::add(std::int64_t number, std::string_view key) {
    flush();
    return take(number, key, hashOf(key));
}

void RepeatFinder::push(std::int64_t number, std::string_view key) {
    constexpr std::size_t kAhead = 16;
    const std::uint64_t h = hashOf(key);
    if (table_) table_->prefetch(h);
    pending_.push_back({h, number, staging_.size(), key.size()});
    staging_.append(key);
    if (pending_.size() == kAhead) flush();
}

void RepeatFinder::flush() {
    for (const Pending& p : pending_)
        take(p.number, std::string_view(staging_).substr(p.begin, p.size), p.hash);
    pending_.clear();
    staging_.clear();
}

RepeatFinder::Verdict RepeatFinder::take(std::int64_t number, std::string_view key,
                                         std::uint64_t hash) {
    const std::uint64_t ordinal = rows_++;
    keyBytes_ += key.size();
    if (!parts_.empty()) {
        const std::size_t part = partitionOf(hash, parts_.size());
        ++partRows_[part];
        std::FILE* f = parts_[part].get();
        std::fputc(1, f);
        std::fwrite(&ordinal, sizeof ordinal, 1, f);
        writeRecord(f, number, key);
        return Verdict::Deferred;
    }
    if (table_->insert(key, hash)) {
        repeats_.push_back(number);
        return Verdict::Repeat;
    }
    if (spilling_ && overBudget()) spill();
    return Verdict::First;
}

void RepeatFinder::writeRecord(std::FILE* f, std::int64_t number, std::string_view key) {
    char head[8 + 10];
    std::memcpy(head, &number, 8);
    char* end = putVarint(head + 8, key.size());
    std::fwrite(head, 1, static_cast<std::size_t>(end - head), f);
    std::fwrite(key.data(), 1, key.size(), f);
    if (std::ferror(f)) throw std::runtime_error("could not write the keys to a temporary file");
}

// From here on every key goes to one of several files by its hash, so equal keys meet in the same
// file. The keys seen so far go first, marked as first occurrences; the repeats already found
// keep their place in memory.
void RepeatFinder::spill() {
    const double perRow = double(memoryUsed()) / double(std::max<std::uint64_t>(rows_, 1));
    const double rowsToCome = double(std::max(expectedRows_, rows_ * 4));
    const auto parts = static_cast<std::size_t>(
        std::clamp(4.0 * perRow * rowsToCome / double(budget_) + 1.0, 2.0, 512.0));
    parts_ = OpenSpillFiles(parts, spillDir_);
    for (auto& f : parts_)
        std::setvbuf(f.get(), nullptr, _IOFBF, 1 << 16);
    partitions_ = parts_.size();
    partRows_.assign(parts_.size(), 0);
    // Numbers of earlier repeats carry their read order, as the files' records do.
    table_->forEach([&](std::string_view key) {
        const std::size_t part = partitionOf(hashOf(key), parts_.size());
        ++partRows_[part];
        std::FILE* f = parts_[part].get();
        std::fputc(0, f);
        writeRecord(f, 0, key);
    });
    table_.reset();
}

std::vector<std::int64_t> RepeatFinder::repeats() {
    flush();
    if (parts_.empty()) {
        std::reverse(repeats_.begin(), repeats_.end());
        return std::move(repeats_);
    }
    // Repeats found before the spill were read before any deferred row.
    std::vector<std::pair<std::uint64_t, std::int64_t>> found;
    for (std::size_t i = 0; i < repeats_.size(); ++i)
        found.emplace_back(0, repeats_[i]);
    repeats_.clear();
    repeats_.shrink_to_fit();
    std::string key;
    for (std::size_t p = 0; p < parts_.size(); ++p) {
        auto& part = parts_[p];
        std::FILE* f = part.get();
        if (std::fflush(f) != 0 || std::fseek(f, 0, SEEK_SET) != 0)
            throw std::runtime_error("could not read back the keys' temporary file");
        Table table(partRows_[p]);
        for (int kind; (kind = std::fgetc(f)) != EOF;) {
            std::uint64_t ordinal = 0;
            if (kind == 1 && std::fread(&ordinal, sizeof ordinal, 1, f) != 1) break;
            std::int64_t number = 0;
            if (std::fread(&number, 8, 1, f) != 1) break;
            std::size_t n = 0;
            for (unsigned shift = 0;; shift += 7) {
                const int byte = std::fgetc(f);
                if (byte == EOF) throw std::runtime_error("a keys' temporary file ends early");
                n |= std::size_t(byte & 0x7f) << shift;
                if (!(byte & 0x80)) break;
            }
            key.resize(n);
            if (n && std::fread(key.data(), 1, n, f) != n)
                throw std::runtime_error("a keys' temporary file ends early");
            if (table.insert(key, hashOf(key)) && kind == 1) found.emplace_back(ordinal, number);
        }
        part.reset(); // the file goes as soon as its part is searched
    }
    parts_.clear();
    // Earlier repeats (ordinal 0 marks them) keep their read order: a stable sort keeps it.
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::int64_t> out;
    out.reserve(found.size());
    for (auto it = found.rbegin(); it != found.rend(); ++it)
        out.push_back(it->second);
    return out;
}

} // namespace rowlark::dedupe
