#include "columns.h"

#include "keys.h"
#include "sql_text.h"

#include "db/statement.h"

#include <QString>

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

std::vector<std::string> ReadTableNames(db::Connection& connection) {
    db::Statement st(connection);
    st.execute(tableNamesQuery());
    std::vector<std::string> names;
    std::vector<db::Value> row;
    while (st.fetch(row))
        names.push_back(NullToValue(row.at(0), ""));
    return names;
}

Resolved ResolveName(const std::vector<std::string>& names, const std::string& typed) {
    const QString want = QString::fromStdString(typed).normalized(QString::NormalizationForm_C);
    Resolved exact, folded;
    for (const auto& n : names) {
        const QString have = QString::fromStdString(n).normalized(QString::NormalizationForm_C);
        if (have == want)
            exact.matches.push_back(n);
        else if (have.compare(want, Qt::CaseInsensitive) == 0)
            folded.matches.push_back(n);
    }
    return exact.matches.empty() ? folded : exact;
}

} // namespace rowlark::dedupe
