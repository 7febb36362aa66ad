#include "login7.h"

namespace tds {
namespace {

constexpr std::size_t kFixedSize = 94;

// Offsets of the (offset, length) pairs in the fixed part, in the order of Login7's names.
constexpr std::size_t kHostName = 36, kUserName = 40, kPassword = 44, kAppName = 48,
                      kServerName = 52, kLibraryName = 60, kLanguage = 64, kDatabase = 68;

std::u16string readName(Reader& r, const Bytes& payload, std::size_t at, bool scrambled) {
    r.seek(at);
    std::uint16_t offset = r.u16le();
    std::uint16_t chars = r.u16le();
    if (std::size_t(offset) + chars * 2u > payload.size())
        throw ProtocolError("login field outside the message");
    Bytes raw(payload.begin() + offset, payload.begin() + offset + chars * 2);
    if (scrambled) unscramblePassword(raw);
    Reader s(raw);
    return s.ucs2(chars);
}

} // namespace

void scramblePassword(Bytes& b) {
    for (auto& c : b)
        c = static_cast<std::uint8_t>(((c << 4) | (c >> 4)) ^ 0xA5);
}

void unscramblePassword(Bytes& b) {
    for (auto& c : b) {
        std::uint8_t x = c ^ 0xA5;
        c = static_cast<std::uint8_t>((x << 4) | (x >> 4));
    }
}

Bytes Login7::encode() const {
    struct Field {
        std::size_t slot;
        const std::u16string* text;
        bool scrambled;
    };
    const Field fields[] = {{kHostName, &hostName, false},     {kUserName, &userName, false},
                            {kPassword, &password, true},      {kAppName, &appName, false},
                            {kServerName, &serverName, false}, {kLibraryName, &libraryName, false},
                            {kLanguage, &language, false},     {kDatabase, &database, false}};
    Writer w;
    w.bytes().resize(kFixedSize, 0);
    Writer data;
    std::vector<std::pair<std::size_t, std::pair<std::uint16_t, std::uint16_t>>> slots;
    for (const auto& f : fields) {
        std::size_t offset = kFixedSize + data.size();
        Writer one;
        one.ucs2(*f.text);
        if (f.scrambled) scramblePassword(one.bytes());
        data.raw(one.bytes());
        slots.push_back(
            {f.slot,
             {static_cast<std::uint16_t>(offset), static_cast<std::uint16_t>(f.text->size())}});
    }
    Bytes& b = w.bytes();
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = (v >> (8 * i)) & 0xff;
    };
    auto put16 = [&](std::size_t at, std::uint16_t v) {
        b[at] = v & 0xff;
        b[at + 1] = v >> 8;
    };
    put32(0, static_cast<std::uint32_t>(kFixedSize + data.size()));
    put32(4, tdsVersion);
    put32(8, packetSize);
    b[24] = optionFlags1;
    // Slots without a name of ours (extension, SSPI, attach file, new password) point at the end.
    const auto end = static_cast<std::uint16_t>(kFixedSize + data.size());
    for (std::size_t at : {56u, 78u, 82u, 86u})
        put16(at, end);
    for (const auto& [slot, v] : slots) {
        put16(slot, v.first);
        put16(slot + 2, v.second);
    }
    w.raw(data.bytes());
    return std::move(w.bytes());
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
