#include "bulkload.h"

#include "done.h"
#include "tokens.h"

namespace tds {

void BulkLoad::encode(Writer& w, std::uint32_t version) const {
    encodeColMetadata(w, columns, version, u"t");
    for (const auto& row : rows)
        encodeRow(w, columns, row);
    Done{}.encode(w, version);
}

BulkLoad BulkLoad::decode(const Bytes& payload, std::uint32_t version) {
    Reader r(payload);
    BulkLoad b;
    if (r.u8() != kTokColMetadata) throw ProtocolError("bulk load without COLMETADATA");
    const std::uint16_t n = r.u16le();
    if (n == 0 || n == 0xFFFF) throw ProtocolError("bulk load without columns");
    for (std::uint16_t i = 0; i < n; ++i) {
        ColumnInfo c;
        skipUserType(r, version);
        c.flags = r.u16le();
        c.type = decodeTypeInfo(r);
        if (c.type.isLongText()) {
            const std::uint8_t parts = version >= kTds72 ? r.u8() : 1;
            for (std::uint8_t k = 0; k < parts; ++k)
                r.usVarchar();
        }
        c.name = r.bVarchar();
        b.columns.push_back(std::move(c));
    }
    // The rows end with a DONE token, or (as FreeTDS's bulk copy sends them) with the message.
    for (std::uint8_t token; !r.atEnd() && (token = r.u8()) != kTokDone;) {
        std::vector<Value> row;
        row.reserve(n);
        if (token == kTokRow) {
            for (const auto& c : b.columns)
                row.push_back(decodeRowValue(r, c.type));
        } else if (token == kTokNbcRow) {
            // A bitmap of the NULL values first; only the others follow.
            const Bytes nulls = r.raw((n + 7) / 8);
            for (std::size_t i = 0; i < n; ++i)
                row.push_back(nulls[i / 8] & (1u << (i % 8))
                                  ? Value{}
                                  : decodeRowValue(r, b.columns[i].type));
        } else {
            throw ProtocolError("unexpected token in a bulk load");
        }
        b.rows.push_back(std::move(row));
    }
    return b;
}

} // namespace tds
