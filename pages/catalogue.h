// Fills a list with the user tables of the profile's database.
#pragma once

#include <QListWidget>
#include <QString>

namespace rowlark::pages {

// The list is cleared, then filled in the catalogue's order, unsorted; after a failure (the
// connection, the catalogue) it holds the names read before it, and the failure is thrown.
void ListTables(QListWidget& list, const QString& connectionString);

} // namespace rowlark::pages
