#include "field_types.h"

namespace rowlark::db {

// SQL Server's time(n), which the driver reports with a type of its own.
constexpr SQLSMALLINT kSqlServerTime = -154;

// varchar(max) and its kin: the driver names them as variable-length types of no fixed size.
bool isMax(const ColumnMeta& c) {
    return (c.sqlType == SQL_VARCHAR || c.sqlType == SQL_WVARCHAR || c.sqlType == SQL_VARBINARY) &&
           (c.size == 0 || c.size > 8000);
}

int fieldType(const ColumnMeta& c) {
    if (isMax(c))
        return c.sqlType == SQL_VARCHAR    ? kAdLongVarChar
               : c.sqlType == SQL_WVARCHAR ? kAdLongVarWChar
                                           : kAdLongVarBinary;
    switch (c.sqlType) {
    case SQL_SMALLINT:
        return kAdSmallInt;
    case SQL_INTEGER:
        return kAdInteger;
    case SQL_REAL:
        return kAdSingle;
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return kAdDouble;
    case SQL_BIT:
        return kAdBoolean;
    case SQL_TINYINT:
        return kAdUnsignedTinyInt;
    case SQL_BIGINT:
        return kAdBigInt;
    case SQL_GUID:
        return kAdGuid;
    case SQL_BINARY:
        return kAdBinary;
    case SQL_CHAR:
        return kAdChar;
    case SQL_WCHAR:
        return kAdWChar;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return kAdNumeric;
    case SQL_TYPE_DATE:
        return kAdDbDate;
    case SQL_TYPE_TIME:
    case kSqlServerTime:
        return kAdDbTime;
    case SQL_TYPE_TIMESTAMP:
        return kAdDbTimeStamp;
    case SQL_VARCHAR:
        return kAdVarChar;
    case SQL_LONGVARCHAR:
        return kAdLongVarChar;
    case SQL_WVARCHAR:
        return kAdVarWChar;
    case SQL_WLONGVARCHAR:
        return kAdLongVarWChar;
    case SQL_VARBINARY:
        return kAdVarBinary;
    case SQL_LONGVARBINARY:
        return kAdLongVarBinary;
    default:
        return kAdVarWChar;
    }
}

int fieldAttributes(const ColumnMeta& c) {
    int a = 0;
    if (isMax(c))
        a |= kAdFldLong;
    else
        switch (c.sqlType) {
        case SQL_VARCHAR:
        case SQL_WVARCHAR:
        case SQL_VARBINARY:
            break;
        case SQL_LONGVARCHAR:
        case SQL_WLONGVARCHAR:
        case SQL_LONGVARBINARY:
            a |= kAdFldLong;
            break;
        default:
            a |= kAdFldFixed;
        }
    if (c.updatable) a |= kAdFldUpdatable;
    if (c.nullable) a |= kAdFldIsNullable | kAdFldMayBeNull;
    return a;
}

} // namespace rowlark::db
