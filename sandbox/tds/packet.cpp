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

// The fields in the order they are read: a braced list is evaluated left to right.
PacketHeader PacketHeader::decode(Reader& r) {
    return {r.u8(), r.u8(), r.u16be(), r.u16be(), r.u8(), r.u8()};
}

void PacketWriter::send(std::uint8_t status, const std::uint8_t* data, std::size_t n) {
    packet_.clear();
    PacketHeader{type_, status, static_cast<std::uint16_t>(n + kHeaderSize), spid_, packetId_++, 0}
        .encode(packet_);
    packet_.raw(data, n);
    sink_(packet_.bytes().data(), packet_.size());
}

bool PacketWriter::flushFull() {
    const std::size_t room = packetSize_ - kHeaderSize;
    std::size_t at = 0;
    while (body_.size() - at >= room) {
        send(0, body_.bytes().data() + at, room);
        at += room;
    }
    if (at == 0) return false;
    body_.bytes().erase(body_.bytes().begin(),
                        body_.bytes().begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}

void PacketWriter::endMessage() {
    flushFull();
    send(kStatusEom, body_.bytes().data(), body_.size());
    body_.clear();
    packetId_ = 1;
}

bool MessageReader::next(Message& out) {
    out.payload.clear();
    out.oversized = false;
    for (bool first = true;; first = false) {
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
