#include "catalogue.h"

#include "db/catalogue.h"
#include "shell/background.h"

namespace rowlark::pages {

void ListTables(QListWidget& list, const QString& connectionString) {
    const std::string cs = connectionString.toStdString();
    const auto names = shell::RunInBackground([&] { return db::CatalogueTables(cs); });
    list.clear();
    for (const auto& name : names)
        list.addItem(QString::fromStdString(name));
}

} // namespace rowlark::pages
