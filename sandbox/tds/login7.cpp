#include "login7.h"

namespace tds {
namespace {

using namespace login7;

std::u16string readName(Reader& r, const Bytes& payload, std::size_t at, bool scrambled) {
    r.seek(at);
    std::uint16_t offset = r.u16le();
    std::uint16_t chars = r.u16le();
    if (std::size_t(offset) + chars * 2u > payload.size())
        throw ProtocolError("login field outside the message");
    Bytes raw(payload.begin() + offset, payload.begin() + offset + chars * 2);
    if (scrambled) unscramblePassword(raw);
    return Reader(raw).ucs2(chars);
}

} // namespace

void scramblePassword(Bytes& b) {
    for (auto& c : b)
        c = static_cast<std::uint8_t>(((c << 4) | (c >> 4)) ^ 0xA5);
}

void unscramblePassword(Bytes& b) {
    for (auto& c : b)
        c = static_cast<std::uint8_t>(((c ^ 0xA5) << 4) | ((c ^ 0xA5) >> 4));
}

Login7 Login7::decode(const Bytes& payload) {
    if (payload.size() < kFixedSize) throw ProtocolError("login record too short");
    Reader r(payload);
    Login7 l;
    r.seek(4);
    l.tdsVersion = r.u32le();
    l.packetSize = r.u32le();
    r.seek(24);
    l.optionFlags1 = r.u8();
    l.hostName = readName(r, payload, kHostName, false);
    l.userName = readName(r, payload, kUserName, false);
    l.password = readName(r, payload, kPassword, true);
    l.appName = readName(r, payload, kAppName, false);
    l.serverName = readName(r, payload, kServerName, false);
    l.libraryName = readName(r, payload, kLibraryName, false);
    l.language = readName(r, payload, kLanguage, false);
    l.database = readName(r, payload, kDatabase, false);
    return l;
}

} // namespace tds
