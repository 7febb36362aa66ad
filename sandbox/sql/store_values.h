// A store function's arguments and result as text: what the sandbox's functions share.
#pragma once

#include <sqlite3.h>

#include <cstdlib>
#include <string>

namespace sandbox {

inline std::string textOf(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string();
}

inline std::u16string utf16Of(sqlite3_value* v) {
    return {static_cast<const char16_t*>(sqlite3_value_text16(v)),
            static_cast<std::size_t>(sqlite3_value_bytes16(v)) / 2};
}

// An exact number's text as the store keeps a value: a number where a double holds it exactly
// enough (15 digits), so that it compares as one, and its text otherwise.
inline void resultExact(sqlite3_context* ctx, const std::string& text) {
    std::size_t significant = 0;
    for (char c : text)
        significant += c >= '0' && c <= '9';
    if (significant <= 15) return sqlite3_result_double(ctx, std::strtod(text.c_str(), nullptr));
    sqlite3_result_text(ctx, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Bytes as a blob; none is an empty blob, not a NULL.
inline void resultBytes(sqlite3_context* ctx, const void* data, std::size_t n) {
    if (n == 0) return sqlite3_result_zeroblob(ctx, 0);
    sqlite3_result_blob(ctx, data, static_cast<int>(n), SQLITE_TRANSIENT);
}

inline void resultUtf16(sqlite3_context* ctx, const std::u16string& s) {
    sqlite3_result_text16(ctx, s.data(), static_cast<int>(s.size() * 2), SQLITE_TRANSIENT);
}

} // namespace sandbox
