// ENVCHANGE: the server tells the client that a session setting changed.
#pragma once

#include "tokens.h"
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
    void encode(Writer& w) const {
        w.u8(kTokEnvChange);
        std::size_t at = w.reserveU16();
        w.u8(type);
        if (isText()) {
            w.bVarchar(newText);
            w.bVarchar(oldText);
        } else {
            w.u8(static_cast<std::uint8_t>(newBytes.size()));
            w.raw(newBytes);
            w.u8(static_cast<std::uint8_t>(oldBytes.size()));
            w.raw(oldBytes);
        }
        w.patchU16le(at, static_cast<std::uint16_t>(w.size() - at - 2));
    }
    friend bool operator==(const EnvChange&, const EnvChange&) = default;
};

} // namespace tds
