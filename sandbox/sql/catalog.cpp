// The catalogue: the views of INFORMATION_SCHEMA and sys that a connection keeps, and the tables
// catalogue behind ODBC's SQLTables (the sp_tables procedure).
#include "engine.h"

#include "text.h"

#include <algorithm>

namespace sandbox {
std::string catalogueViews(const std::string& database) {
    const std::string users = " WHERE m.type IN ('table','view') AND m.name NOT LIKE 'sqlite!_%' "
                              "ESCAPE '!'";
    const std::string userObjects = " FROM main.sqlite_master m" + users;
    const std::string userColumns =
        " FROM main.sqlite_master m JOIN pragma_table_info(m.name) p" + users;
    const std::string db = quoteString(database);
    return "CREATE TEMP VIEW \"information_schema.tables\" AS SELECT " + db +
           " AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, m.name COLLATE NOCASE AS TABLE_NAME, "
           "CASE m.type WHEN 'table' THEN 'BASE TABLE' ELSE 'VIEW' END AS TABLE_TYPE" +
           userObjects + ";CREATE TEMP VIEW \"information_schema.columns\" AS SELECT " + db +
           " AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, m.name COLLATE NOCASE AS TABLE_NAME, "
           "p.name COLLATE NOCASE AS COLUMN_NAME, p.cid + 1 AS ORDINAL_POSITION, "
           "CASE WHEN p.dflt_value LIKE 'rowlark!_identity(%' ESCAPE '!' THEN NULL ELSE "
           "p.dflt_value END AS COLUMN_DEFAULT, "
           "CASE WHEN p.\"notnull\" THEN 'NO' ELSE 'YES' END AS IS_NULLABLE, "
           "rowlark_type_name(p.type) AS DATA_TYPE, "
           "rowlark_char_length(p.type) AS CHARACTER_MAXIMUM_LENGTH, "
           "rowlark_precision(p.type) AS NUMERIC_PRECISION, rowlark_scale(p.type) AS "
           "NUMERIC_SCALE, rowlark_datetime_precision(p.type) AS DATETIME_PRECISION" +
           userColumns +
           // The catalogue views of sys, with the columns clients read most.
           ";CREATE TEMP VIEW \"sys.objects\" AS SELECT m.name COLLATE NOCASE AS name, "
           "rowlark_object_id(m.name) AS object_id, 1 AS schema_id, 0 AS parent_object_id, "
           "CASE m.type WHEN 'table' THEN 'U' ELSE 'V' END AS type, "
           "CASE m.type WHEN 'table' THEN 'USER_TABLE' ELSE 'VIEW' END AS type_desc, "
           "0 AS is_ms_shipped" +
           userObjects +
           ";CREATE TEMP VIEW \"sys.tables\" AS SELECT * FROM temp.\"sys.objects\" WHERE type = "
           "'U';"
           // The compatibility views that older scripts read (IF EXISTS (SELECT * FROM sysobjects
           // WHERE ...)): objects, their columns, the users.
           "CREATE TEMP VIEW \"sys.sysobjects\" AS SELECT name, object_id AS id, type AS xtype, "
           "type, 1 AS uid, 0 AS parent_obj FROM temp.\"sys.objects\";"
           "CREATE TEMP VIEW \"sys.syscolumns\" AS SELECT name, object_id AS id, column_id AS "
           "colid, system_type_id AS xtype, max_length AS length, is_nullable AS isnullable FROM "
           "temp.\"sys.columns\";"
           "CREATE TEMP VIEW \"sys.sysusers\" AS SELECT 0 AS uid, 'public' AS name UNION ALL "
           "SELECT 1, 'dbo' UNION ALL SELECT 2, 'guest';"
           "CREATE TEMP VIEW \"sys.views\" AS SELECT * FROM temp.\"sys.objects\" WHERE type = 'V';"
           "CREATE TEMP VIEW \"sys.columns\" AS SELECT rowlark_object_id(m.name) AS object_id, "
           "p.name COLLATE NOCASE AS name, p.cid + 1 AS column_id, "
           "rowlark_system_type_id(p.type) AS system_type_id, "
           "rowlark_system_type_id(p.type) AS user_type_id, rowlark_max_length(p.type) AS "
           "max_length, coalesce(rowlark_precision(p.type), 0) AS precision, "
           "coalesce(rowlark_scale(p.type), rowlark_datetime_precision(p.type), 0) AS scale, "
           "CASE WHEN p.\"notnull\" THEN 0 ELSE 1 END AS is_nullable, "
           "CASE WHEN p.dflt_value LIKE 'rowlark!_identity(%' ESCAPE '!' THEN 1 ELSE 0 END AS "
           "is_identity, 0 AS is_computed" +
           userColumns + ";";
}

// The catalogue as a query of the sys views: each filter a LIKE pattern, the types a list such
// as 'TABLE','VIEW'; rows by type, then owner, then name, without regard to case.
void Engine::listTables(const TableFilter& f, ResultSink& sink) {
    const auto like = [](const char* what, const std::optional<std::string>& pattern) {
        return pattern ? std::string(" AND ") + what + " LIKE N" + quoteString(*pattern) : "";
    };
    std::string types;
    for (std::size_t at = 0; f.types && at <= f.types->size();) {
        const std::size_t comma = std::min(f.types->find(',', at), f.types->size());
        std::string type = f.types->substr(at, comma - at);
        std::erase(type, '\'');
        types += (types.empty() ? "" : ", ") + quoteString(std::string(trim(type)));
        at = comma + 1;
    }
    const std::string sql =
        "SELECT CAST(DB_NAME() AS nvarchar(128)) AS TABLE_QUALIFIER, CAST(o AS nvarchar(128)) AS "
        "TABLE_OWNER, CAST(n AS nvarchar(128)) AS TABLE_NAME, CAST(k AS varchar(32)) AS "
        "TABLE_TYPE, CAST(NULL AS varchar(254)) AS REMARKS FROM (SELECT 'dbo' AS o, name AS n, "
        "CASE type WHEN 'U' THEN 'TABLE' ELSE 'VIEW' END AS k FROM sys.objects UNION ALL SELECT "
        "'INFORMATION_SCHEMA', 'COLUMNS', 'VIEW' UNION ALL SELECT 'INFORMATION_SCHEMA', 'TABLES', "
        "'VIEW') c WHERE 1 = 1" +
        like("n", f.name) + like("o", f.owner) + like("DB_NAME()", f.qualifier) +
        (f.types ? " AND k IN (" + types + ")" : "") + " ORDER BY k, o, n";
    try {
        statement([&] { selectStatement(tokenize(sql), sink); });
    } catch (const Cancelled&) {
    }
}

} // namespace sandbox
