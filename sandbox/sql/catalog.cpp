// The tables catalogue behind ODBC's SQLTables (the sp_tables procedure).
#include "engine.h"

#include "statement.h"
#include "text.h"

#include <algorithm>

namespace sandbox {
namespace {

// LIKE as the catalogue procedure applies it: % and _ wildcards, without regard to case.
bool like(std::string_view text, std::string_view pattern) {
    if (pattern.empty()) return text.empty();
    if (pattern[0] == '%') {
        for (std::size_t i = 0; i <= text.size(); ++i)
            if (like(text.substr(i), pattern.substr(1))) return true;
        return false;
    }
    if (text.empty()) return false;
    char a = text[0], b = pattern[0];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
    if (b != '_' && a != b) return false;
    return like(text.substr(1), pattern.substr(1));
}

struct CatalogRow {
    std::string owner, name, type;
};

tds::ColumnInfo column(const char* name, tds::TypeInfo type, bool nullable) {
    return {type, static_cast<std::uint16_t>(nullable ? tds::kFlagNullable : 0), tds::utf16(name)};
}

} // namespace

void Engine::listTables(const TableFilter& f, ResultSink& sink) {
    std::vector<CatalogRow> rows;
    {
        Prepared st(db_->handle(),
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
