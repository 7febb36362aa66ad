#include "returnstatus.h"

#include "tokens.h"

namespace tds {

void encodeReturnStatus(Writer& w, std::int32_t status) {
    w.u8(kTokReturnStatus);
    w.u32le(static_cast<std::uint32_t>(status));
}

} // namespace tds
