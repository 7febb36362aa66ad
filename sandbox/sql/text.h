// Small text helpers: ASCII case folding, trimming, quoting.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sandbox {

// The one ASCII case folding of the sandbox: names compare as a server with the default
// collation compares identifiers, letters A to Z alike in either case, all else as it stands.
inline char foldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}
inline std::string toLower(std::string_view s) {
    std::string out(s);
    std::ranges::transform(out, out.begin(), foldAscii);
    return out;
}
// Case-insensitive for ASCII letters, as identifiers compare on a default server.
inline bool iequals(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, {}, foldAscii, foldAscii);
}
// Without the blanks, tabs and line ends around it.
inline std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    return first == s.npos ? s.substr(s.size())
                           : s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}
// The text between quotes q, with the quotes inside it doubled.
inline std::string quoteWith(std::string_view s, char q) {
    std::string out(1, q);
    for (char c : s) {
        if (c == q) out.push_back(q);
        out.push_back(c);
    }
    return out + q;
}
// "name" for the store.
inline std::string quoteIdent(std::string_view name) {
    return quoteWith(name, '"');
}
// 'text' for the store.
inline std::string quoteString(std::string_view text) {
    return quoteWith(text, '\'');
}
// The number the whole text is, or nullopt (past the type's range too).
template <class T> std::optional<T> fromChars(std::string_view text) {
    T v{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return v;
}
// A whole number of the statement's text, or nullopt when it does not fit in 64 bits.
inline std::optional<std::int64_t> parseWholeNumber(std::string_view text) {
    return fromChars<std::int64_t>(text);
}
// A value's text as a whole or floating-point number, as the server reads it: blanks around it
// and one sign allowed; no inf, nan or hexadecimal form.
template <class T> std::optional<T> parseNumber(std::string_view text) {
    text = trim(text);
    const std::size_t sign = !text.empty() && (text[0] == '+' || text[0] == '-');
    if (text.size() == sign || !((text[sign] >= '0' && text[sign] <= '9') || text[sign] == '.'))
        return std::nullopt;
    return fromChars<T>(text.substr(text[0] == '+')); // from_chars takes '-' only
}
// A session's temporary table (#name): it lives in the connection's own temp schema.
inline bool isTempName(std::string_view name) {
    return !name.empty() && name.front() == '#';
}
// The store's schema that holds the object of that name: "temp" or "main".
inline const char* schemaOf(std::string_view name) {
    return isTempName(name) ? "temp" : "main";
}

} // namespace sandbox
