#include "packet.h"

namespace tds {

void PacketHeader::encode(Writer& w) const {
    w.u8(type);
    w.u8(status);
    w.u16be(length);
    w.u16be(spid);
    w.u8(packetId);
    w.u8(window);
}

PacketHeader PacketHeader::decode(Reader& r) {
    PacketHeader h;
    h.type = r.u8();
    h.status = r.u8();
    h.length = r.u16be();
    h.spid = r.u16be();
    h.packetId = r.u8();
    h.window = r.u8();
    return h;
}

std::vector<Bytes> splitMessage(std::uint8_t type, const Bytes& payload, std::size_t packetSize,
                                std::uint16_t spid) {
    std::vector<Bytes> packets;
    const std::size_t room = packetSize - kHeaderSize;
    std::size_t at = 0;
    std::uint8_t id = 1;
    do {
        std::size_t n = std::min(room, payload.size() - at);
        bool last = at + n == payload.size();
        Writer w;
        PacketHeader h{type,
                       static_cast<std::uint8_t>(last ? kStatusEom : 0),
                       static_cast<std::uint16_t>(n + kHeaderSize),
                       spid,
                       id++,
                       0};
        h.encode(w);
        w.raw(payload.data() + at, n);
        packets.push_back(std::move(w.bytes()));
        at += n;
    } while (at < payload.size());
    return packets;
}

bool MessageReader::next(Message& out) {
    out.payload.clear();
    out.oversized = false;
    bool first = true;
    for (;;) {
        std::uint8_t head[kHeaderSize];
        if (!source_(head, kHeaderSize)) {
            if (first) return false;
            throw ProtocolError("connection closed inside a message");
        }
        Reader r(head, kHeaderSize);
        PacketHeader h = PacketHeader::decode(r);
        if (h.length < kHeaderSize || h.length > maxPacket_)
            throw ProtocolError("packet length out of range");
        if (first)
            out.type = h.type;
        else if (h.type != out.type)
            throw ProtocolError("packet type changed inside a message");
        first = false;
        std::size_t n = h.length - kHeaderSize;
        std::size_t at = out.payload.size();
        out.payload.resize(at + n);
        if (n && !source_(out.payload.data() + at, n))
            throw ProtocolError("connection closed inside a packet");
        if (out.oversized || out.payload.size() > kMaxMessage) {
            out.oversized = true;
            out.payload.clear(); // the rest of the message is read and let go
        }
        if (h.status & kStatusEom) return true;
    }
}

} // namespace tds
