// Fuzz target: whatever bytes arrive, the sandbox's protocol and SQL code fails cleanly.
#include "sql/ast.h"
#include "sql/error.h"
#include "sql/lexer.h"
#include "tds/bulkload.h"
#include "tds/login7.h"
#include "tds/packet.h"
#include "tds/prelogin.h"
#include "tds/request.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    tds::MessageReader reader([&](std::uint8_t* into, std::size_t n) {
        if (size - at < n) return false;
        std::memcpy(into, data + at, n);
        at += n;
        return true;
    });
    reader.setMaxPacketSize(4096);
    try {
        tds::Message m;
        while (reader.next(m)) {
            try {
                switch (m.type % 5) {
                case 0:
                    tds::Prelogin::decode(m.payload);
                    break;
                case 1:
                    tds::Login7::decode(m.payload);
                    break;
                case 2:
                    tds::RpcRequest::decodeAll(m.payload);
                    break;
                case 3:
                    tds::BulkLoad::decode(m.payload, m.type & 1 ? tds::kTds71 : tds::kTds74);
                    break;
                default: {
                    auto text = tds::utf8(tds::SqlBatch::decode(m.payload).text);
                    auto tokens = sandbox::tokenize(text);
                    // each statement as a query, parsed into the tree (most are refused)
                    for (const auto& s : sandbox::splitStatements(tokens))
                        sandbox::Parser(s.tokens.begin(), s.tokens.end()).query();
                }
                }
            } catch (const tds::ProtocolError&) {
            } catch (const sandbox::LexError&) {
            } catch (const sandbox::SqlError&) {
            } catch (const std::invalid_argument&) {
            }
        }
    } catch (const tds::ProtocolError&) {
    }
    return 0;
}
