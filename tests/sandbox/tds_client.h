// The client's half of the protocol, which the sandbox itself never needs: the requests a client
// encodes and the server's tokens it decodes. The tests speak to the server with it.
#pragma once

#include "tds/colmetadata.h"
#include "tds/done.h"
#include "tds/envchange.h"
#include "tds/login7.h"
#include "tds/loginack.h"
#include "tds/message.h"
#include "tds/packet.h"
#include "tds/request.h"
#include "tds/returnstatus.h"
#include "tds/row.h"

namespace tds {

// Splits a payload into packets of at most packetSize bytes each, the last one marked end of
// message.
std::vector<Bytes> splitMessage(std::uint8_t type, const Bytes& payload, std::size_t packetSize,
                                std::uint16_t spid);

// ALL_HEADERS with the one transaction descriptor header that TDS 7.2 and later require.
void encodeAllHeaders(Writer& w, std::uint64_t transaction = 0);
Bytes encodeLogin7(const Login7& login);
Bytes encodeSqlBatch(const SqlBatch& batch);
Bytes encodeRpc(const RpcRequest& rpc);
Bytes encodeTransactionManager(const TransactionManager& request);

// Each reads after the token byte.
Done decodeDone(Reader& r, std::uint8_t token);
EnvChange decodeEnvChange(Reader& r);
ServerMessage decodeServerMessage(Reader& r, bool isError);
LoginAck decodeLoginAck(Reader& r);
std::int32_t decodeReturnStatus(Reader& r);
std::vector<ColumnInfo> decodeColMetadata(Reader& r);
std::vector<Value> decodeRow(Reader& r, const std::vector<ColumnInfo>& columns);

} // namespace tds
