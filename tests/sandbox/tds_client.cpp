#include "tds_client.h"

namespace tds {

using namespace login7;

namespace {

// Reads a token whose body follows a two-byte length, and checks that the body read is as long.
template <class ReadBody> void withLength(Reader& r, const char* token, ReadBody readBody) {
    const std::size_t length = r.u16le();
    const std::size_t start = r.pos();
    readBody();
    if (r.pos() - start != length)
        throw ProtocolError(std::string(token) + " length does not match");
}

} // namespace

Done decodeDone(Reader& r, std::uint8_t token) {
    Done d;
    d.token = token;
    d.status = r.u16le();
    d.curCmd = r.u16le();
    d.rowCount = r.u64le();
    return d;
}

EnvChange decodeEnvChange(Reader& r) {
    EnvChange e;
    withLength(r, "environment change", [&] {
        e.type = r.u8();
        if (e.isText()) {
            e.newText = r.bVarchar();
            e.oldText = r.bVarchar();
        } else {
            e.newBytes = r.raw(r.u8());
            e.oldBytes = r.raw(r.u8());
        }
    });
    return e;
}

ServerMessage decodeServerMessage(Reader& r, bool isError) {
    ServerMessage m;
    m.isError = isError;
    withLength(r, "message token", [&] {
        m.number = static_cast<std::int32_t>(r.u32le());
        m.state = r.u8();
        m.severity = r.u8();
        m.text = r.usVarchar();
        m.server = r.bVarchar();
        m.procedure = r.bVarchar();
        m.line = static_cast<std::int32_t>(r.u32le());
    });
    return m;
}

LoginAck decodeLoginAck(Reader& r) {
    LoginAck a;
    withLength(r, "login acknowledgement", [&] {
        a.interface = r.u8();
        a.tdsVersion = r.u32be();
        a.programName = r.bVarchar();
        a.programVersion = r.u32be();
    });
    return a;
}

std::int32_t decodeReturnStatus(Reader& r) {
    return static_cast<std::int32_t>(r.u32le());
}

std::vector<ColumnInfo> decodeColMetadata(Reader& r) {
    std::uint16_t n = r.u16le();
    std::vector<ColumnInfo> columns;
    if (n == 0xFFFF) return columns;
    for (std::uint16_t i = 0; i < n; ++i) {
        ColumnInfo c;
        r.u32le();
        c.flags = r.u16le();
        c.type = decodeTypeInfo(r);
        c.name = r.bVarchar();
        columns.push_back(std::move(c));
    }
    return columns;
}

std::vector<Value> decodeRow(Reader& r, const std::vector<ColumnInfo>& columns) {
    std::vector<Value> row;
    row.reserve(columns.size());
    for (const auto& c : columns)
        row.push_back(decodeValue(r, c.type));
    return row;
}

Bytes encodeLogin7(const Login7& m) {
    struct Field {
        std::size_t slot;
        const std::u16string* text;
        bool scrambled;
    };
    const Field fields[] = {
        {kHostName, &m.hostName, false},     {kUserName, &m.userName, false},
        {kPassword, &m.password, true},      {kAppName, &m.appName, false},
        {kServerName, &m.serverName, false}, {kLibraryName, &m.libraryName, false},
        {kLanguage, &m.language, false},     {kDatabase, &m.database, false}};
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
    put32(4, m.tdsVersion);
    put32(8, m.packetSize);
    b[24] = m.optionFlags1;
    // Slots without a name of ours (extension, SSPI, attach file, new m.password) point at the end.
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

void encodeAllHeaders(Writer& w, std::uint64_t transaction) {
    w.u32le(22);
    w.u32le(18);
    w.u16le(2); // transaction descriptor
    w.u64le(transaction);
    w.u32le(1); // outstanding requests
}

Bytes encodeSqlBatch(const SqlBatch& m) {
    Writer w;
    encodeAllHeaders(w);
    w.ucs2(m.text);
    return std::move(w.bytes());
}

Bytes encodeRpc(const RpcRequest& m) {
    Writer w;
    encodeAllHeaders(w);
    if (m.procName.empty()) {
        w.u16le(0xFFFF);
        w.u16le(m.procId);
    } else {
        w.usVarchar(m.procName);
    }
    w.u16le(m.options);
    for (const auto& p : m.params) {
        w.bVarchar(p.name);
        w.u8(p.status);
        encodeTypeInfo(w, p.type);
        encodeValue(w, p.type, p.value);
    }
    return std::move(w.bytes());
}

Bytes encodeTransactionManager(const TransactionManager& m) {
    Writer w;
    encodeAllHeaders(w);
    w.u16le(m.request);
    auto name = [&w](const std::u16string& n) { // B_VARBYTE: the length counts bytes
        w.u8(static_cast<std::uint8_t>(n.size() * 2));
        for (char16_t c : n)
            w.u16le(c);
    };
    if (m.request == kTmBegin) {
        w.u8(0); // isolation level: unchanged
        name(m.name);
    } else {
        name(m.name);
        w.u8(m.beginAnother ? 1 : 0);
        if (m.beginAnother) {
            w.u8(0); // isolation unchanged
            name(m.newName);
        }
    }
    return std::move(w.bytes());
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

} // namespace tds
