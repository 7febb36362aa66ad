// Row keys: each row's chosen values in one text, packed together in one buffer.
#pragma once

#include "db/block_reader.h"
#include "db/statement.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace rowlark::dedupe {

// The replacement when the value is NULL, else the value.
inline std::string NullToValue(const db::Value& value, const std::string& replacement) {
    return value ? *value : replacement;
}

// Appends one value to a key so that values stay apart: its length, ':', its bytes. NULL counts
// as the empty text; letter case and trailing blanks count.
void appendKeyValue(std::string& key, const db::Value& value);
// The key of a row read from the server: its values from `first` on.
inline void rowKey(const std::vector<db::Value>& row, std::size_t first, std::string& key) {
    key.clear();
    for (std::size_t i = first; i < row.size(); ++i)
        appendKeyValue(key, row[i]);
}

// The key of a row of a block read, from column `first` on. Each value goes in as appendKeyValue
// puts it, with its length first: text as UTF-8 and whole numbers in decimal, as the driver
// writes them, so such keys equal those of the values read as text; floating-point values by
// their exact bits (0 and -0 alike), which no text rounds.
void rowKey(const db::BlockReader& rows, std::size_t row, std::size_t first, std::string& key);

// Many texts in one buffer: far less memory than a string each.
class TextList {
public:
    void reserve(std::size_t texts, std::size_t bytes) {
        ends_.reserve(texts);
        bytes_.reserve(bytes);
    }
    // The text being built: append to it, then close it with push().
    std::string& open() { return bytes_; }
    void push() {
        if (bytes_.size() > UINT32_MAX)
            throw std::length_error("more than 4 GB of key text in one run");
        ends_.push_back(static_cast<std::uint32_t>(bytes_.size()));
    }
    void push(std::string_view text) {
        bytes_.append(text);
        push();
    }

    std::size_t size() const { return ends_.size(); }
    std::string_view operator[](std::size_t i) const {
        std::size_t begin = i ? ends_[i - 1] : 0;
        return std::string_view(bytes_).substr(begin, ends_[i] - begin);
    }
    std::size_t bytes() const { return bytes_.size(); }
    void clear() {
        bytes_.clear();
        bytes_.shrink_to_fit();
        ends_.clear();
        ends_.shrink_to_fit();
    }

private:
    std::string bytes_;
    std::vector<std::uint32_t> ends_; // four bytes a text: a million keys cost 4 MB here
};

// The 1-based positions of the keys that equal an earlier key, highest first; the first key of
// each group of equal keys is never among them. Linear expected time.
std::vector<std::int32_t> FindDuplicatePositions(const TextList& keys);
std::vector<std::int32_t> FindDuplicatePositions(const std::vector<std::string>& keys);

} // namespace rowlark::dedupe
