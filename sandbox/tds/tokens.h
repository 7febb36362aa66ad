// Token identifiers of the reply stream.
#pragma once

#include <cstdint>

namespace tds {

enum Token : std::uint8_t {
    kTokReturnStatus = 0x79,
    kTokColMetadata = 0x81,
    kTokError = 0xAA,
    kTokInfo = 0xAB,
    kTokReturnValue = 0xAC,
    kTokLoginAck = 0xAD,
    kTokRow = 0xD1,
    kTokNbcRow = 0xD2,
    kTokEnvChange = 0xE3,
    kTokDone = 0xFD,
    kTokDoneProc = 0xFE,
    kTokDoneInProc = 0xFF,
};

// The collation every text column carries: SQL_Latin1_General_CP1_CI_AS.
constexpr std::uint8_t kCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};

} // namespace tds
