#include "rpc_parameters.h"

#include "sql/text.h"
#include "tds/older_versions.h"

#include <cctype>
#include <cstdio>

namespace sandbox {
namespace {

bool nameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#' ||
           c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

std::string decimalText(__int128 scaled, int scale) {
    const bool negative = scaled < 0;
    unsigned __int128 m = negative ? -static_cast<unsigned __int128>(scaled) : scaled;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    } while (m);
    while (static_cast<int>(digits.size()) <= scale)
        digits.insert(digits.begin(), '0');
    if (scale) digits.insert(digits.end() - scale, '.');
    return (negative ? "-" : "") + digits;
}

void appendHex(std::string& out, std::uint8_t byte) {
    static const char digits[] = "0123456789ABCDEF";
    out += digits[byte >> 4];
    out += digits[byte & 0xF];
}

} // namespace

std::string literal(const tds::RpcParam& p) {
    const tds::Value& v = p.value;
    if (std::holds_alternative<std::monostate>(v)) return "NULL";
    if (auto i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17E", *d);
        return buf;
    }
    if (auto d = std::get_if<tds::Decimal>(&v)) {
        const int scale = p.type.type == tds::kMoneyN ? 4 : p.type.scale;
        return decimalText(d->scaled, scale);
    }
    if (auto s = std::get_if<std::u16string>(&v))
        return (p.type.type == tds::kBigVarChar || p.type.type == tds::kText ? "" : "N") +
               quoteString(tds::utf8(*s));
    if (auto b = std::get_if<tds::Bytes>(&v)) {
        if (p.type.type == tds::kGuid && b->size() == 16) {
            // The first three groups are little-endian on the wire.
            static const int order[] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
            std::string s = "'";
            for (int k = 0; k < 16; ++k) {
                appendHex(s, (*b)[static_cast<std::size_t>(order[k])]);
                if (k == 3 || k == 5 || k == 7 || k == 9) s += '-';
            }
            return s + "'";
        }
        std::string s = "0x";
        for (auto byte : *b)
            appendHex(s, byte);
        return s;
    }
    const auto& dt = std::get<tds::DateTime>(v);
    tds::TypeInfo shape = p.type;
    if (shape.type == tds::kDateTimN) shape = {tds::kDateTime2N, 0, 0, 3};
    return "'" + tds::utf8(tds::dateTimeText(shape, dt)) + "'";
}

std::string bindParameters(std::u16string_view statement,
                           const std::vector<tds::RpcParam>& params) {
    const std::string sql = tds::utf8(statement);
    std::string out;
    std::size_t i = 0;
    auto copyUntil = [&](std::size_t end) {
        out.append(sql, i, end - i);
        i = end;
    };
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == '\'' || c == '[' || c == '"') {
            const char close = c == '[' ? ']' : c;
            std::size_t j = i + 1;
            for (; j < sql.size(); ++j)
                if (sql[j] == close) {
                    if (j + 1 < sql.size() && sql[j + 1] == close) {
                        ++j;
                        continue;
                    }
                    break;
                }
            copyUntil(std::min(j + 1, sql.size()));
        } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            const std::size_t eol = sql.find('\n', i);
            copyUntil(eol == std::string::npos ? sql.size() : eol);
        } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            const std::size_t end = sql.find("*/", i + 2);
            copyUntil(end == std::string::npos ? sql.size() : end + 2);
        } else if (c == '@' && !(i + 1 < sql.size() && sql[i + 1] == '@')) {
            std::size_t j = i + 1;
            while (j < sql.size() && nameChar(sql[j]))
                ++j;
            const std::string name = sql.substr(i, j - i);
            const tds::RpcParam* match = nullptr;
            for (const auto& p : params)
                if (iequals(tds::utf8(p.name), name)) match = &p;
            if (match) {
                out += literal(*match);
                i = j;
            } else {
                copyUntil(j);
            }
        } else if (c == '@') {
            std::size_t j = i + 2;
            while (j < sql.size() && nameChar(sql[j]))
                ++j;
            copyUntil(j);
        } else {
            copyUntil(i + 1);
        }
    }
    return out;
}

} // namespace sandbox
