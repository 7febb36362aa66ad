// Fuzz target: row keys keep values apart, and the finder agrees with comparing every pair.
#include "dedupe/keys.h"

#include <cstdint>
#include <cstdlib>

using namespace rowlark;

namespace {

// Splits the input into values: 0x00 ends a value, 0x01 alone is NULL.
std::vector<db::Value> values(const std::uint8_t* data, std::size_t size) {
    std::vector<db::Value> out;
    std::string cur;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            out.push_back(cur == "\x01" ? db::Value{} : db::Value{cur});
            cur.clear();
        } else {
            cur.push_back(static_cast<char>(data[i]));
        }
    }
    out.push_back(cur);
    return out;
}

std::string key(const std::vector<db::Value>& row) {
    std::string k;
    for (const auto& v : row)
        dedupe::appendKeyValue(k, v);
    return k;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto all = values(data, size);
    // Two rows of equal width from the first values: keys equal exactly when the values are.
    const std::size_t width = all.size() / 2;
    if (width > 0) {
        std::vector<db::Value> a(all.begin(), all.begin() + width),
            b(all.begin() + width, all.begin() + 2 * width);
        bool same = true;
        for (std::size_t i = 0; i < width; ++i)
            same = same && dedupe::NullToValue(a[i], "") == dedupe::NullToValue(b[i], "");
        if (same != (key(a) == key(b))) std::abort();
    }
    // The finder against every pair compared, on one-value keys.
    std::vector<std::string> keys;
    for (const auto& v : all)
        keys.push_back(key({v}));
    std::vector<std::int32_t> expected;
    for (std::size_t k = keys.size(); k-- > 0;)
        for (std::size_t e = 0; e < k; ++e)
            if (keys[e] == keys[k]) {
                expected.push_back(static_cast<std::int32_t>(k + 1));
                break;
            }
    if (dedupe::FindDuplicatePositions(keys) != expected) std::abort();
    return 0;
}
