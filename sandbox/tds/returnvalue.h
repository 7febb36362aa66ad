// RETURNVALUE: the value of an output parameter after a procedure ran (the handle a prepare gives
// back travels so too).
#pragma once

#include "colmetadata.h"
#include "row.h"
#include "tokens.h"

namespace tds {

struct ReturnValue {
    std::uint16_t ordinal = 0;
    std::u16string name;
    std::uint8_t status = 0x01; // an output parameter (0x02: a user-defined function's value)
    TypeInfo type;
    Value value;

    void encode(Writer& w, std::uint32_t version) const {
        w.u8(kTokReturnValue);
        w.u16le(ordinal);
        w.bVarchar(name);
        w.u8(status);
        encodeUserType(w, version);
        w.u16le(0x0001); // flags: nullable
        encodeTypeInfo(w, type);
        encodeValue(w, type, value);
    }
    // Reads one token, its identifier included.
    static ReturnValue decode(Reader& r, std::uint32_t version) {
        if (r.u8() != kTokReturnValue) throw ProtocolError("not a RETURNVALUE token");
        ReturnValue v;
        v.ordinal = r.u16le();
        v.name = r.bVarchar();
        v.status = r.u8();
        skipUserType(r, version);
        r.u16le();
        v.type = decodeTypeInfo(r);
        v.value = decodeValue(r, v.type);
        return v;
    }
};

} // namespace tds
