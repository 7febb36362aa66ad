// Small text helpers: ASCII case folding, trimming, quoting.
#pragma once

#include <string>
#include <string_view>

namespace sandbox {

std::string toLower(std::string_view s);
// Case-insensitive for ASCII letters, as identifiers compare on a default server.
bool iequals(std::string_view a, std::string_view b);
std::string_view trim(std::string_view s);
// "name" for the store, with embedded quotes doubled.
std::string quoteIdent(std::string_view name);
// 'text' for the store, with embedded quotes doubled.
std::string quoteString(std::string_view text);

} // namespace sandbox
