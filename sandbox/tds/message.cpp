#include "message.h"

#include "tokens.h"

namespace tds {

void ServerMessage::encode(Writer& w, std::uint32_t version) const {
    w.u8(isError ? kTokError : kTokInfo);
    std::size_t at = w.reserveU16();
    w.u32le(static_cast<std::uint32_t>(number));
    w.u8(state);
    w.u8(severity);
    w.usVarchar(text);
    w.bVarchar(server);
    w.bVarchar(procedure);
    if (hasLongCounts(version))
        w.u32le(static_cast<std::uint32_t>(line));
    else
        w.u16le(static_cast<std::uint16_t>(line));
    w.patchU16le(at, static_cast<std::uint16_t>(w.size() - at - 2));
}

} // namespace tds
