// PRELOGIN: the option table exchanged before login.
#pragma once

#include "wire.h"

#include <map>

namespace tds {

enum PreloginOption : std::uint8_t {
    kOptVersion = 0,
    kOptEncryption = 1,
    kOptInstOpt = 2,
    kOptThreadId = 3,
    kOptMars = 4,
    kOptTerminator = 0xFF,
};

constexpr std::uint8_t kEncryptNotSupported = 0x02;

struct Prelogin {
    std::map<std::uint8_t, Bytes> options; // option token -> its data, in token order

    Bytes encode() const;
    static Prelogin decode(const Bytes& payload);

    // What the sandbox answers: no encryption, so the client goes on in clear text.
    static Prelogin serverReply();
};

} // namespace tds
