#include "catalogue.h"

#include "db/catalogue.h"
#include "shell/background.h"

namespace rowlark::pages {

void ReadTables(QStringList& tables, const QString& connectionString) {
    const std::string cs = connectionString.toStdString();
    tables.clear();
    std::vector<std::string> names;
    std::exception_ptr failure;
    shell::RunInBackground([&] {
        try {
            db::CatalogueTables(cs, names);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    for (const auto& name : names)
        tables.append(QString::fromStdString(name));
    if (failure) std::rethrow_exception(failure);
}

} // namespace rowlark::pages
