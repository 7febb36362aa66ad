#include "keys.h"

#include "finder.h"

#include "db/utf16.h"

#include <charconv>

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

void appendLength(std::string& key, std::size_t n) {
    char digits[24];
    key.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
    key += ':';
}

} // namespace

void rowKey(const db::BlockReader& rows, std::size_t row, std::size_t first, std::string& key) {
    key.clear();
    char digits[24];
    for (std::size_t c = first; c < rows.columns(); ++c) {
        if (rows.null(c, row)) {
            key += "0:";
            continue;
        }
        switch (rows.kind(c)) {
        case db::BlockReader::Kind::Integer: {
            const auto end =
                std::to_chars(digits, digits + sizeof digits, rows.integer(c, row)).ptr;
            appendLength(key, static_cast<std::size_t>(end - digits));
            key.append(digits, end);
            break;
        }
        case db::BlockReader::Kind::Real: {
            double v = rows.real(c, row);
            if (v == 0) v = 0; // -0 is 0
            key += "8:";
            key.append(reinterpret_cast<const char*>(&v), sizeof v);
            break;
        }
        case db::BlockReader::Kind::Text: {
            const auto text = rows.text(c, row);
            appendLength(key, utf::utf8Size(text.data(), text.size()));
            utf::appendUtf8(key, text.data(), text.size());
            break;
        }
        }
    }
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
