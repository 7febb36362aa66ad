// ERROR and INFO: a numbered server message.
#pragma once

#include "tokens.h"
#include "version.h"
#include "wire.h"

namespace tds {

struct ServerMessage {
    bool isError = true; // ERROR token; INFO otherwise
    std::int32_t number = 0;
    std::uint8_t state = 1;
    std::uint8_t severity = 16; // "class": above 10 is an error for the client
    std::u16string text;
    std::u16string server;
    std::u16string procedure;
    std::int32_t line = 1;

    // Before 7.2 the line number takes two bytes.
    void encode(Writer& w, std::uint32_t version = kTds74) const {
        w.u8(isError ? kTokError : kTokInfo);
        std::size_t at = w.reserveU16();
        w.u32le(static_cast<std::uint32_t>(number));
        w.u8(state);
        w.u8(severity);
        w.usVarchar(text);
        w.bVarchar(server);
        w.bVarchar(procedure);
        w.put(static_cast<std::uint32_t>(line), hasLongCounts(version) ? 4 : 2);
        w.patchU16le(at, static_cast<std::uint16_t>(w.size() - at - 2));
    }
    friend bool operator==(const ServerMessage&, const ServerMessage&) = default;
};

} // namespace tds
