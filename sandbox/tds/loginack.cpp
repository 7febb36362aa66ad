#include "loginack.h"

#include "tokens.h"

namespace tds {

void LoginAck::encode(Writer& w) const {
    w.u8(kTokLoginAck);
    std::size_t at = w.reserveU16();
    w.u8(interface);
    w.u32be(tdsVersion);
    w.bVarchar(programName);
    w.u32be(programVersion);
    w.patchU16le(at, static_cast<std::uint16_t>(w.size() - at - 2));
}

} // namespace tds
