// Reads the user tables of the profile's database for the table page.
#pragma once

#include <QString>
#include <QStringList>

namespace rowlark::pages {

// Reads on a worker thread while the page keeps painting. The list is cleared, then filled in
// the catalogue's order, unsorted; after a failure (the connection, the catalogue) it holds the
// names read before it, and the failure is thrown.
void ReadTables(QStringList& tables, const QString& connectionString);

} // namespace rowlark::pages
