// The user's choices, carried from the table and field pages to the job.
#pragma once

#include <QString>

namespace rowlark::pages {

struct Globals {
    QString SelectedTable;    // the chosen table, as listed, without brackets
    QString AllColumns;       // every column of it: [a], [b], [c]
    QString DuplicateColumns; // the chosen columns, in the chosen list's order: [a], [b]
};

} // namespace rowlark::pages
