// The server's rules for the types of expressions: data type precedence, the types of literals,
// arithmetic, concatenation and the result of CASE and its kin.
#pragma once

#include "ast.h"
#include "error.h"

namespace sandbox {

// The server's 8117: "Operand data type bit is invalid for minus operator."
inline SqlError invalidOperand(const SqlType& t, const std::string& op) {
    return {8117, 16, 1,
            "Operand data type " + t.tsqlName() + " is invalid for " + op + " operator.", true};
}

// Whether the expression has a type of its own: known, and not NULL itself.
inline bool typed(const ExprType& t) {
    return t.known && !t.nullLiteral;
}

// A type the binder knows.
inline ExprType known(SqlType t, Collation c = {}) {
    return {t, true, false, c};
}

// 42 is int, 3000000000 numeric(10,0), 1.50 numeric(3,2), 1e3 float, 'ab' varchar(2),
// N'ab' nvarchar(2), 0x0102 varbinary(2), NULL a NULL.
ExprType literalType(const Token& t);

// The type both sides of a comparison, of CASE's branches or of a UNION's columns take.
// Throws SqlError 206 where the server allows no implicit conversion.
SqlType common(const SqlType& a, const SqlType& b);

// + - * / % of two values of the type common() gives; character and binary + joins.
SqlType arithmetic(const std::string& op, const SqlType& a, const SqlType& b);

// Whether a value of type from must pass through a conversion in the store to be one of type to.
bool needsConversion(const SqlType& from, const SqlType& to);

// Whether a value of the type may be converted to the other at all without CAST (206 if not).
void checkImplicit(const SqlType& from, const SqlType& to);

} // namespace sandbox
