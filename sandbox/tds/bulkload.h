// BULKLOADBCP: the rows of a bulk load (message type 7), which a client sends after the INSERT
// BULK statement: a COLMETADATA token, a ROW (or NBCROW) token for each row, a DONE token.
#pragma once

#include "colmetadata.h"
#include "row.h"

namespace tds {

struct BulkLoad {
    std::vector<ColumnInfo> columns;
    std::vector<std::vector<Value>> rows;

    // text, ntext and image columns carry their table's name, which is read and not kept.
    void encode(Writer& w, std::uint32_t version = kTds74) const;
    // Throws ProtocolError for a message that is not a bulk load's rows.
    static BulkLoad decode(const Bytes& payload, std::uint32_t version = kTds74);
};

} // namespace tds
