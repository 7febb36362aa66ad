#include "connection_string.h"

#include <cctype>

namespace rowlark::db {

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
            // The standard reading: "}}" is one brace, a single "}" ends the value.
            std::string value;
            std::size_t j = i + 1;
            for (; j < s.size(); ++j) {
                if (s[j] == '}') {
                    if (j + 1 < s.size() && s[j + 1] == '}') {
                        value.push_back('}');
                        changed = true;
                        ++j;
                        continue;
                    }
                    break;
                }
                value.push_back(s[j]);
            }
            if (j >= s.size()) return std::nullopt; // unterminated
            if (value.find("};") != std::string::npos) return std::nullopt;
            out += '{' + value + '}';
            i = j + 1;
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
            for (++j; j < s.size(); ++j) {
                if (s[j] == '}') {
                    if (j + 1 < s.size() && s[j + 1] == '}') {
                        value.push_back('}');
                        ++j;
                        continue;
                    }
                    ++j;
                    break;
                }
                value.push_back(s[j]);
            }
            j = s.find(';', j);
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
