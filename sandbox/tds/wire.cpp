#include "wire.h"

#include "db/utf16.h"

namespace tds {

std::u16string utf16(std::string_view s) {
    return rowlark::utf::toUtf16<char16_t>(s);
}

std::string utf8(std::u16string_view s) {
    return rowlark::utf::fromUtf16(s.data(), s.size());
}

} // namespace tds
