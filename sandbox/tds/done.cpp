#include "done.h"

namespace tds {

void Done::encode(Writer& w, std::uint32_t version) const {
    w.u8(token);
    w.u16le(status);
    w.u16le(curCmd);
    if (hasLongCounts(version))
        w.u64le(rowCount);
    else
        w.u32le(static_cast<std::uint32_t>(rowCount));
}

} // namespace tds
