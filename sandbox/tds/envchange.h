// ENVCHANGE: the server tells the client that a session setting changed.
#pragma once

#include "wire.h"

namespace tds {

enum EnvChangeType : std::uint8_t {
    kEnvDatabase = 1,
    kEnvLanguage = 2,
    kEnvPacketSize = 4,
    kEnvCollation = 7,
    kEnvBeginTran = 8,
    kEnvCommitTran = 9,
    kEnvRollbackTran = 10,
};

struct EnvChange {
    std::uint8_t type = kEnvDatabase;
    // Text settings (database, language, packet size) travel as B_VARCHAR; the others as raw bytes.
    std::u16string newText, oldText;
    Bytes newBytes, oldBytes;

    bool isText() const {
        return type == kEnvDatabase || type == kEnvLanguage || type == kEnvPacketSize;
    }
    void encode(Writer& w) const;
    friend bool operator==(const EnvChange&, const EnvChange&) = default;
};

} // namespace tds
