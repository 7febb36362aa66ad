// The parameters of sp_executesql and of prepared statements: declared in text ("@a int, @b
// nvarchar(10) OUTPUT"), their values sent typed; the batch reads them as variables.
#pragma once

#include "sql/reading.h"
#include "tds/request.h"

#include <string>

namespace sandbox {

struct Declaration {
    std::string name; // with its @, as written
    SqlType type;
    bool output = false;
};

// Throws SqlError for declarations that do not read as T-SQL's.
std::vector<Declaration> parseDeclarations(std::u16string_view declarations);

// The values named as the declarations name them: a value sent without a name (as sp_execute
// sends them) takes the name declared at its place; a named one keeps its own.
std::vector<tds::RpcParam> namedByDeclaration(const std::vector<Declaration>& declarations,
                                              std::vector<tds::RpcParam> values);

// The batch's variables: each declared parameter with the value sent for it, in the declared
// type; a value sent without a declaration keeps its own type. A declared parameter that no
// value names is the server's error 8178.
Variables parameterVariables(const std::vector<Declaration>& declarations,
                             const std::vector<tds::RpcParam>& values);

} // namespace sandbox
