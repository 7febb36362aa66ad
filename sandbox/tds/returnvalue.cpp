#include "returnvalue.h"

#include "tokens.h"
#include "version.h"

namespace tds {

void ReturnValue::encode(Writer& w, std::uint32_t version) const {
    w.u8(kTokReturnValue);
    w.u16le(ordinal);
    w.bVarchar(name);
    w.u8(status);
    encodeUserType(w, version);
    w.u16le(0x0001); // flags: nullable
    encodeTypeInfo(w, type);
    encodeValue(w, type, value);
}

ReturnValue ReturnValue::decode(Reader& r, std::uint32_t version) {
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

} // namespace tds
