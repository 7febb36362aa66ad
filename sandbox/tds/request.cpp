#include "request.h"

#include <algorithm>

namespace tds {
namespace {

// Skips ALL_HEADERS when the message carries it.
void skipAllHeaders(Reader& r) {
    if (r.remaining() < 4) return;
    const std::size_t start = r.pos();
    const std::uint32_t total = r.u32le();
    // A total that cannot be the headers' means there are none: the text starts at once.
    r.seek(total < 4 || total > r.remaining() + 4 ? start : start + total);
}

bool isBatchFlag(std::uint8_t b) {
    return b == 0xFF || b == 0xFE || b == 0x80;
}

// One call, up to the end of the message or the flag before the next.
RpcRequest readCall(Reader& r) {
    RpcRequest rpc;
    std::uint16_t n = r.u16le();
    if (n == 0xFFFF)
        rpc.procId = r.u16le();
    else
        rpc.procName = r.ucs2(n);
    rpc.options = r.u16le();
    RpcParam p;
    try {
        while (!r.atEnd() && !isBatchFlag(r.peek())) {
            p = RpcParam{};
            p.name = r.bVarchar();
            p.status = r.u8();
            p.type = decodeTypeInfo(r);
            p.value = decodeValue(r, p.type);
            rpc.params.push_back(std::move(p));
        }
    } catch (const ProtocolError& e) {
        // The call is still named, so it can be refused politely; what follows is unreadable.
        // A value past the message's end (tedious sends a binary(n) value shorter than n with
        // the length n) names the parameter, as a server's error does.
        if (!dynamic_cast<const UnknownType*>(&e))
            rpc.badLength = rpc.params.size() + 1, rpc.badName = p.name, rpc.badType = p.type.type;
        rpc.params.clear();
        rpc.paramsComplete = false;
        r.seek(r.pos() + r.remaining());
    }
    return rpc;
}

} // namespace

SqlBatch SqlBatch::decode(const Bytes& payload) {
    Reader r(payload);
    skipAllHeaders(r);
    if (r.remaining() % 2) throw ProtocolError("odd byte count in a batch text");
    return {r.ucs2(r.remaining() / 2)};
}

std::vector<RpcRequest> RpcRequest::decodeAll(const Bytes& payload) {
    Reader r(payload);
    skipAllHeaders(r);
    std::vector<RpcRequest> calls{readCall(r)};
    while (!r.atEnd() && isBatchFlag(r.u8()) && !r.atEnd())
        calls.push_back(readCall(r));
    return calls;
}

std::optional<std::string> RpcRequest::text(std::u16string_view name) const {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    const auto found = std::ranges::find_if(params, [&](const RpcParam& p) {
        return std::ranges::equal(p.name, name, {}, lower, lower);
    });
    const auto* s = found == params.end() ? nullptr : std::get_if<std::u16string>(&found->value);
    return s ? std::optional(utf8(*s)) : std::nullopt;
}

TransactionManager TransactionManager::decode(const Bytes& payload) {
    Reader r(payload);
    skipAllHeaders(r);
    TransactionManager tm;
    tm.request = r.u16le();
    // A transaction's name is a B_VARBYTE: its length counts bytes, not characters.
    auto name = [&r] {
        const std::size_t bytes = r.u8();
        if (bytes % 2) throw ProtocolError("a transaction name of an odd number of bytes");
        return r.ucs2(bytes / 2);
    };
    if (tm.request == kTmBegin && !r.atEnd()) {
        r.u8(); // the isolation level: the session's stays
        if (!r.atEnd()) tm.name = name();
    } else if ((tm.request == kTmCommit || tm.request == kTmRollback) && !r.atEnd()) {
        tm.name = name();
        if (!r.atEnd()) tm.beginAnother = (r.u8() & 1) != 0;
        if (tm.beginAnother && !r.atEnd()) {
            r.u8();
            if (!r.atEnd()) tm.newName = name();
        }
    }
    return tm;
}

} // namespace tds
