// DONE, DONEPROC and DONEINPROC: the end of one statement's results.
#pragma once

#include "version.h"
#include "wire.h"

namespace tds {

enum DoneStatus : std::uint16_t {
    kDoneFinal = 0x0000,
    kDoneMore = 0x0001,
    kDoneError = 0x0002,
    kDoneInXact = 0x0004,
    kDoneCount = 0x0010,
    kDoneAttn = 0x0020,
};

struct Done {
    std::uint8_t token = 0xFD; // kTokDone, kTokDoneProc or kTokDoneInProc
    std::uint16_t status = kDoneFinal;
    std::uint16_t curCmd = 0;
    std::uint64_t rowCount = 0;

    // Before 7.2 the row count takes four bytes.
    void encode(Writer& w, std::uint32_t version = kTds74) const {
        w.u8(token);
        w.u16le(status);
        w.u16le(curCmd);
        w.put(rowCount, hasLongCounts(version) ? 8 : 4);
    }
    friend bool operator==(const Done&, const Done&) = default;
};

} // namespace tds
