// RETURNVALUE: the value of an output parameter after a procedure ran (the handle a prepare gives
// back travels so too).
#pragma once

#include "colmetadata.h"
#include "row.h"

namespace tds {

struct ReturnValue {
    std::uint16_t ordinal = 0;
    std::u16string name;
    std::uint8_t status = 0x01; // an output parameter (0x02: a user-defined function's value)
    TypeInfo type;
    Value value;

    void encode(Writer& w, std::uint32_t version) const;
    // Reads one token, its identifier included.
    static ReturnValue decode(Reader& r, std::uint32_t version);
};

} // namespace tds
