// UTF-8 to and from 16-bit code units, for any 16-bit character type (char16_t, SQLWCHAR).
// Invalid input becomes U+FFFD. Header-only, so the sandbox shares it without linking the data
// layer.
#pragma once

#include <string>
#include <string_view>

namespace rowlark::utf {

// Appends the UTF-8 text as UTF-16.
template <class Char16> void appendUtf16(std::basic_string<Char16>& out, std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const std::size_t len = c < 0x80         ? 1
                                : (c >> 5) == 6  ? 2
                                : (c >> 4) == 14 ? 3
                                : (c >> 3) == 30 ? 4
                                                 : 0;
        char32_t cp = 0xFFFD;
        if (len == 0 || i + len > s.size()) {
            ++i;
        } else {
            cp = len == 1 ? c : len == 2 ? (c & 0x1f) : len == 3 ? (c & 0x0f) : (c & 0x07);
            bool ok = true;
            for (std::size_t k = 1; k < len; ++k) {
                const unsigned char cc = static_cast<unsigned char>(s[i + k]);
                ok = ok && (cc >> 6) == 2;
                cp = (cp << 6) | (cc & 0x3f);
            }
            if (!ok) cp = 0xFFFD;
            i += ok ? len : 1;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<Char16>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<Char16>(0xDC00 + (cp & 0x3ff)));
        } else {
            out.push_back(static_cast<Char16>(cp));
        }
    }
}

template <class Char16> std::basic_string<Char16> toUtf16(std::string_view s) {
    std::basic_string<Char16> out;
    out.reserve(s.size());
    appendUtf16(out, s);
    return out;
}

// The code point at s[i], a surrogate pair taken whole (i moves past its second half); an unpaired
// surrogate is U+FFFD.
template <class Char16> char32_t codePointAt(const Char16* s, std::size_t n, std::size_t& i) {
    char32_t cp = static_cast<char32_t>(s[i]);
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(s[i + 1]) - 0xDC00);
        ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
        cp = 0xFFFD;
    }
    return cp;
}

// Bytes the text takes in UTF-8.
template <class Char16> std::size_t utf8Size(const Char16* s, std::size_t n) {
    std::size_t size = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t cp = codePointAt(s, n, i);
        size += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    }
    return size;
}

// Appends the text in UTF-8.
template <class Char16> void appendUtf8(std::string& out, const Char16* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t cp = codePointAt(s, n, i);
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        }
    }
}

template <class Char16> std::string fromUtf16(const Char16* s, std::size_t n) {
    std::string out;
    out.reserve(n);
    appendUtf8(out, s, n);
    return out;
}

} // namespace rowlark::utf
