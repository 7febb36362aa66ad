// RETURNSTATUS: the return value of a stored procedure.
#pragma once

#include "tokens.h"
#include "wire.h"

namespace tds {

inline void encodeReturnStatus(Writer& w, std::int32_t status) {
    w.u8(kTokReturnStatus);
    w.u32le(static_cast<std::uint32_t>(status));
}

} // namespace tds
