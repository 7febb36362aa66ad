#include "connection_string.h"

#include <cctype>

namespace rowlark::db {
namespace {

// A braced value read the standard way from s[at] == '{': "}}" is one brace, a single "}" ends
// it. Moves at past the closing brace; nullopt when none closes it. doubled tells whether any
// "}}" was read.
std::optional<std::string> readBraced(std::string_view s, std::size_t& at, bool& doubled) {
    std::string value;
    for (std::size_t j = at + 1; j < s.size(); ++j) {
        if (s[j] != '}') {
            value.push_back(s[j]);
        } else if (j + 1 < s.size() && s[j + 1] == '}') {
            value.push_back('}');
            doubled = true;
            ++j;
        } else {
            at = j + 1;
            return value;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> withUndoubledBraces(std::string_view s) {
    std::string out;
    bool changed = false;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t eq = s.find('=', i);
        if (eq == std::string_view::npos) {
            out.append(s.substr(i));
            break;
        }
        out.append(s.substr(i, eq + 1 - i));
        i = eq + 1;
        if (i < s.size() && s[i] == '{') {
            const auto value = readBraced(s, i, changed);
            if (!value || value->find("};") != std::string::npos) return std::nullopt;
            out += '{' + *value + '}';
        }
        const std::size_t semi = s.find(';', i);
        const std::size_t end = semi == std::string_view::npos ? s.size() : semi + 1;
        out.append(s.substr(i, end - i));
        i = end;
    }
    if (!changed) return std::nullopt;
    return out;
}

std::optional<std::string> connectionStringValue(std::string_view s, std::string_view key) {
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t eq = s.find('=', i);
        if (eq == std::string_view::npos) break;
        std::string_view name = s.substr(i, eq - i);
        while (!name.empty() && name.front() == ' ')
            name.remove_prefix(1);
        std::string value;
        std::size_t j = eq + 1;
        if (j < s.size() && s[j] == '{') {
            bool doubled = false;
            if (auto braced = readBraced(s, j, doubled)) {
                value = std::move(*braced);
                j = s.find(';', j);
            } else {
                value = std::string(s.substr(j + 1)); // unclosed: the rest is the value
                j = std::string_view::npos;
            }
        } else {
            const std::size_t semi = s.find(';', j);
            value = std::string(s.substr(j, semi == std::string_view::npos ? s.npos : semi - j));
            j = semi;
        }
        bool same = name.size() == key.size();
        for (std::size_t k = 0; same && k < key.size(); ++k)
            same = std::tolower(static_cast<unsigned char>(name[k])) ==
                   std::tolower(static_cast<unsigned char>(key[k]));
        if (same) return value;
        if (j == std::string_view::npos) break;
        i = j + 1;
    }
    return std::nullopt;
}

} // namespace rowlark::db
