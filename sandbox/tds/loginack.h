// LOGINACK: the server accepts the login.
#pragma once

#include "tokens.h"
#include "wire.h"

namespace tds {

struct LoginAck {
    std::uint8_t interface = 1; // the client insists on 1 (SQL)
    std::uint32_t tdsVersion = 0x74000004;
    std::u16string programName = u"Microsoft SQL Server";
    std::uint32_t programVersion = 0x0F0007D0; // 15.0.2000

    void encode(Writer& w) const {
        w.u8(kTokLoginAck);
        std::size_t at = w.reserveU16();
        w.u8(interface);
        w.u32be(tdsVersion);
        w.bVarchar(programName);
        w.u32be(programVersion);
        w.patchU16le(at, static_cast<std::uint16_t>(w.size() - at - 2));
    }
    friend bool operator==(const LoginAck&, const LoginAck&) = default;
};

} // namespace tds
