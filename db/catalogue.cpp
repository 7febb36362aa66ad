#include "catalogue.h"

#include "record_set.h"

#include <QString>

namespace rowlark::db {

bool IsListedTable(std::string_view type, std::string_view name) {
    if (type != "TABLE") return false;
    return !QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))
                .toUpper()
                .contains("SYS");
}

void CatalogueTables(const std::string& connectionString, std::vector<std::string>& names,
                     int loginTimeout) {
    Connection connection;
    connection.setLoginTimeout(loginTimeout);
    connection.open(connectionString);
    RecordSet catalogue;
    catalogue.openTables(connection);
    while (!catalogue.eof()) {
        const Value& type = catalogue.value("TABLE_TYPE");
        const Value& name = catalogue.value("TABLE_NAME");
        if (type && name && IsListedTable(*type, *name)) names.push_back(*name);
        catalogue.moveNext();
    }
}

} // namespace rowlark::db
