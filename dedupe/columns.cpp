#include "columns.h"

#include "keys.h"
#include "sql_text.h"

#include "db/statement.h"

namespace rowlark::dedupe {

std::vector<std::string> ReadColumnNames(db::Connection& connection, const std::string& table) {
    db::Statement st(connection);
    st.execute(columnNamesQuery(table));
    std::vector<std::string> names;
    std::vector<db::Value> row;
    while (st.fetch(row))
        names.push_back(NullToValue(row.at(0), ""));
    return names;
}

} // namespace rowlark::dedupe
