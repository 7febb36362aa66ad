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

LoginAck LoginAck::decode(Reader& r) {
    LoginAck a;
    std::size_t length = r.u16le();
    std::size_t start = r.pos();
    a.interface = r.u8();
    a.tdsVersion = r.u32be();
    a.programName = r.bVarchar();
    a.programVersion = r.u32be();
    if (r.pos() - start != length)
        throw ProtocolError("login acknowledgement length does not match");
    return a;
}

} // namespace tds
