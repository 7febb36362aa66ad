#include "collation.h"

#include "error.h"
#include "text.h"

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>

namespace sandbox {
namespace {

// One code point from UTF-8; a byte that starts no valid sequence stands for itself.
char32_t next(std::string_view s, std::size_t& i) {
    const auto b = static_cast<unsigned char>(s[i++]);
    const std::size_t extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + extra > s.size()) return b;
    char32_t c = b & (0x3F >> extra);
    for (std::size_t k = 0; k < extra; ++k) {
        const auto n = static_cast<unsigned char>(s[i + k]);
        if ((n & 0xC0) != 0x80) return b;
        c = (c << 6) | (n & 0x3F);
    }
    i += extra;
    return c;
}

// A decimal number's parts, without leading zeros before the point or trailing zeros after it.
struct DecimalText {
    bool negative = false;
    std::string_view whole, fraction;
};

std::optional<DecimalText> parseDecimalText(std::string_view s) {
    s.remove_prefix(std::min(s.find_first_not_of(' '), s.size()));
    s = s.substr(0, s.find_last_not_of(' ') + 1);
    DecimalText d{!s.empty() && s.front() == '-', {}, {}};
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) s.remove_prefix(1);
    const std::size_t point = s.find('.');
    d.whole = s.substr(0, point);
    d.fraction = point == std::string_view::npos ? std::string_view() : s.substr(point + 1);
    if (d.whole.empty() && d.fraction.empty()) return std::nullopt;
    for (std::string_view part : {d.whole, d.fraction})
        for (char c : part)
            if (c < '0' || c > '9') return std::nullopt;
    d.whole.remove_prefix(std::min(d.whole.find_first_not_of('0'), d.whole.size()));
    d.fraction = d.fraction.substr(0, d.fraction.find_last_not_of('0') + 1);
    if (d.whole.empty() && d.fraction.empty()) d.negative = false; // -0 is 0
    return d;
}

// Latin-1's letters from U+00C0 and Latin Extended-A's, as their base letters ('.': no base).
constexpr char kBaseLetters[] =
    "AAAAAA.CEEEEIIIIDNOOOOO.OUUUUY..aaaaaa.ceeeeiiiidnooooo.ouuuuy.y"
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi..JjKk.LlLlLlLlLlNnNnNn...OoOoOo..RrRrRr"
    "SsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";

} // namespace

char32_t lowerCase(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c == 0x178) return 0xFF;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

char32_t upperCase(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    if (c == 0xFF) return 0x178;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c & ~char32_t{1};
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
    if (c == 0x3C2) return 0x3A3; // final sigma
    if (c >= 0x3B1 && c <= 0x3CB) return c - 32;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    return c;
}

int compareDecimalText(std::string_view a, std::string_view b) {
    const auto x = parseDecimalText(a), y = parseDecimalText(b);
    if (!x || !y) return x ? -1 : y ? 1 : std::clamp(a.compare(b), -1, 1);
    if (x->negative != y->negative) return x->negative ? -1 : 1;
    // the longer whole part is the larger; then digit by digit
    const auto magnitude = [](const DecimalText& d) {
        return std::tuple(d.whole.size(), d.whole, d.fraction);
    };
    const auto c = magnitude(*x) <=> magnitude(*y);
    const int m = c < 0 ? -1 : c > 0;
    return x->negative ? -m : m;
}

char32_t withoutAccent(char32_t c) {
    if (c < 0xC0 || c > 0x17F) return c;
    const char base = kBaseLetters[c - 0xC0];
    return base == '.' ? c : static_cast<char32_t>(base);
}

int compareIn(int collation, std::string_view a, std::string_view b) {
    a = a.substr(0, a.find_last_not_of(' ') + 1); // trailing blanks do not count
    b = b.substr(0, b.find_last_not_of(' ') + 1);
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = folded(next(a, i), collation), y = folded(next(b, j), collation);
        if (x != y) return x < y ? -1 : 1;
    }
    return (i < a.size()) - (j < b.size()); // equal so far: the longer is the greater
}

int collationId(std::string_view tsqlName) {
    const std::string lower = toLower(tsqlName), name(tsqlName);
    const SqlError invalid{448, 16, 1, "Invalid collation '" + name + "'.", true};
    if (lower.rfind("latin1_general", 0) != 0 && lower.rfind("sql_latin1_general_cp1_", 0) != 0) {
        if (lower.find("_ci") == std::string::npos && lower.find("_cs") == std::string::npos &&
            lower.find("_bin") == std::string::npos)
            throw invalid;
        throw unsupported("the collation " + name + " (only the Latin1_General families)");
    }
    const auto has = [&](const char* part) {
        const std::string p = std::string("_") + part;
        const auto at = lower.find(p);
        return at != std::string::npos &&
               (at + p.size() == lower.size() || lower[at + p.size()] == '_');
    };
    if (has("bin") || has("bin2")) return kBin;
    const bool cs = has("cs"), ai = has("ai");
    if (!cs && !has("ci")) throw invalid;
    return cs ? (ai ? kCsAi : kCsAs) : (ai ? kCiAi : kCiAs);
}

const char* collationName(int id) {
    static const char* const kNames[] = {kCollationCi, "rowlark_cs", "rowlark_ci_ai",
                                         "rowlark_cs_ai", "rowlark_bin"};
    return kNames[id];
}

// The store's comparison of the collation kId, or of decimal text where kId is -1.
template <int kId> int collated(void*, int na, const void* a, int nb, const void* b) {
    const std::string_view x(static_cast<const char*>(a), static_cast<std::size_t>(na)),
        y(static_cast<const char*>(b), static_cast<std::size_t>(nb));
    return kId < 0 ? compareDecimalText(x, y) : compareIn(kId, x, y);
}

void registerCollations(sqlite3* db) {
    int (*const kCompare[])(void*, int, const void*, int, const void*) = {
        collated<kCiAs>, collated<kCsAs>, collated<kCiAi>, collated<kCsAi>, collated<kBin>};
    for (int id = kCiAs; id <= kBin; ++id)
        sqlite3_create_collation_v2(db, collationName(id), SQLITE_UTF8, nullptr, kCompare[id],
                                    nullptr);
    sqlite3_create_collation_v2(db, kCollationDecimal, SQLITE_UTF8, nullptr, collated<-1>, nullptr);
}

} // namespace sandbox
