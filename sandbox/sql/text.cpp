#include "text.h"

namespace sandbox {

std::string toLower(std::string_view s) {
    std::string out(s);
    for (auto& c : out)
        c = foldAscii(c);
    return out;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldAscii(a[i]) != foldAscii(b[i])) return false;
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() &&
           (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

static std::string quoteWith(std::string_view s, char q) {
    std::string out(1, q);
    for (char c : s) {
        if (c == q) out.push_back(q);
        out.push_back(c);
    }
    out.push_back(q);
    return out;
}

std::string quoteIdent(std::string_view name) {
    return quoteWith(name, '"');
}
std::string quoteString(std::string_view text) {
    return quoteWith(text, '\'');
}

} // namespace sandbox
