#include "keys.h"

#include "finder.h"

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

template <class Keys> std::vector<std::int32_t> positionsOf(const Keys& keys, std::size_t n) {
    if (n > static_cast<std::size_t>(INT32_MAX))
        throw std::length_error("too many rows for 32-bit positions");
    RepeatFinder finder(UINT64_MAX, n);
    finder.setSpilling(false);
    for (std::size_t i = 0; i < n; ++i)
        finder.push(static_cast<std::int64_t>(i + 1), keys[i]);
    std::vector<std::int32_t> out;
    for (std::int64_t p : finder.repeats())
        out.push_back(static_cast<std::int32_t>(p));
    return out;
}

} // namespace

std::vector<std::int32_t> FindDuplicatePositions(const TextList& keys) {
    return positionsOf(keys, keys.size());
}

std::vector<std::int32_t> FindDuplicatePositions(const std::vector<std::string>& keys) {
    struct View {
        const std::vector<std::string>& k;
        std::string_view operator[](std::size_t i) const { return k[i]; }
    };
    return positionsOf(View{keys}, keys.size());
}

} // namespace rowlark::dedupe
