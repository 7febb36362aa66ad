// What statements share besides the tree: the object a name stands for, the batch's variables.
#pragma once

#include "error.h"
#include "lexer.h"
#include "types.h"

#include <map>

namespace sandbox {

// The object's own name from the parts of a name such as Demo.dbo.t (only dbo is a schema; an
// empty part is dbo). Throws SqlError for a schema other than dbo or another database.
std::string objectName(std::vector<std::string> parts, const std::string& database);

inline bool isUserVariable(const Token& t) { // @v, not @@ROWCOUNT
    return t.kind == Token::Variable && t.text.rfind("@@", 0) != 0;
}

// A variable of the batch (DECLARE, or a parameter of sp_executesql or a prepared statement):
// its declared type and its value, held as a value of that type is sent.
struct Variable {
    SqlType type;
    tds::Value value;
};
using Variables = std::map<std::string, Variable>; // by lower-case name with its @

} // namespace sandbox
