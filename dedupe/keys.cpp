#include "keys.h"

#include <functional>
#include <stdexcept>

namespace rowlark::dedupe {

void appendKeyValue(std::string& key, const db::Value& value) {
    if (!value) {
        key += "0:";
        return;
    }
    key += std::to_string(value->size());
    key += ':';
    key += *value;
}

namespace {

// Open addressing over key indices: each slot holds index + 1 (0 is empty) and 32 bits of the
// hash, so most probes compare no text.
template <class Keys> std::vector<std::int32_t> findRepeats(const Keys& keys, std::size_t n) {
    if (n > static_cast<std::size_t>(INT32_MAX))
        throw std::length_error("too many rows for 32-bit positions");
    std::size_t capacity = 16;
    while (capacity < n * 2)
        capacity *= 2;
    std::vector<std::uint64_t> slots(capacity, 0);
    const std::size_t mask = capacity - 1;
    std::vector<char> repeat(n, 0);
    std::size_t repeats = 0;
    std::hash<std::string_view> hasher;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view k = keys[i];
        const std::size_t h = hasher(k);
        const auto tag = static_cast<std::uint32_t>(h >> 32) | 1u;
        for (std::size_t s = h & mask;; s = (s + 1) & mask) {
            const std::uint64_t slot = slots[s];
            if (slot == 0) {
                slots[s] = (std::uint64_t(tag) << 32) | (i + 1);
                break;
            }
            if (std::uint32_t(slot >> 32) == tag && keys[std::uint32_t(slot) - 1] == k) {
                repeat[i] = 1;
                ++repeats;
                break;
            }
        }
    }
    std::vector<std::int32_t> out;
    out.reserve(repeats);
    for (std::size_t i = n; i-- > 0;)
        if (repeat[i]) out.push_back(static_cast<std::int32_t>(i + 1));
    return out;
}

} // namespace

std::vector<std::int32_t> FindDuplicatePositions(const TextList& keys) {
    return findRepeats(keys, keys.size());
}

std::vector<std::int32_t> FindDuplicatePositions(const std::vector<std::string>& keys) {
    struct View {
        const std::vector<std::string>& k;
        std::string_view operator[](std::size_t i) const { return k[i]; }
    };
    return findRepeats(View{keys}, keys.size());
}

} // namespace rowlark::dedupe
