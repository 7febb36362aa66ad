// LOGIN7: the client's login record.
#pragma once

#include "wire.h"

namespace tds {

// The fixed part of the record, and where its (offset, length) pairs stand in it.
namespace login7 {
constexpr std::size_t kFixedSize = 94;
constexpr std::size_t kHostName = 36, kUserName = 40, kPassword = 44, kAppName = 48,
                      kServerName = 52, kLibraryName = 60, kLanguage = 64, kDatabase = 68;
} // namespace login7

struct Login7 {
    std::uint32_t tdsVersion = 0x74000004;
    std::uint32_t packetSize = 4096;
    std::uint8_t optionFlags1 = 0;
    std::u16string hostName, userName, password, appName, serverName, libraryName, language,
        database;

    static Login7 decode(const Bytes& payload);
};

// The password scramble of LOGIN7: a nibble swap and an XOR with 0xA5 on every byte.
void scramblePassword(Bytes& ucs2);
void unscramblePassword(Bytes& ucs2);

} // namespace tds
