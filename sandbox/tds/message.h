// ERROR and INFO: a numbered server message.
#pragma once

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

    void encode(Writer& w) const;
    friend bool operator==(const ServerMessage&, const ServerMessage&) = default;
};

} // namespace tds
