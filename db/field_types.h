// Field type codes and attribute flags as the wizard's job reads them (ADO's numbering).
#pragma once

#include "statement.h"

namespace rowlark::db {

enum FieldType : int {
    kAdSmallInt = 2,
    kAdInteger = 3,
    kAdSingle = 4,
    kAdDouble = 5,
    kAdCurrency = 6,
    kAdBoolean = 11,
    kAdTinyInt = 16,
    kAdUnsignedTinyInt = 17,
    kAdBigInt = 20,
    kAdGuid = 72,
    kAdBinary = 128,
    kAdChar = 129,
    kAdWChar = 130,
    kAdNumeric = 131,
    kAdDbDate = 133,
    kAdDbTime = 134,
    kAdDbTimeStamp = 135,
    kAdVarChar = 200,
    kAdLongVarChar = 201,
    kAdVarWChar = 202,
    kAdLongVarWChar = 203,
    kAdVarBinary = 204,
    kAdLongVarBinary = 205,
};

enum FieldAttribute : int {
    kAdFldUpdatable = 0x4,
    kAdFldFixed = 0x10,
    kAdFldIsNullable = 0x20,
    kAdFldMayBeNull = 0x40,
    kAdFldLong = 0x80,
};

int fieldType(const ColumnMeta& column);
// Fixed for fixed-length types, updatable, nullable, long: an identity int column is exactly
// kAdFldFixed.
int fieldAttributes(const ColumnMeta& column);

} // namespace rowlark::db
