#include "envchange.h"

#include "tokens.h"

namespace tds {

void EnvChange::encode(Writer& w) const {
    w.u8(kTokEnvChange);
    std::size_t at = w.reserveU16();
    w.u8(type);
    if (isText()) {
        w.bVarchar(newText);
        w.bVarchar(oldText);
    } else {
        w.u8(static_cast<std::uint8_t>(newBytes.size()));
        w.raw(newBytes);
        w.u8(static_cast<std::uint8_t>(oldBytes.size()));
        w.raw(oldBytes);
    }
    w.patchU16le(at, static_cast<std::uint16_t>(w.size() - at - 2));
}

} // namespace tds
