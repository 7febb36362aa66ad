// The user's choices, carried from page to page and on to the job. Each page writes what it
// decides here and fills its own controls from here when it is entered; no page touches another
// page's controls.
#pragma once

#include "db/record_set.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace rowlark::pages {

struct Globals {
    // The login page's connection, as it stood when "Next >" went on.
    QString ConnectionString;
    bool LocalConnection = false;
    // The database's tables, in the catalogue's order; after a failed listing, those read first.
    QStringList Tables;
    QString SelectedTable;  // the chosen table, as listed, without brackets
    QStringList AllColumns; // every column of it, by name; empty when they could not be read
    // Its first hundred rows for the field page's grid; null when they could not be read.
    std::shared_ptr<db::RecordSet> Preview;
    // The chosen columns, by name, in the chosen list's order.
    QStringList DuplicateColumns;
};

} // namespace rowlark::pages
