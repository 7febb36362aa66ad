// The catalogue: the views of INFORMATION_SCHEMA and sys that a connection keeps, and the tables
// catalogue behind ODBC's SQLTables (the sp_tables procedure).
#include "engine.h"

#include "statement.h"
#include "text.h"

#include <algorithm>
#include <sqlite3.h>

namespace sandbox {
namespace {

// LIKE as the catalogue procedure applies it: % and _ wildcards, without regard to case.
bool like(const std::string& text, const std::string& pattern) {
    return sqlite3_strlike(pattern.c_str(), text.c_str(), 0) == 0;
}

struct CatalogRow {
    std::string owner, name, type;
};

tds::ColumnInfo column(const char* name, tds::TypeInfo type, bool nullable) {
    return {type, static_cast<std::uint16_t>(nullable ? tds::kFlagNullable : 0), tds::utf16(name)};
}

} // namespace

std::string catalogueViews(const std::string& database) {
    const std::string userObjects =
        " FROM main.sqlite_master m WHERE m.type IN ('table','view') AND m.name NOT LIKE "
        "'sqlite!_%' ESCAPE '!'";
    const std::string db = quoteString(database);
    return "CREATE TEMP VIEW \"information_schema.tables\" AS SELECT " + db +
           " AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, m.name COLLATE NOCASE AS TABLE_NAME, "
           "CASE m.type WHEN 'table' THEN 'BASE TABLE' ELSE 'VIEW' END AS TABLE_TYPE" +
           userObjects +
           ";"
           "CREATE TEMP VIEW \"information_schema.columns\" AS SELECT " +
           db +
           " AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, m.name COLLATE NOCASE AS TABLE_NAME, "
           "p.name COLLATE NOCASE AS COLUMN_NAME, p.cid + 1 AS ORDINAL_POSITION, "
           "CASE WHEN p.dflt_value LIKE 'rowlark!_identity(%' ESCAPE '!' THEN NULL ELSE "
           "p.dflt_value END AS COLUMN_DEFAULT, "
           "CASE WHEN p.\"notnull\" THEN 'NO' ELSE 'YES' END AS IS_NULLABLE, "
           "rowlark_type_name(p.type) AS DATA_TYPE, "
           "rowlark_char_length(p.type) AS CHARACTER_MAXIMUM_LENGTH, "
           "rowlark_precision(p.type) AS NUMERIC_PRECISION, rowlark_scale(p.type) AS "
           "NUMERIC_SCALE, rowlark_datetime_precision(p.type) AS DATETIME_PRECISION "
           "FROM main.sqlite_master m JOIN pragma_table_info(m.name) p "
           "WHERE m.type IN ('table','view') AND m.name NOT LIKE 'sqlite!_%' ESCAPE '!';"
           // The catalogue views of sys, with the columns clients read most.
           "CREATE TEMP VIEW \"sys.objects\" AS SELECT m.name COLLATE NOCASE AS name, "
           "rowlark_object_id(m.name) AS object_id, 1 AS schema_id, 0 AS parent_object_id, "
           "CASE m.type WHEN 'table' THEN 'U' ELSE 'V' END AS type, "
           "CASE m.type WHEN 'table' THEN 'USER_TABLE' ELSE 'VIEW' END AS type_desc, "
           "0 AS is_ms_shipped" +
           userObjects +
           ";"
           "CREATE TEMP VIEW \"sys.tables\" AS SELECT * FROM temp.\"sys.objects\" WHERE type = 'U';"
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
           "is_identity, 0 AS is_computed "
           "FROM main.sqlite_master m JOIN pragma_table_info(m.name) p "
           "WHERE m.type IN ('table','view') AND m.name NOT LIKE 'sqlite!_%' ESCAPE '!';";
}

void Engine::listTables(const TableFilter& f, ResultSink& sink) {
    std::vector<CatalogRow> rows;
    {
        Prepared st(*db_,
                    "SELECT name, type FROM main.sqlite_master WHERE type IN ('table','view') "
                    "AND name NOT LIKE 'sqlite!_%' ESCAPE '!'");
        while (st.step()) {
            std::string type = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1));
            rows.push_back({"dbo", reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)),
                            type == "table" ? "TABLE" : "VIEW"});
        }
    }
    rows.push_back({"INFORMATION_SCHEMA", "COLUMNS", "VIEW"});
    rows.push_back({"INFORMATION_SCHEMA", "TABLES", "VIEW"});

    std::vector<std::string> types;
    if (f.types) {
        std::string cur;
        for (char c : *f.types) {
            if (c == ',')
                types.push_back(std::string(trim(cur))), cur.clear();
            else if (c != '\'')
                cur.push_back(c);
        }
        types.push_back(std::string(trim(cur)));
    }
    auto keep = [&](const CatalogRow& r) {
        if (f.name && !like(r.name, *f.name)) return false;
        if (f.owner && !like(r.owner, *f.owner)) return false;
        if (f.qualifier && !like(database(), *f.qualifier)) return false;
        if (!types.empty() && std::none_of(types.begin(), types.end(), [&](const std::string& t) {
                return iequals(t, r.type);
            }))
            return false;
        return true;
    };
    std::erase_if(rows, [&](const CatalogRow& r) { return !keep(r); });
    std::sort(rows.begin(), rows.end(), [](const CatalogRow& a, const CatalogRow& b) {
        if (a.type != b.type) return a.type < b.type;
        if (!iequals(a.owner, b.owner)) return toLower(a.owner) < toLower(b.owner);
        return toLower(a.name) < toLower(b.name);
    });

    const tds::TypeInfo sysname{tds::kNVarChar, 256};
    sink.columns({column("TABLE_QUALIFIER", sysname, true), column("TABLE_OWNER", sysname, true),
                  column("TABLE_NAME", sysname, true),
                  column("TABLE_TYPE", {tds::kBigVarChar, 32}, true),
                  column("REMARKS", {tds::kBigVarChar, 254}, true)});
    std::vector<tds::Value> values(5);
    for (const auto& r : rows) {
        values[0] = tds::utf16(database());
        values[1] = tds::utf16(r.owner);
        values[2] = tds::utf16(r.name);
        values[3] = tds::utf16(r.type);
        values[4] = std::monostate{};
        if (!sink.row(values)) return;
    }
    sink.done(true, rows.size());
}

} // namespace sandbox
