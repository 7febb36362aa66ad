// LOGINACK: the server accepts the login.
#pragma once

#include "wire.h"

namespace tds {

struct LoginAck {
    std::uint8_t interface = 1; // the client insists on 1 (SQL)
    std::uint32_t tdsVersion = 0x74000004;
    std::u16string programName = u"Microsoft SQL Server";
    std::uint32_t programVersion = 0x0F0007D0; // 15.0.2000

    void encode(Writer& w) const;
    friend bool operator==(const LoginAck&, const LoginAck&) = default;
};

} // namespace tds
