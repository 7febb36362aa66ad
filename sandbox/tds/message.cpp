#include "message.h"

#include "tokens.h"

namespace tds {

void ServerMessage::encode(Writer& w) const {
    w.u8(isError ? kTokError : kTokInfo);
    std::size_t at = w.reserveU16();
    w.u32le(static_cast<std::uint32_t>(number));
    w.u8(state);
    w.u8(severity);
    w.usVarchar(text);
    w.bVarchar(server);
    w.bVarchar(procedure);
    w.u32le(static_cast<std::uint32_t>(line));
    w.patchU16le(at, static_cast<std::uint16_t>(w.size() - at - 2));
}

ServerMessage ServerMessage::decode(Reader& r, bool isError) {
    ServerMessage m;
    m.isError = isError;
    std::size_t length = r.u16le();
    std::size_t start = r.pos();
    m.number = static_cast<std::int32_t>(r.u32le());
    m.state = r.u8();
    m.severity = r.u8();
    m.text = r.usVarchar();
    m.server = r.bVarchar();
    m.procedure = r.bVarchar();
    m.line = static_cast<std::int32_t>(r.u32le());
    if (r.pos() - start != length) throw ProtocolError("message token length does not match");
    return m;
}

} // namespace tds
