// Client requests after login: SQL batch, RPC and transaction manager, each behind ALL_HEADERS.
#pragma once

#include "row.h"

#include <optional>

namespace tds {

struct SqlBatch {
    std::u16string text;
    static SqlBatch decode(const Bytes& payload);
};

struct RpcParam {
    std::u16string name;
    std::uint8_t status = 0;
    TypeInfo type;
    Value value;
};

struct RpcRequest {
    std::u16string procName; // empty when the call names a procedure by id
    std::uint16_t procId = 0;
    std::uint16_t options = 0;
    std::vector<RpcParam> params;
    bool paramsComplete = true; // false when a parameter had a type this side cannot read
    // A parameter whose value runs past the message's end: its place (from 1), name and type.
    std::size_t badLength = 0;
    std::u16string badName;
    std::uint8_t badType = 0;

    // Every call of a message: calls after the first follow a batch flag (0xFF, before TDS 7.2
    // 0x80; 0xFE asks for no execution and is read as one).
    static std::vector<RpcRequest> decodeAll(const Bytes& payload);
    // The parameter's text in UTF-8, when it was sent; names compare without regard to case.
    std::optional<std::string> text(std::u16string_view name) const;
};

enum TransactionRequest : std::uint16_t {
    kTmBegin = 5,
    kTmCommit = 7,
    kTmRollback = 8,
};

struct TransactionManager {
    std::uint16_t request = kTmBegin;
    bool beginAnother = false; // commit or roll back, then open a new transaction at once
    std::u16string name;       // the transaction's name, when the client gave one
    std::u16string newName;    // the name of the one begun at once
    static TransactionManager decode(const Bytes& payload);
};

} // namespace tds
