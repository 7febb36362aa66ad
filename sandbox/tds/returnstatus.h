// RETURNSTATUS: the return value of a stored procedure.
#pragma once

#include "wire.h"

namespace tds {

void encodeReturnStatus(Writer& w, std::int32_t status);

} // namespace tds
