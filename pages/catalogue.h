// Fills a list with the user tables of the profile's database.
#pragma once

#include <QListWidget>
#include <QString>

namespace rowlark::pages {

// The list is cleared and filled in the catalogue's order, unsorted; a failure (the connection, the
// catalogue) throws before the list is touched, so the list keeps what it held.
void ListTables(QListWidget& list, const QString& connectionString);

} // namespace rowlark::pages
