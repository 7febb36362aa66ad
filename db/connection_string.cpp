#include "connection_string.h"

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

} // namespace rowlark::db
