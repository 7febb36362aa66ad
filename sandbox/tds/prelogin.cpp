#include "prelogin.h"

namespace tds {

Bytes Prelogin::encode() const {
    Writer w;
    std::size_t offset = options.size() * 5 + 1;
    for (const auto& [token, data] : options) {
        w.u8(token);
        w.u16be(static_cast<std::uint16_t>(offset));
        w.u16be(static_cast<std::uint16_t>(data.size()));
        offset += data.size();
    }
    w.u8(kOptTerminator);
    for (const auto& entry : options)
        w.raw(entry.second);
    return std::move(w.bytes());
}

Prelogin Prelogin::decode(const Bytes& payload) {
    Prelogin p;
    Reader r(payload);
    for (std::uint8_t token; (token = r.u8()) != kOptTerminator;) {
        std::uint16_t offset = r.u16be();
        std::uint16_t length = r.u16be();
        if (std::size_t(offset) + length > payload.size())
            throw ProtocolError("prelogin option outside the message");
        p.options[token] = Bytes(payload.begin() + offset, payload.begin() + offset + length);
    }
    return p;
}

Prelogin Prelogin::serverReply() {
    Prelogin p;
    p.options[kOptVersion] = {16, 0, 0x10, 0x00, 0, 0}; // 16.0.4096
    p.options[kOptEncryption] = {kEncryptNotSupported};
    p.options[kOptInstOpt] = {0};
    p.options[kOptThreadId] = {};
    p.options[kOptMars] = {0};
    return p;
}

} // namespace tds
