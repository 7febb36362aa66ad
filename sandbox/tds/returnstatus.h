// RETURNSTATUS: the return value of a stored procedure.
#pragma once

#include "wire.h"

namespace tds {

void encodeReturnStatus(Writer& w, std::int32_t status);
// Reads after the token byte.
std::int32_t decodeReturnStatus(Reader& r);

} // namespace tds
