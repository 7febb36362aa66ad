// The silent connection test: can a connection with this string be opened and closed again?
#pragma once

#include <optional>
#include <string>

namespace rowlark::db {

// True when opening and closing both succeed; false for any failure, which is not reported.
// loginTimeout in seconds; 0 keeps the driver's default.
bool TestConnection(const std::string& connectionString, int loginTimeout = 0) noexcept;

// Why opening or closing such a connection fails, in the driver's words; nullopt when both work.
std::optional<std::string> LoginFailure(const std::string& connectionString,
                                        int loginTimeout = 0) noexcept;

} // namespace rowlark::db
