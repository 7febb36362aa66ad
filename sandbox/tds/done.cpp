#include "done.h"

namespace tds {

void Done::encode(Writer& w) const {
    w.u8(token);
    w.u16le(status);
    w.u16le(curCmd);
    w.u64le(rowCount);
}

Done Done::decode(Reader& r, std::uint8_t token) {
    Done d;
    d.token = token;
    d.status = r.u16le();
    d.curCmd = r.u16le();
    d.rowCount = r.u64le();
    return d;
}

} // namespace tds
