// TDS packet framing: the 8-byte header, splitting a message into packets and joining them again.
#pragma once

#include "wire.h"

#include <functional>

namespace tds {

enum PacketType : std::uint8_t {
    kSqlBatch = 0x01,
    kRpc = 0x03,
    kReply = 0x04,
    kAttention = 0x06,
    kBulkLoad = 0x07,
    kTransactionManager = 0x0E,
    kLogin7 = 0x10,
    kPrelogin = 0x12,
};

constexpr std::size_t kHeaderSize = 8;
constexpr std::uint8_t kStatusEom = 0x01;

struct PacketHeader {
    std::uint8_t type = 0;
    std::uint8_t status = 0;
    std::uint16_t length = 0; // header included
    std::uint16_t spid = 0;
    std::uint8_t packetId = 0;
    std::uint8_t window = 0;

    void encode(Writer& w) const;
    static PacketHeader decode(Reader& r);
};

struct Message {
    std::uint8_t type = 0;
    Bytes payload;
    // Past kMaxMessage the rest is read and let go: the payload is empty and this is set, so the
    // server can answer with an error instead of closing the connection.
    bool oversized = false;
};

// The largest message the server takes: 64 MiB.
inline constexpr std::size_t kMaxMessage = std::size_t{64} << 20;

// Frames messages as they are written, the way the server sends its replies: each packet that
// fills goes out at once at the full packet size, the message's last packet (perhaps only its
// header) carries end-of-message, and packet numbers count 1, 2, ... (wrapping past 255) within
// each message.
class PacketWriter {
public:
    using Sink = std::function<void(const std::uint8_t* data, std::size_t n)>;
    PacketWriter(std::uint8_t type, std::uint16_t spid, Sink sink)
        : type_(type), spid_(spid), sink_(std::move(sink)) {}

    void setPacketSize(std::size_t n) { packetSize_ = n; }
    std::size_t packetSize() const { return packetSize_; }
    // The message being written; what was sent already is gone from it.
    Writer& body() { return body_; }
    // Sends every full packet the body holds; true when one was sent.
    bool flushFull();
    // Sends the rest as the message's last packet and starts the next message.
    void endMessage();

private:
    void send(std::uint8_t status, const std::uint8_t* data, std::size_t n);
    std::uint8_t type_;
    std::uint16_t spid_;
    Sink sink_;
    std::size_t packetSize_ = 4096;
    std::uint8_t packetId_ = 1;
    Writer body_;
    Writer packet_;
};

// Joins packets read from a source into messages. The source fills exactly n bytes or returns false
// at end of stream. A packet whose type changes within one message, or whose length is smaller than
// its header or larger than the negotiated size, is a protocol error.
class MessageReader {
public:
    using Source = std::function<bool(std::uint8_t* into, std::size_t n)>;
    explicit MessageReader(Source source) : source_(std::move(source)) {}

    void setMaxPacketSize(std::size_t n) { maxPacket_ = n; }
    // False at a clean end of stream before a new message begins.
    bool next(Message& out);

private:
    Source source_;
    std::size_t maxPacket_ = 32767;
};

} // namespace tds
