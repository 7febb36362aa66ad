#include "done.h"

namespace tds {

void Done::encode(Writer& w) const {
    w.u8(token);
    w.u16le(status);
    w.u16le(curCmd);
    w.u64le(rowCount);
}

} // namespace tds
