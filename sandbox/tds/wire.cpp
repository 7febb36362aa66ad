#include "wire.h"

namespace tds {

std::u16string utf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        char32_t cp;
        std::size_t len;
        if (c < 0x80)
            cp = c, len = 1;
        else if ((c >> 5) == 6)
            cp = c & 0x1f, len = 2;
        else if ((c >> 4) == 14)
            cp = c & 0x0f, len = 3;
        else if ((c >> 3) == 30)
            cp = c & 0x07, len = 4;
        else {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (i + len > s.size()) {
            out.push_back(u'\uFFFD');
            break;
        }
        bool ok = true;
        for (std::size_t k = 1; k < len; ++k) {
            unsigned char cc = s[i + k];
            if ((cc >> 6) != 2) ok = false;
            cp = (cp << 6) | (cc & 0x3f);
        }
        i += ok ? len : 1;
        if (!ok) cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3ff)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string utf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        if (cp < 0x80)
            out.push_back(static_cast<char>(cp));
        else if (cp < 0x800) {
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
    return out;
}

} // namespace tds
