// sp_executesql: the statement's parameters put into its text as literals, so the engine runs a
// plain batch.
#pragma once

#include "tds/request.h"

#include <string>

namespace sandbox {

// Each @name in the statement (outside strings, quoted names and comments) that names one of the
// parameters becomes that parameter's value as a T-SQL literal; other @names stay.
std::string bindParameters(std::u16string_view statement, const std::vector<tds::RpcParam>& params);

// The value as a literal of its type: NULL, 42, 1.5E+00, N'it''s', 0x0A0B, '2024-02-29 ...'.
std::string literal(const tds::RpcParam& param);

} // namespace sandbox
